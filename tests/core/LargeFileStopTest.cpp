// A stop during the copy of a large file: the copier gives the window its turn at least every
// 64 MiB, and a stop asked for then ends that copy at once, leaving the destination as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/FileCopier.h"
#include "tests/core/SyncFixture.h"

namespace vantrel::test {

// A file system on which data moves slowly: no cloning, and each copy call or write records
// its size and moves nothing (the test stops long before the contents would matter).
class SlowFileSystem : public FileSystemWrapper {
 public:
  explicit SlowFileSystem(bool rangeRefused)
      : FileSystemWrapper(FileSystem::Default()), rangeRefused_(rangeRefused) {}
  std::vector<std::size_t> moves;  // every request that moves data to the destination

  int Clone(int, int) override {
    errno = EOPNOTSUPP;
    return -1;
  }
  long CopyFileRange(int, int, std::size_t size) override {
    if (rangeRefused_) {
      errno = EXDEV;
      return -1;
    }
    moves.push_back(size);
    return static_cast<long>(size);
  }
  long Write(int, const void*, std::size_t size) override {
    moves.push_back(size);
    return static_cast<long>(size);
  }
  // Tells nothing of holes, so the sparse test file is copied whole.
  off_t Lseek(int fd, off_t offset, int whence) override {
    if (whence == SEEK_DATA || whence == SEEK_HOLE) {
      errno = EINVAL;
      return -1;
    }
    return FileSystemWrapper::Lseek(fd, offset, whence);
  }

 private:
  bool rangeRefused_;
};

namespace {

class LargeFileStop : public SyncFixture {};

TEST_F(LargeFileStop, StopDuringALargeCopyEndsItAndLeavesTheDestination) {
  constexpr off_t kSize = off_t{300} << 20;
  for (const bool rangeRefused : {false, true}) {
    SCOPED_TRACE(rangeRefused ? "read and write" : "copy_file_range");
    SlowFileSystem fs(rangeRefused);
    sync_.SetFileSystem(&fs);
    tree_.WriteFile("two/big.bin", "old contents");
    tree_.SetTime("two/big.bin", UtcTime(2020, 1, 1, 0, 0, 0));
    tree_.WriteFile("one/big.bin", "");
    ASSERT_EQ(truncate(tree_.Path("one/big.bin").c_str(), kSize), 0);  // sparse: costs no disk
    tree_.SetTime("one/big.bin", UtcTime(2021, 1, 1, 0, 0, 0));
    tree_.WriteFile("one/zz-after.txt", "later");
    const struct stat before = tree_.Stat("two/big.bin");

    int copyingTexts = 0;
    std::size_t movesAtStop = 0;
    sync_.OnProgress = [&](TFolderSynchronizer& sender, const std::string& text) {
      if (text.rfind("Copying file \"" + Two("big.bin") + "\"", 0) != 0) return;
      // The window's turn: the user confirms Cancel at the second one.
      if (++copyingTexts == 2) {
        movesAtStop = fs.moves.size();
        sender.Terminate();
      }
    };
    ASSERT_TRUE(sync_.Run());

    ASSERT_EQ(copyingTexts, 2);
    for (std::size_t size : fs.moves) EXPECT_LE(size, std::size_t{FileCopier::kProgressStep});
    EXPECT_EQ(fs.moves.size(), movesAtStop);  // nothing moved after the stop
    EXPECT_EQ(tree_.ReadFile("two/big.bin"), "old contents");
    const struct stat after = tree_.Stat("two/big.bin");
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_TRUE(NoTemporaries());
    // The other file is copied only when the folder lists it first; the stop line comes once.
    const bool otherFirst = tree_.Exists("two/zz-after.txt");
    std::vector<std::string> expected;
    if (otherFirst) expected.push_back(CopyLine("zz-after.txt"));
    expected.push_back("Terminated by user");
    EXPECT_EQ(sync_.ResultLog(), expected);
    EXPECT_TRUE(sync_.Summary().stopped);
    EXPECT_EQ(sync_.Summary().FilesCopied(), otherFirst ? 1u : 0u);
    sync_.SetFileSystem(nullptr);
    TempTree::RemoveAll(tree_.Path("one/big.bin"));
    TempTree::RemoveAll(tree_.Path("two/zz-after.txt"));
  }
}

}  // namespace
}  // namespace vantrel::test
