// The fault-injection file system that the safety tests rely on: a fault that does not fire,
// or fires on the wrong call, would make those tests pass without proving anything.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/TempTree.h"

namespace vantrel::testsupport {
namespace {

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dirfd_ = fs_.OpenAt(AT_FDCWD, root_.c_str(), O_DIRECTORY | O_RDONLY, 0);
    ASSERT_GE(dirfd_, 0);
  }
  void TearDown() override { fs_.Close(dirfd_); }
  test::TempTree tree_;
  const std::string root_ = tree_.root();
  FaultInjectionFileSystem fs_;
  int dirfd_ = -1;
};

TEST_F(FaultInjectionTest, FailsExactlyTheNthMatchingCall) {
  fs_.FailNth(FsOp::MkdirAt, 2, ENOSPC, FaultInjectionFileSystem::NameEndsWith(".d"));
  EXPECT_EQ(fs_.MkdirAt(dirfd_, "a.d", 0755), 0);
  EXPECT_EQ(fs_.MkdirAt(dirfd_, "plain", 0755), 0);  // not matching: not counted
  errno = 0;
  EXPECT_EQ(fs_.MkdirAt(dirfd_, "b.d", 0755), -1);
  EXPECT_EQ(errno, ENOSPC);
  struct stat st;
  EXPECT_EQ(fstatat(dirfd_, "b.d", &st, 0), -1) << "a failed call must not reach the disk";
  EXPECT_EQ(fs_.MkdirAt(dirfd_, "c.d", 0755), 0) << "a one-shot fault fires once";
  EXPECT_EQ(fs_.Injected(), 1);
}

TEST_F(FaultInjectionTest, StickyFaultsFollowDescriptorsByPath) {
  ASSERT_EQ(fs_.MkdirAt(dirfd_, "sub", 0755), 0);
  int sub = fs_.OpenAt(dirfd_, "sub", O_DIRECTORY | O_RDONLY, 0);
  ASSERT_GE(sub, 0);
  fs_.FailNth(FsOp::Write, 2, EIO, FaultInjectionFileSystem::IsTemporary(), true);
  fs_.ClearJournal();
  int temp = fs_.OpenAt(sub, ".vantrel-1234.tmp", O_CREAT | O_WRONLY, 0600);
  int other = fs_.OpenAt(sub, "keep", O_CREAT | O_WRONLY, 0600);
  int unnamed = fs_.OpenAt(sub, ".", O_TMPFILE | O_WRONLY, 0600);
  ASSERT_GE(temp, 0);
  ASSERT_GE(other, 0);
  ASSERT_GE(unnamed, 0);
  EXPECT_EQ(fs_.Write(temp, "ab", 2), 2);
  EXPECT_EQ(fs_.Write(temp, "cd", 2), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(fs_.Write(unnamed, "ef", 2), -1) << "a sticky fault keeps firing, O_TMPFILE too";
  EXPECT_EQ(fs_.Write(other, "xy", 2), 2) << "other files are left alone";
  EXPECT_EQ(fs_.Injected(), 2);

  auto journal = fs_.Journal();
  ASSERT_EQ(journal.size(), 7u);
  EXPECT_EQ(journal[0].path, root_ + "/sub/.vantrel-1234.tmp");
  EXPECT_EQ(journal[2].path, root_ + "/sub/<O_TMPFILE>");
  EXPECT_EQ(journal[4].op, FsOp::Write);
  EXPECT_TRUE(journal[4].failed);
  EXPECT_EQ(journal[6].path, root_ + "/sub/keep");
  EXPECT_FALSE(journal[6].failed);
  for (int fd : {temp, other, unnamed, sub}) fs_.Close(fd);
}

TEST_F(FaultInjectionTest, ShortWritesAndHooks) {
  fs_.LimitWrites(3);
  int seen = 0;
  fs_.SetHook([&](const FaultInjectionFileSystem::Call& call) {
    seen += call.op == FsOp::Write && call.path == root_ + "/f" && call.fd >= 0;
  });
  int fd = fs_.OpenAt(dirfd_, "f", O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fs_.Write(fd, "abcdefgh", 8), 3);
  EXPECT_EQ(seen, 1);
  fs_.Close(fd);
}

}  // namespace
}  // namespace vantrel::testsupport
