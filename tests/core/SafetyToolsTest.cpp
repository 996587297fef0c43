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

namespace vantrel::testsupport {
namespace {

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-fi-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    dirfd_ = open(pattern, O_DIRECTORY | O_RDONLY);
    ASSERT_GE(dirfd_, 0);
  }
  void TearDown() override {
    close(dirfd_);
    std::string command = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string root_;
  int dirfd_ = -1;
};

TEST_F(FaultInjectionTest, FailsExactlyTheNthMatchingCall) {
  FaultInjectionFileSystem fs;
  fs.FailNth(FsOp::MkdirAt, 2, ENOSPC, FaultInjectionFileSystem::EndsWith(".d"));
  EXPECT_EQ(fs.MkdirAt(dirfd_, "a.d", 0755), 0);
  EXPECT_EQ(fs.MkdirAt(dirfd_, "plain", 0755), 0);  // not matching: not counted
  errno = 0;
  EXPECT_EQ(fs.MkdirAt(dirfd_, "b.d", 0755), -1);
  EXPECT_EQ(errno, ENOSPC);
  struct stat st;
  EXPECT_EQ(fstatat(dirfd_, "b.d", &st, 0), -1) << "a failed call must not reach the disk";
  EXPECT_EQ(fs.MkdirAt(dirfd_, "c.d", 0755), 0) << "a one-shot fault fires once";
  EXPECT_EQ(fs.Injected(), 1);
}

TEST_F(FaultInjectionTest, StickyFaultsAndDescriptorNames) {
  FaultInjectionFileSystem fs;
  fs.FailNth(FsOp::Write, 2, EIO, FaultInjectionFileSystem::IsTemporary(), true);
  int temp = fs.OpenAt(dirfd_, ".vantrel-1.tmp", O_CREAT | O_WRONLY, 0600);
  int other = fs.OpenAt(dirfd_, "keep", O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(temp, 0);
  ASSERT_GE(other, 0);
  EXPECT_EQ(fs.Write(temp, "ab", 2), 2);
  EXPECT_EQ(fs.Write(temp, "cd", 2), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(fs.Write(temp, "ef", 2), -1) << "a sticky fault keeps firing";
  EXPECT_EQ(fs.Write(other, "xy", 2), 2) << "other files are left alone";
  EXPECT_EQ(fs.Close(temp), 0);
  EXPECT_EQ(fs.Close(other), 0);
  EXPECT_EQ(fs.Injected(), 2);

  auto journal = fs.Journal();
  ASSERT_EQ(journal.size(), 8u);
  EXPECT_EQ(journal[3].op, FsOp::Write);
  EXPECT_EQ(journal[3].name, ".vantrel-1.tmp");
  EXPECT_TRUE(journal[3].failed);
  EXPECT_EQ(journal[5].name, "keep");
  EXPECT_FALSE(journal[5].failed);
}

TEST_F(FaultInjectionTest, ShortWritesAndHooks) {
  FaultInjectionFileSystem fs;
  fs.LimitWrites(3);
  int seen = 0;
  fs.SetHook([&](FsOp op, const std::string& name) { seen += op == FsOp::Write && name == "f"; });
  int fd = fs.OpenAt(dirfd_, "f", O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fs.Write(fd, "abcdefgh", 8), 3);
  EXPECT_EQ(seen, 1);
  fs.Close(fd);
}

}  // namespace
}  // namespace vantrel::testsupport
