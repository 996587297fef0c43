#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "storage/FileAccess.h"
#include "storage/inisaver.h"
#include "tests/core/StorageTestSupport.h"

namespace vantrel {
namespace {

using storetest::ErrorOf;
using storetest::ReadBytes;
using storetest::WriteBytes;
using test::TempTree;
using Strings = std::vector<std::string>;

const char kOldText[] = "[Root]\r\nold=INTEGER|1\r\n\r\n";
const char kNewText[] = "[Root]\r\nnew=STRING|\"value\"\r\n\r\n";

// The calls a test can make fail, each with its own errno.
enum class Fault {
  kNone,
  kOpenFolder,
  kCreateTemporary,
  kOpenForReading,
  kWrite,
  kFsync,
  kCloseTemporary,
  kRename
};

class FaultyFileSystem : public FileSystemWrapper {
 public:
  explicit FaultyFileSystem(Fault fault, int error = EIO)
      : FileSystemWrapper(FileSystem::Default()), fault_(fault), error_(error) {}

  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    const bool folder = (flags & O_DIRECTORY) != 0;
    const bool create = (flags & O_CREAT) != 0;
    if ((fault_ == Fault::kOpenFolder && folder) || (fault_ == Fault::kCreateTemporary && create) ||
        (fault_ == Fault::kOpenForReading && !folder && !create)) {
      return Refuse();
    }
    const int fd = FileSystemWrapper::OpenAt(dirfd, name, flags, mode);
    if (create) temporaryFd_ = fd;
    return fd;
  }
  long Write(int fd, const void* buffer, std::size_t size) override {
    if (fault_ == Fault::kWrite) return Refuse();
    // Short writes, so the caller has to loop.
    return FileSystemWrapper::Write(fd, buffer, size < 5 ? size : 5);
  }
  int Fsync(int fd) override {
    if (fault_ == Fault::kFsync && fd == temporaryFd_) return Refuse();
    return FileSystemWrapper::Fsync(fd);
  }
  int Close(int fd) override {
    const int result = FileSystemWrapper::Close(fd);
    if (fault_ == Fault::kCloseTemporary && fd == temporaryFd_) return Refuse();
    return result;
  }
  int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) override {
    if (fault_ == Fault::kRename) return Refuse();
    return FileSystemWrapper::RenameAt(olddirfd, oldname, newdirfd, newname);
  }

 private:
  int Refuse() {
    errno = error_;
    return -1;
  }
  Fault fault_;
  int error_;
  int temporaryFd_ = -1;
};

// Puts a file system in place for the storage for the length of a test.
class UseFileSystem {
 public:
  explicit UseFileSystem(FileSystem* fs) : previous_(SetStorageFileSystem(fs)) {}
  ~UseFileSystem() { SetStorageFileSystem(previous_); }

 private:
  FileSystem* previous_;
};

void FillNew(TBaseDataSaver& store) { store.WriteString("new", "value"); }

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(ValueFile, MissingFileOrAFolderLoadsAsEmpty) {
  TempTree folder;
  mkdir(folder.Path("dir.VTPrj").c_str(), 0700);
  for (const std::string& path : {folder.Path("missing.VTPrj"), folder.Path("no/such/dir.VTPrj"),
                                  folder.Path("dir.VTPrj"), std::string()}) {
    tinidatasaver store;
    store.WriteInteger("kept", 1);
    store.SetFileName(path);
    EXPECT_TRUE(store.LoadFromFile()) << path;
    EXPECT_EQ(store.Count(), 1);
  }
}

TEST(ValueFile, SaveReplacesTheWholeFileWithMode0600) {
  TempTree folder;
  const std::string path = folder.Path("p.VTPrj");
  WriteBytes(path, std::string(kOldText) + std::string(5000, ';'));
  chmod(path.c_str(), 0644);
  FaultyFileSystem shortWrites(Fault::kNone);
  UseFileSystem use(&shortWrites);

  tinidatasaver store;
  FillNew(store);
  store.SetFileName(path);
  EXPECT_TRUE(store.SaveToFile());
  EXPECT_EQ(ReadBytes(path), kNewText);
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(folder.ListingOrder(), (Strings{"p.VTPrj"}));

  tinidatasaver emptied;
  emptied.SetFileName(path);
  EXPECT_TRUE(emptied.SaveToFile());
  EXPECT_EQ(ReadBytes(path), "");
}

TEST(ValueFile, FailedSaveLeavesTheOldFileAsItWas) {
  const struct {
    Fault fault;
    int error;
  } cases[] = {
      {Fault::kOpenFolder, EACCES},     {Fault::kCreateTemporary, EACCES},
      {Fault::kCreateTemporary, EROFS}, {Fault::kWrite, ENOSPC},
      {Fault::kWrite, EDQUOT},          {Fault::kFsync, EIO},
      {Fault::kCloseTemporary, EIO},    {Fault::kRename, EACCES},
  };
  for (const auto& c : cases) {
    TempTree folder;
    const std::string path = folder.Path("p.VTPrj");
    WriteBytes(path, kOldText);
    FaultyFileSystem faulty(c.fault, c.error);
    UseFileSystem use(&faulty);
    tinidatasaver store;
    FillNew(store);
    store.SetFileName(path);
    EXPECT_EQ(ErrorOf([&] { store.SaveToFile(); }),
              "Cannot create file \"" + path + "\". " + std::strerror(c.error))
        << static_cast<int>(c.fault);
    EXPECT_EQ(ReadBytes(path), kOldText);
    EXPECT_EQ(folder.ListingOrder(), (Strings{"p.VTPrj"}));  // no temporary file left behind
  }
}

TEST(ValueFile, SaveFailsWhereNoFileCanBe) {
  TempTree folder;
  mkdir(folder.Path("dir.VTPrj").c_str(), 0700);
  const struct {
    std::string path;
    int error;
  } cases[] = {
      {folder.Path("missing/p.VTPrj"), ENOENT},
      {folder.Path("dir.VTPrj"), EISDIR},
      {std::string(), ENOENT},
  };
  for (const auto& c : cases) {
    tinidatasaver store;
    FillNew(store);
    store.SetFileName(c.path);
    EXPECT_EQ(ErrorOf([&] { store.SaveToFile(); }),
              "Cannot create file \"" + c.path + "\". " + std::strerror(c.error));
  }
  EXPECT_EQ(folder.ListingOrder().size(), 1u);
}

TEST(ValueFile, LineBreaksAreRefusedAndNothingIsWritten) {
  const struct {
    const char* path;
    std::vector<std::string> list;
    const char* text;
    const char* message;
  } cases[] = {
      {"projectname",
       {},
       "two\nlines",
       "Cannot save \"projectname\": the value holds a line break"},
      {"f\\sub", {}, "cr\ronly", "Cannot save \"sub\": the value holds a line break"},
      {"include",
       {"fine", "bad\r\n"},
       nullptr,
       "Cannot save \"include\": the value holds a line break"},
  };
  for (const auto& c : cases) {
    TempTree folder;
    const std::string path = folder.Path("p.VTPrj");
    WriteBytes(path, kOldText);
    tinidatasaver store;
    store.WriteInteger("a", 1);
    if (c.text != nullptr) {
      store.WriteString(c.path, c.text);
    } else {
      store.WriteStringList(c.path, c.list);
    }
    store.SetFileName(path);
    EXPECT_EQ(ErrorOf([&] { store.SaveToFile(); }), c.message);
    EXPECT_EQ(ReadBytes(path), kOldText);
    EXPECT_EQ(folder.ListingOrder(), (Strings{"p.VTPrj"}));
    std::ostringstream out;
    EXPECT_EQ(ErrorOf([&] { store.SaveToStream(out); }), c.message);
    EXPECT_EQ(out.str(), "");
    // The store is still usable: once mended it saves.
    tinidatasaver fine;
    fine.WriteInteger("a", 1);
    EXPECT_TRUE(fine.SaveToStream(out));
  }
}

TEST(ValueFile, AFileThatCannotBeOpenedIsReported) {
  TempTree folder;
  const std::string path = folder.Path("p.VTPrj");
  WriteBytes(path, kOldText);
  FaultyFileSystem faulty(Fault::kOpenForReading, EACCES);
  UseFileSystem use(&faulty);
  const std::string message = "Cannot open file \"" + path + "\". " + std::strerror(EACCES);

  tinidatasaver store;
  store.SetFileName(path);
  EXPECT_EQ(ErrorOf([&] { store.LoadFromFile(); }), message);
  FillNew(store);
  EXPECT_EQ(ErrorOf([&] { store.SaveToFile(); }), message);
  EXPECT_EQ(ReadBytes(path), kOldText);
}

TEST(ValueFile, AnOversizedFileIsRefusedButCanBeSavedOver) {
  TempTree folder;
  const std::string path = folder.Path("p.VTPrj");
  WriteBytes(path, kOldText);
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(kMaxValueFileSize) + 1), 0);
  tinidatasaver store;
  store.SetFileName(path);
  EXPECT_EQ(ErrorOf([&] { store.LoadFromFile(); }),
            "Cannot open file \"" + path + "\". " + std::strerror(EFBIG));
  FillNew(store);
  EXPECT_TRUE(store.SaveToFile());
  EXPECT_EQ(ReadBytes(path), kNewText);

  // Just within the limit still loads.
  WriteBytes(path, kOldText);
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(kMaxValueFileSize)), 0);
  tinidatasaver big;
  big.SetFileName(path);
  EXPECT_TRUE(big.LoadFromFile());
  EXPECT_EQ(big.ReadInteger("old", 0), 1);
}

}  // namespace
}  // namespace vantrel
