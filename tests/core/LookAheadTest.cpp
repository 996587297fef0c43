// Looking entries up ahead on a second thread must not change anything a run does: the same
// log lines in the same order, the same progress texts and the same trees afterwards as when
// every lookup is made on the thread that runs the passes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "engine/CaseFolding.h"
#include "engine/LookupAhead.h"
#include "tests/core/LookAheadSupport.h"

namespace vantrel::testsupport {
namespace {

TEST(LookAhead, RunsExactlyAsOnOneThread) {
  long aside = 0;
  long chosenAside = 0;
  long refused = 0;
  for (const Mode& mode : kModes) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(std::string(mode.name) + ", seed " + std::to_string(seed));
      // In memory: a disk makes making and removing these trees the slow part of the test.
      const test::TempTree single(test::TempTree::MemoryBase());
      const test::TempTree ahead(test::TempTree::MemoryBase());
      MakePair(single.Path("one"), single.Path("two"), seed);
      MakePair(ahead.Path("one"), ahead.Path("two"), seed);
      const test::TempTree chosen(test::TempTree::MemoryBase());
      MakePair(chosen.Path("one"), chosen.Path("two"), seed);
      LookAheadFileSystem oneThread(0);
      LookAheadFileSystem twoThreads(1);
      // Batches left to the pass and batches handed to the helper, mixed as the run measures.
      LookAheadFileSystem choosing(1, true);
      const Outcome expected = RunOn(single.root(), mode, oneThread);
      const Outcome got = RunOn(ahead.root(), mode, twoThreads);
      const Outcome mixed = RunOn(chosen.root(), mode, choosing);
      EXPECT_EQ(oneThread.aside(), 0);
      aside += twoThreads.aside();
      chosenAside += choosing.aside();
      ASSERT_FALSE(expected.log.empty());
      refused += static_cast<long>(LinesWith(expected.log, "Permission denied").size());
      EXPECT_EQ(got.log, expected.log);
      EXPECT_EQ(got.progress, expected.progress);
      EXPECT_EQ(got.trees, expected.trees);
      EXPECT_EQ(mixed.log, expected.log);
      EXPECT_EQ(mixed.progress, expected.progress);
      EXPECT_EQ(mixed.trees, expected.trees);
    }
  }
  // Otherwise this test would prove nothing about the second thread or the refused lookups.
  // (When the pass meets the helper at a fast lookup, it takes the next names itself.)
  EXPECT_GT(aside, 300);
  // The choice begins by helping, so the chosen runs hand some batches out as well.
  EXPECT_GT(chosenAside, 0);
  EXPECT_GT(refused, 12);
}

// Copying one name can change what another name looks like (on a file system that folds
// case, "A" and "a" are one file). Lookups of such names done ahead before a copy are never
// used after it.
class AliasingFileSystem : public LookAheadFileSystem {
 public:
  AliasingFileSystem() : LookAheadFileSystem(1) {}

  int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) override {
    const int result = LookAheadFileSystem::RenameAt(olddirfd, oldname, newdirfd, newname);
    const std::string name = newname;
    if (result == 0 && (name == "alias-a" || name == "ALIAS-A")) {
      const char* other = name == "alias-a" ? "ALIAS-A" : "alias-a";
      // Let the helper look the other name up first, so that its lookup is out of date.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!seenOther_.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
      }
      lookedUpBeforeChange_ = seenOther_.load();
      const struct timespec times[2] = {{kBase + 50000, 0}, {kBase + 50000, 0}};
      ::utimensat(newdirfd, other, times, AT_SYMLINK_NOFOLLOW);
    }
    return result;
  }
  bool lookedUpBeforeChange() const { return lookedUpBeforeChange_; }

 protected:
  void SeenAside(const char* name) override {
    if (FoldCase(name) == "alias-a") seenOther_.store(true);
  }

 private:
  std::atomic<bool> seenOther_{false};
  bool lookedUpBeforeChange_ = false;
};

TEST(LookAhead, NeverUsesALookupMadeBeforeACopyIntoTheFolder) {
  ScratchDir s;
  MakeFolder(s.Path("one"));
  MakeFolder(s.Path("two"));
  for (const char* name : {"alias-a", "ALIAS-A"}) {
    WriteFile(s.Path("one/") + name, "new");
    SetTimes(s.Path("one/") + name, kBase);
    WriteFile(s.Path("two/") + name, "old");
    SetTimes(s.Path("two/") + name, kBase - 1000);
  }
  for (int i = 0; i < 40; ++i) WriteFile(s.Path("one/other" + std::to_string(i)), "x");
  AliasingFileSystem fs;
  const Outcome outcome = RunOn(s.root(), {"one way", 1, false, false, ""}, fs);
  ASSERT_TRUE(fs.lookedUpBeforeChange());
  // Whichever comes first is copied; the other is then newer in Folder 2 and stays.
  EXPECT_EQ(LinesWith(outcome.log, "alias-a").size() + LinesWith(outcome.log, "ALIAS-A").size(), 1u)
      << Joined(outcome.log);
  EXPECT_EQ(ReadFile(s.Path("two/alias-a")) == "new", ReadFile(s.Path("two/ALIAS-A")) == "old");
}

// A copy changes one name of the folder; what the helper found for the others still holds.
// Copying into an existing empty folder, every name is looked up by the helper at most once.
TEST(LookAhead, ACopyRedoesNoOtherNamesLookup) {
  const test::TempTree s(test::TempTree::MemoryBase());
  MakeFolder(s.Path("one"));
  MakeFolder(s.Path("two"));
  constexpr int kFiles = 2000;
  for (int i = 0; i < kFiles; ++i) WriteFile(s.Path("one/n" + std::to_string(i)), "x");
  LookAheadFileSystem fs(1);
  const Outcome outcome = RunOn(s.root(), {"one way", 1, false, false, ""}, fs);
  EXPECT_EQ(LinesWith(outcome.log, "Copy file").size(), static_cast<std::size_t>(kFiles));
  EXPECT_GT(fs.aside(), 0);
  EXPECT_LE(fs.aside(), kFiles);
}

// Slow lookups (a FUSE daemon, a cold disk) are left to the helper, which the pass waits for:
// still the same run.
class SlowLookupFileSystem : public LookAheadFileSystem {
 public:
  SlowLookupFileSystem() : LookAheadFileSystem(1) {}
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    std::this_thread::sleep_for(std::chrono::microseconds(40));
    return LookAheadFileSystem::StatAt(dirfd, name, st, flags);
  }
};

TEST(LookAhead, SlowLookupsRunAsOnOneThread) {
  const test::TempTree single(test::TempTree::MemoryBase());
  const test::TempTree ahead(test::TempTree::MemoryBase());
  MakePair(single.Path("one"), single.Path("two"), 7);
  MakePair(ahead.Path("one"), ahead.Path("two"), 7);
  LookAheadFileSystem oneThread(0);
  SlowLookupFileSystem slow;
  const Mode mode{"one way", 1, false, false, ""};
  const Outcome expected = RunOn(single.root(), mode, oneThread);
  const Outcome got = RunOn(ahead.root(), mode, slow);
  EXPECT_EQ(got.log, expected.log);
  EXPECT_EQ(got.progress, expected.progress);
  EXPECT_EQ(got.trees, expected.trees);
  EXPECT_GT(slow.aside(), 100);
}

// A batch used out of turn (names added to a running batch, a batch started twice, a deeper
// one started and taken back in between) still answers every lookup rightly and lets go.
TEST(LookAhead, ABatchUsedOutOfTurnNeitherHangsNorLies) {
  ScratchDir s;
  // The names in one buffer, in order, as a listing holds them.
  std::vector<char> buffer;
  std::vector<std::size_t> at;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "n" + std::to_string(i);
    if (i % 3 != 0) WriteFile(s.Path(name), std::string(static_cast<std::size_t>(i), 'x'));
    if (i % 3 == 1) SetTimes(s.Path(name), kBase + i);
    at.push_back(buffer.size());
    buffer.insert(buffer.end(), name.c_str(), name.c_str() + name.size() + 1);
  }
  const auto name = [&](int i) { return buffer.data() + at[static_cast<std::size_t>(i)]; };
  const int dirfd = ::open(s.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirfd, 0);
  LookAheadFileSystem fs(1);
  const Watchdog watchdog(std::chrono::seconds(60), "a batch used out of turn");
  const auto helperDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (int round = 0; round < 200; ++round) {
    LookupAhead ahead(fs);
    LookupAhead::Batch& batch = ahead.ForDepth(0);
    LookupAhead::Batch& deeper = ahead.ForDepth(1);
    for (int i = 0; i < 30; ++i) batch.Add(name(i));
    batch.Start(dirfd);
    for (int i = 30; i < 60; ++i) batch.Add(name(i));  // onto a running batch
    batch.Start(dirfd);
    batch.Start(dirfd);
    if (round % 2 == 0) {
      // Cached lookups are so fast that the pass can outrun a helper that was not scheduled
      // yet in every round; in half of them the helper gets its first name in first.
      // A helper that never looks up fails below, not at the watchdog.
      const long before = fs.aside();
      while (fs.aside() == before && std::chrono::steady_clock::now() < helperDeadline) {
        std::this_thread::yield();
      }
    }
    for (int i = 0; i < 60; ++i) {
      if (i == 20) {
        for (int j = 40; j < 60; ++j) deeper.Add(name(j));
        deeper.Start(dirfd);
        EXPECT_EQ(deeper.Get(dirfd, name(45)).mtime, LookUp(fs, dirfd, name(45)).mtime);
        deeper.Reset();
      }
      if (i == 30) batch.Changed(name(30));
      const LookedUp got = batch.Get(dirfd, name(i));
      const LookedUp expected = LookUp(fs, dirfd, name(i));
      ASSERT_EQ(got.error, expected.error) << name(i);
      ASSERT_EQ(got.mode, expected.mode) << name(i);
      ASSERT_EQ(got.mtime, expected.mtime) << name(i);
    }
    batch.Reset();
  }
  ::close(dirfd);
  EXPECT_GT(fs.aside(), 0);
}

}  // namespace
}  // namespace vantrel::testsupport
