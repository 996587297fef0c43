// Reading the trees ahead must reach every folder a pass may walk (and nothing it must not),
// must step aside when the trees are cached, and must never change what a run does.
#include "engine/TreeWarmer.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "common/UniqueFd.h"
#include "tests/core/LookAheadSupport.h"

namespace vantrel::testsupport {
namespace {

// A drive that is slow the first time each entry is looked at and fast after that, as a disk
// whose cache fills. Records the folders listed on other threads than the creator's (only the
// reading ahead lists folders there) and the threads that listed them.
class ColdDriveFileSystem : public LookAheadFileSystem {
 public:
  explicit ColdDriveFileSystem(bool cold) : LookAheadFileSystem(1, true), cold_(cold) {}

  std::size_t WarmingThreads() const override { return 3; }
  long GetDents(int fd, void* buffer, std::size_t size) override {
    if (std::this_thread::get_id() != creator_) {
      const std::lock_guard lock(mutex_);
      listed_.insert(PathOf(fd));
      readers_.insert(std::this_thread::get_id());
      priorities_.insert(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())));
    }
    return LookAheadFileSystem::GetDents(fd, buffer, size);
  }
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    struct stat folder;
    if (cold_ && ::fstat(dirfd, &folder) == 0) {
      bool first;
      {
        const std::lock_guard lock(mutex_);
        first = seen_.insert({folder.st_ino, name}).second;
      }
      if (first) std::this_thread::sleep_for(std::chrono::microseconds(60));
    }
    return LookAheadFileSystem::StatAt(dirfd, name, st, flags);
  }
  std::set<std::string> listed() {
    const std::lock_guard lock(mutex_);
    return listed_;
  }
  // The names looked up in the folder `path`.
  std::size_t LookedUpIn(const std::string& path) {
    struct stat folder;
    if (::stat(path.c_str(), &folder) != 0) return 0;
    const std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [inode, name] : seen_) count += inode == folder.st_ino;
    return count;
  }
  std::size_t readers() {
    const std::lock_guard lock(mutex_);
    return readers_.size();
  }
  // The nice values of the threads that listed.
  std::set<int> priorities() {
    const std::lock_guard lock(mutex_);
    return priorities_;
  }

 private:
  static std::string PathOf(int fd) {
    char path[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return std::string(path, n > 0 ? static_cast<std::size_t>(n) : 0);
  }

  const bool cold_;
  const std::thread::id creator_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::set<std::pair<ino_t, std::string>> seen_;
  std::set<std::string> listed_;
  std::set<std::thread::id> readers_;
  std::set<int> priorities_;
};

void MakeFiles(const std::string& folder, int count) {
  MakeFolder(folder);
  for (int i = 0; i < count; ++i) WriteFile(folder + "/f" + std::to_string(i), "x");
}

// Folders "one" and "two" of `t`, each with kFolders folders of 10 files.
constexpr int kFolders = 300;
void MakeWideTrees(const test::TempTree& t) {
  for (const char* top : {"one", "two"}) {
    MakeFolder(t.Path(top));
    for (int i = 0; i < kFolders; ++i) MakeFiles(t.Path(top) + "/d" + std::to_string(i), 10);
  }
}

// The reading runs at the lowest priority, so on a machine busy with other work (parallel
// tests) it gets a small share of a core: an idle machine finishes in well under a second.
bool WaitUntilFinished(TreeWarmer& warmer) {
  for (int i = 0; i < 60000 && !warmer.Finished(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return warmer.Finished();
}

TEST(TreeWarmer, ReadsEveryFolderOfBothTreesOnASlowDriveAndNoOther) {
  struct Case {
    const char* name;
    bool subfolders;
    bool hidden;
    bool listOthers;
    std::set<std::string> listed;  // below the scratch folder
    long folders;                  // each read in both trees
  };
  // Folder 1 holds a/b, .h (hidden) and a link to a folder outside; Folder 2 holds a and x.
  const Case cases[] = {
      {"everything", true, true, true,
       {"one", "one/a", "one/a/b", "one/.h", "two", "two/a", "two/x"}, 5},
      {"no hidden", true, false, true, {"one", "one/a", "one/a/b", "two", "two/a", "two/x"}, 4},
      {"no subfolders", false, true, true, {"one", "two"}, 1},
      {"Folder 2 looked up, not listed", true, true, false, {"one", "one/a", "one/a/b", "one/.h"}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::TempTree t(test::TempTree::MemoryBase());
    for (const char* folder : {"one", "one/a", "one/a/b", "one/.h", "two", "two/a", "two/x", "out"})
      MakeFiles(t.Path(folder), 40);
    ASSERT_EQ(::symlink(t.Path("out").c_str(), t.Path("one/link").c_str()), 0);
    ColdDriveFileSystem fs(true);
    const UniqueFd one(fs, ::open(t.Path("one").c_str(), O_RDONLY | O_DIRECTORY));
    const UniqueFd two(fs, ::open(t.Path("two").c_str(), O_RDONLY | O_DIRECTORY));
    TreeWarmer warmer(fs);
    warmer.Start({one.get(), -1, two.get()}, c.subfolders, c.hidden, c.listOthers);
    ASSERT_TRUE(WaitUntilFinished(warmer));
    std::set<std::string> expected;
    for (const std::string& folder : c.listed) expected.insert(t.Path(folder));
    EXPECT_EQ(fs.listed(), expected);
    EXPECT_EQ(warmer.foldersRead(), c.folders);
    // Folder 1's 40 files (and the subfolder b) looked up in Folder 2's a, listed or not.
    if (c.subfolders) {
      EXPECT_GE(fs.LookedUpIn(t.Path("two/a")), 40u);
    }
  }
}

// A tree wide enough that the reading could go on for a while: on a slow drive every thread
// takes part, at the lowest priority; with the tree cached, the first thread alone reads a
// little and stops.
TEST(TreeWarmer, UsesAllThreadsOnASlowDriveAndStepsAsideWhenCached) {
  const test::TempTree t(test::TempTree::MemoryBase());
  MakeWideTrees(t);
  for (const bool cold : {true, false}) {
    SCOPED_TRACE(cold ? "slow drive" : "cached");
    ColdDriveFileSystem fs(cold);
    const UniqueFd one(fs, ::open(t.Path("one").c_str(), O_RDONLY | O_DIRECTORY));
    const UniqueFd two(fs, ::open(t.Path("two").c_str(), O_RDONLY | O_DIRECTORY));
    TreeWarmer warmer(fs);
    warmer.Start({one.get(), two.get()}, true, true, true);
    ASSERT_TRUE(WaitUntilFinished(warmer));
    if (cold) {
      EXPECT_EQ(fs.readers(), 3u);
      EXPECT_GT(warmer.foldersRead(), kFolders / 2);
      // They take only the time the pass leaves.
      EXPECT_EQ(fs.priorities(), std::set<int>{TreeWarmer::kPriority});
    } else {
      EXPECT_EQ(fs.readers(), 1u);
      EXPECT_LT(warmer.foldersRead(), kFolders / 2);
    }
  }
}

// What the reading finds may be forgotten before the passes come (a FUSE driver's answers are
// kept for a second), so on a slow drive it keeps no further ahead of them than they walk in
// kCachedFor; a version bounded only by kAhead reads all 300 folders at once.
TEST(TreeWarmer, KeepsAheadOfThePassesOnlyAsFarAsTheyWalkWhileTheCacheKeeps) {
  const test::TempTree t(test::TempTree::MemoryBase());
  MakeWideTrees(t);
  ColdDriveFileSystem fs(true);
  const UniqueFd one(fs, ::open(t.Path("one").c_str(), O_RDONLY | O_DIRECTORY));
  const UniqueFd two(fs, ::open(t.Path("two").c_str(), O_RDONLY | O_DIRECTORY));
  TreeWarmer warmer(fs);
  warmer.Start({one.get(), two.get()}, true, true, true);
  // A pass that enters a folder every 25 ms walks 20 in kCachedFor; the sleeps may run long,
  // which only lowers its pace. The reading may go one folder past the limit, and each of its
  // three threads one more.
  constexpr auto kStep = std::chrono::milliseconds(25);
  const long most = TreeWarmer::kCachedFor / kStep + 1 + 3;
  // The passes in their first folder: the reading goes the least distance ahead (at the
  // lowest priority it may have to wait for a core on a busy machine).
  warmer.Entered();
  for (int i = 0; i < 5000 && warmer.foldersRead() < 1 + TreeWarmer::kLeastAhead; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_GE(warmer.foldersRead(), 1 + TreeWarmer::kLeastAhead);
  long lead = 0;
  for (long entered = 2; entered <= 41; ++entered) {
    warmer.Entered();
    std::this_thread::sleep_for(kStep);
    lead = std::max(lead, warmer.foldersRead() - entered);
  }
  warmer.Stop();
  EXPECT_LE(lead, most);
}

// Whatever the reading ahead does beside it, a run on a slow drive does what a run on one
// thread does; and stopping it while it reads ends it.
TEST(TreeWarmer, RunsOnASlowDriveExactlyAsOnOneThread) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    const test::TempTree single(test::TempTree::MemoryBase());
    const test::TempTree warmed(test::TempTree::MemoryBase());
    MakePair(single.Path("one"), single.Path("two"), 3);
    MakePair(warmed.Path("one"), warmed.Path("two"), 3);
    LookAheadFileSystem oneThread(0);
    ColdDriveFileSystem cold(true);
    const Outcome expected = RunOn(single.root(), mode, oneThread);
    const Outcome got = RunOn(warmed.root(), mode, cold);
    EXPECT_EQ(got.log, expected.log);
    EXPECT_EQ(got.progress, expected.progress);
    EXPECT_EQ(got.trees, expected.trees);
    EXPECT_GT(cold.readers(), 0u);
  }
}

}  // namespace
}  // namespace vantrel::testsupport
