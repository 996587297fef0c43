// Looking entries up ahead on a second thread must not change anything a run does: the same
// log lines in the same order, the same progress texts and the same trees afterwards as when
// every lookup is made on the thread that runs the passes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "tests/core/LookAheadSupport.h"

namespace vantrel::testsupport {
namespace {

TEST(LookAhead, RunsExactlyAsOnOneThread) {
  long aside = 0;
  long refused = 0;
  for (const Mode& mode : kModes) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(std::string(mode.name) + ", seed " + std::to_string(seed));
      // In memory: a disk makes making and removing these trees the slow part of the test.
      const test::TempTree single(test::TempTree::MemoryBase());
      const test::TempTree ahead(test::TempTree::MemoryBase());
      MakePair(single.Path("one"), single.Path("two"), seed);
      MakePair(ahead.Path("one"), ahead.Path("two"), seed);
      LookAheadFileSystem oneThread(0);
      LookAheadFileSystem twoThreads(1);
      const Outcome expected = RunOn(single.root(), mode, oneThread);
      const Outcome got = RunOn(ahead.root(), mode, twoThreads);
      EXPECT_EQ(oneThread.aside(), 0);
      aside += twoThreads.aside();
      ASSERT_FALSE(expected.log.empty());
      refused += static_cast<long>(LinesWith(expected.log, "Permission denied").size());
      EXPECT_EQ(got.log, expected.log);
      EXPECT_EQ(got.progress, expected.progress);
      EXPECT_EQ(got.trees, expected.trees);
    }
  }
  // Otherwise this test would prove nothing about the second thread or the refused lookups.
  EXPECT_GT(aside, 1000);
  EXPECT_GT(refused, 12);
}

// Copying one name can change what another name looks like (on a file system that folds
// case, "A" and "a" are one file). Lookups done ahead before a copy are never used after it.
class AliasingFileSystem : public LookAheadFileSystem {
 public:
  AliasingFileSystem() : LookAheadFileSystem(1) {}

  int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) override {
    const int result = LookAheadFileSystem::RenameAt(olddirfd, oldname, newdirfd, newname);
    const std::string name = newname;
    if (result == 0 && (name == "alias-a" || name == "alias-b")) {
      const char* other = name == "alias-a" ? "alias-b" : "alias-a";
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
    if (std::string_view(name).starts_with("alias-")) seenOther_.store(true);
  }

 private:
  std::atomic<bool> seenOther_{false};
  bool lookedUpBeforeChange_ = false;
};

TEST(LookAhead, NeverUsesALookupMadeBeforeACopyIntoTheFolder) {
  ScratchDir s;
  MakeFolder(s / "one");
  MakeFolder(s / "two");
  for (const char* name : {"alias-a", "alias-b"}) {
    WriteFile(s / "one/" + name, "new");
    SetTimes(s / "one/" + name, kBase);
    WriteFile(s / "two/" + name, "old");
    SetTimes(s / "two/" + name, kBase - 1000);
  }
  for (int i = 0; i < 40; ++i) WriteFile(s / ("one/other" + std::to_string(i)), "x");
  AliasingFileSystem fs;
  const Outcome outcome = RunOn(s.path(), {"one way", 1, false, false, ""}, fs);
  ASSERT_TRUE(fs.lookedUpBeforeChange());
  // Whichever comes first is copied; the other is then newer in Folder 2 and stays.
  EXPECT_EQ(LinesWith(outcome.log, "alias-").size(), 1u) << Joined(outcome.log);
  EXPECT_EQ(ReadFile(s / "two/alias-a") == "new", ReadFile(s / "two/alias-b") == "old");
}

}  // namespace
}  // namespace vantrel::testsupport
