// What the copy promises when things go wrong: injected failures, a source that changes,
// interrupted earlier runs, overlapping folders, unusual names and very deep trees.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "tests/core/SyncFixture.h"

namespace vantrel::test {
namespace {

const std::time_t kOld = UtcTime(2023, 1, 2, 3, 4, 6);
const std::time_t kNew = UtcTime(2024, 1, 2, 3, 4, 6);

enum class Call { kNone, kWrite, kCopyFileRange, kFchmod, kFutimens, kRenameAt, kLinkAt, kClose };

// Fails one kind of call with a chosen error; clones are always refused so that the data
// goes through copy_file_range, or through read/write when `plainRoute` is set.
class FaultyFileSystem : public FileSystemWrapper {
 public:
  FaultyFileSystem() : FileSystemWrapper(FileSystem::Default()) {}

  Call failing = Call::kNone;
  int error = EIO;
  bool plainRoute = false;
  bool refuseTmpfile = false;
  int temporariesNamed = 0;

  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    if (refuseTmpfile && (flags & O_TMPFILE) == O_TMPFILE) return Fail(EOPNOTSUPP);
    const int fd = FileSystemWrapper::OpenAt(dirfd, name, flags, mode);
    if (fd >= 0 && (flags & O_EXCL) != 0) {
      ++temporariesNamed;
      namedFds_.insert(fd);
    }
    return fd;
  }
  int Close(int fd) override {
    const int result = FileSystemWrapper::Close(fd);
    if (namedFds_.erase(fd) != 0 && failing == Call::kClose) return Fail(error);
    return result;
  }
  int Clone(int, int) override { return Fail(EOPNOTSUPP); }
  long CopyFileRange(int in, int out, std::size_t size) override {
    if (plainRoute) return Fail(EXDEV);
    if (failing == Call::kCopyFileRange) return Fail(error);
    return FileSystemWrapper::CopyFileRange(in, out, size);
  }
  long Write(int fd, const void* buffer, std::size_t size) override {
    if (failing == Call::kWrite) return Fail(error);
    return FileSystemWrapper::Write(fd, buffer, size);
  }
  int Fchmod(int fd, mode_t mode) override {
    if (failing == Call::kFchmod) return Fail(error);
    return FileSystemWrapper::Fchmod(fd, mode);
  }
  int Futimens(int fd, const struct timespec times[2]) override {
    if (failing == Call::kFutimens) return Fail(error);
    return FileSystemWrapper::Futimens(fd, times);
  }
  int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) override {
    if (failing == Call::kRenameAt) return Fail(error);
    return FileSystemWrapper::RenameAt(olddirfd, oldname, newdirfd, newname);
  }
  int LinkAt(int olddirfd, const char* oldname, int newdirfd, const char* newname,
             int flags) override {
    if (failing == Call::kLinkAt) return Fail(error);
    return FileSystemWrapper::LinkAt(olddirfd, oldname, newdirfd, newname, flags);
  }

 private:
  static int Fail(int e) {
    errno = e;
    return -1;
  }
  std::set<int> namedFds_;
};

class CopySafetyTest : public SyncFixture {
 protected:
  CopySafetyTest() { sync_.SetFileSystem(&fs_); }

  // Folder 1 holds a newer f.txt; Folder 2 holds an older one when `existing`.
  void PrepareFile(bool existing) {
    tree_.WriteFile("one/f.txt", std::string(300000, 'n'));
    tree_.SetTime("one/f.txt", kNew);
    if (existing) {
      tree_.WriteFile("two/f.txt", "old bytes", 0640);
      tree_.SetTime("two/f.txt", kOld, 42);
    }
  }

  void ExpectDestinationAsBefore(bool existing) {
    if (existing) {
      EXPECT_EQ(tree_.ReadFile("two/f.txt"), "old bytes");
      const struct stat st = tree_.Stat("two/f.txt");
      EXPECT_EQ(st.st_mtim.tv_sec, kOld);
      EXPECT_EQ(st.st_mtim.tv_nsec, 42);
      EXPECT_EQ(st.st_mode & 07777, 0640u);
    } else {
      EXPECT_FALSE(tree_.Exists("two/f.txt"));
    }
    EXPECT_TRUE(NoTemporaries());
  }

  FaultyFileSystem fs_;
};

TEST_F(CopySafetyTest, FailedCopyLeavesDestinationExactlyAsItWas) {
  struct Case {
    Call call;
    int error;
    bool plainRoute;
    bool existing;
  };
  const Case cases[] = {
      {Call::kWrite, ENOSPC, true, false},       {Call::kWrite, EIO, true, true},
      {Call::kCopyFileRange, EIO, false, false}, {Call::kCopyFileRange, ENOSPC, false, true},
      {Call::kFchmod, EIO, false, false},        {Call::kFchmod, EIO, false, true},
      {Call::kFutimens, EROFS, false, false},    {Call::kFutimens, EROFS, false, true},
      {Call::kLinkAt, ENOSPC, false, false},     {Call::kRenameAt, EXDEV, false, true},
      {Call::kClose, EIO, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.call)) + (c.existing ? " existing" : " new"));
    TempTree::RemoveAll(tree_.Path("two"));
    tree_.MakeFolder("two");
    PrepareFile(c.existing);
    fs_.failing = c.call;
    fs_.error = c.error;
    fs_.plainRoute = c.plainRoute;
    sync_.Run();
    EXPECT_EQ(sync_.ResultLog(),
              std::vector<std::string>{CannotCopyLine("f.txt", std::strerror(c.error))});
    ExpectDestinationAsBefore(c.existing);
  }
}

// FAT and exFAT drives take their modes from the mount options and refuse others: the copy is
// still the user's file, as cp -a keeps it.
TEST_F(CopySafetyTest, PermissionBitsTheDriveCannotHoldAreNoFailure) {
  for (const int error : {EPERM, ENOSYS, EOPNOTSUPP, EINVAL}) {
    SCOPED_TRACE(std::strerror(error));
    TempTree::RemoveAll(tree_.Path("two"));
    tree_.MakeFolder("two");
    PrepareFile(true);
    fs_.failing = Call::kFchmod;
    fs_.error = error;
    sync_.Run();
    EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{CopyLine("f.txt")});
    EXPECT_EQ(tree_.ReadFile("two/f.txt"), std::string(300000, 'n'));
    EXPECT_EQ(tree_.Stat("two/f.txt").st_mtim.tv_sec, kNew);
    EXPECT_TRUE(NoTemporaries());
  }
}

TEST_F(CopySafetyTest, EveryRouteCopiesTheSameBytes) {
  std::string data;
  for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i) data.push_back(static_cast<char>(i * 7 % 251));
  struct Case {
    bool plainRoute;
    bool refuseTmpfile;
    bool existing;
  };
  for (const Case c : {Case{false, false, false}, Case{true, false, false},
                       Case{false, true, false}, Case{true, true, true}}) {
    SCOPED_TRACE(std::to_string(c.plainRoute) + std::to_string(c.refuseTmpfile) +
                 std::to_string(c.existing));
    TempTree::RemoveAll(tree_.Path("two"));
    tree_.MakeFolder("two");
    tree_.WriteFile("one/big.bin", data);
    tree_.WriteFile("one/empty", "");
    if (c.existing) {
      tree_.WriteFile("two/big.bin", "old");
      tree_.SetTime("two/big.bin", kOld);
    }
    tree_.SetTime("one/big.bin", kNew);
    tree_.SetTime("one/empty", kNew);
    fs_.plainRoute = c.plainRoute;
    fs_.refuseTmpfile = c.refuseTmpfile;
    fs_.temporariesNamed = 0;
    sync_.Run();
    EXPECT_TRUE(tree_.ReadFile("two/big.bin") == data);
    EXPECT_EQ(tree_.ReadFile("two/empty"), "");
    EXPECT_EQ(fs_.temporariesNamed, c.refuseTmpfile ? 2 : (c.existing ? 1 : 0));
    EXPECT_EQ(sync_.ResultLog().size(), 2u);
    EXPECT_TRUE(NoTemporaries());
  }
}

TEST_F(CopySafetyTest, NameTakenDuringCopyIsReplacedWhole) {
  class Intruder : public FaultyFileSystem {
   public:
    TempTree* tree = nullptr;
    int LinkAt(int olddirfd, const char* oldname, int newdirfd, const char* newname,
               int flags) override {
      if (std::strcmp(newname, "f.txt") == 0) tree->WriteFile("two/f.txt", "intruder");
      return FaultyFileSystem::LinkAt(olddirfd, oldname, newdirfd, newname, flags);
    }
  } intruder;
  intruder.tree = &tree_;
  sync_.SetFileSystem(&intruder);
  PrepareFile(false);
  sync_.Run();
  EXPECT_EQ(tree_.ReadFile("two/f.txt"), std::string(300000, 'n'));
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{CopyLine("f.txt")});
  EXPECT_TRUE(NoTemporaries());
}

TEST_F(CopySafetyTest, SourceChangingDuringCopyIsNotInstalled) {
  class Changer : public FaultyFileSystem {
   public:
    TempTree* tree = nullptr;
    int Futimens(int fd, const struct timespec times[2]) override {
      tree->WriteFile("one/f.txt", "changed while copied");
      return FaultyFileSystem::Futimens(fd, times);
    }
  } changer;
  changer.tree = &tree_;
  sync_.SetFileSystem(&changer);
  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing);
    PrepareFile(existing);
    sync_.Run();
    EXPECT_EQ(sync_.ResultLog(),
              std::vector<std::string>{CannotCopyLine("f.txt", "source changed during copy")});
    ExpectDestinationAsBefore(existing);
  }
}

TEST_F(CopySafetyTest, LeftoversOfEarlierRunsAreRemovedAndNeverCopied) {
  sync_.SetCopyMode(0);
  sync_.SetProcessHidden(true);
  tree_.WriteFile("one/.vantrel-stale001.tmp", "left");
  tree_.WriteFile("one/sub/.vantrel-x.tmp", "left");
  tree_.WriteFile("two/.vantrel-stale002.tmp", "left");
  tree_.MakeLink("target", "two/.vantrel-link0001.tmp");
  tree_.MakeFolder("one/.vantrel-folder.tmp");  // not ours: a folder is left alone
  tree_.WriteFile("one/.vantrel-notes.txt", "user");
  usleep(30000);  // the leftovers must be older than the run
  sync_.Run();

  EXPECT_EQ(tree_.List(),
            (std::vector<std::string>{"one/", "one/.vantrel-folder.tmp/", "one/.vantrel-notes.txt",
                                      "one/sub/", "two/", "two/.vantrel-notes.txt"}));
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{CopyLine(".vantrel-notes.txt")});
}

TEST_F(CopySafetyTest, OverlappingFoldersAreRefusedBeforeAnyWork) {
  tree_.WriteFile("one/f.txt", "f");
  tree_.MakeFolder("one/inner");
  tree_.MakeLink("one", "alias");
  struct Case {
    const char* folder1;
    const char* folder2;
    bool same;
  };
  const Case cases[] = {
      {"one", "one", true},         {"one", "one/", true},
      {"one", "one/inner", false},  {"one/inner", "one", false},
      {"one", "alias", true},       {"alias/inner/new", "one", false},
      {"one", "one/inner/new", false}, {"alias/new", "one/new/", true},
      {"one/new", "one/new/deeper", false},
  };
  for (const Case& c : cases) {
    sync_.SetFolder1(tree_.Path(c.folder1));
    sync_.SetFolder2(tree_.Path(c.folder2));
    for (const std::int32_t mode : {0, 1}) {
      sync_.SetCopyMode(mode);
      try {
        sync_.Run();
        ADD_FAILURE() << "not refused: " << c.folder1 << " " << c.folder2;
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot synchronize \"" + tree_.Path(c.folder1) + "\" with \"" +
                      tree_.Path(c.folder2) + "\": " +
                      (c.same ? "they are the same folder" : "one folder contains the other"));
      }
      EXPECT_TRUE(sync_.ResultLog().empty());
    }
  }
  // Refused before anything was made.
  EXPECT_EQ(tree_.List("one"), (std::vector<std::string>{"f.txt", "inner/"}));

  sync_.SetFolder1(tree_.Path("one/inner"));  // siblings are fine
  sync_.SetFolder2(tree_.Path("two"));
  EXPECT_NO_THROW(sync_.Run());
}

TEST_F(CopySafetyTest, NamesAreBytes) {
  const std::vector<std::string> names = {
      "new\nline",           "quote\"d",    "tab\there", "-leading",   "\xff\xfe not utf-8",
      std::string(255, 'n'), "back\\slash", "%s%d",      "caf\xc3\xa9"};
  for (const std::string& name : names) tree_.WriteFile("one/sub/" + name, name);
  sync_.Run();
  for (const std::string& name : names) {
    EXPECT_EQ(tree_.ReadFile("two/sub/" + name), name);
    EXPECT_EQ(
        std::count(sync_.ResultLog().begin(), sync_.ResultLog().end(), CopyLine("sub/" + name)), 1);
  }
  EXPECT_EQ(sync_.ResultLog().size(), names.size());
}

// Creates a chain of `depth` folders named "dd" below `top` with leaf.txt at the bottom,
// through descriptors (the path is longer than the kernel accepts).
void MakeDeepChain(const std::string& top, int depth) {
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(mkdirat(fd, "dd", 0755), 0);
    const int next = openat(fd, "dd", O_RDONLY | O_DIRECTORY);
    close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  const int file = openat(fd, "leaf.txt", O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(file, 0);
  ASSERT_EQ(write(file, "leaf", 4), 4);
  close(file);
  close(fd);
}

// Returns the contents of leaf.txt at the bottom of a chain made by MakeDeepChain.
std::string ReadDeepLeaf(const std::string& top, int depth) {
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth && fd >= 0; ++i) {
    const int next = openat(fd, "dd", O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    close(fd);
    fd = next;
  }
  if (fd < 0) return "(missing folder)";
  const int file = openat(fd, "leaf.txt", O_RDONLY);
  close(fd);
  if (file < 0) return "(missing file)";
  char buffer[16] = {};
  const ssize_t n = read(file, buffer, sizeof buffer - 1);
  close(file);
  return n < 0 ? "(unreadable)" : std::string(buffer);
}

TEST_F(CopySafetyTest, TreesDeeperThanPathMax) {
  constexpr int kDepth = 1500;              // 4500 bytes of "dd/" parts
  TempTree memory(TempTree::MemoryBase());  // deep chains are slow to make on a disk
  const auto Two = [&](const std::string& relative) { return memory.Path("two/" + relative); };
  memory.MakeFolder("one");
  sync_.SetFolder1(memory.Path("one"));
  sync_.SetFolder2(memory.Path("two"));
  MakeDeepChain(memory.Path("one"), kDepth);
  sync_.SetExactCopy(true);
  ScriptedConfirmer confirmer({mrYesToAll});
  sync_.OnConfirmRemoval = confirmer.Handler();
  sync_.Run();
  EXPECT_EQ(ReadDeepLeaf(memory.Path("two"), kDepth), "leaf");
  ASSERT_EQ(sync_.ResultLog().size(), 1u);
  EXPECT_GT(sync_.ResultLog()[0].size(), 2u * 4096);

  ASSERT_EQ(rename(memory.Path("one/dd").c_str(), memory.Path("moved").c_str()), 0);
  memory.MakeFolder("one/kept");  // an emptied Folder 1 removes nothing
  sync_.Run();
  EXPECT_EQ(confirmer.questions(), std::vector<std::string>{"folder " + Two("dd")});
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{"Delete folder \"" + Two("dd") + "\""});
  EXPECT_FALSE(memory.Exists("two/dd"));
}

}  // namespace
}  // namespace vantrel::test
