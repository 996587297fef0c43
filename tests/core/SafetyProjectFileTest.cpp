// Project files are the user's only saved state. A damaged one (cut short, binary, absurdly
// long lines) must load what it can or fail with a message, never crash or hang; and a save
// must replace the file whole or not at all, with the new bytes on the disc before the rename.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/MessageHook.h"
#include "engine/uVantrelProject.h"
#include "storage/FileAccess.h"
#include "storage/inisaver.h"
#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

// Saves a project with every setting and both mask lists filled; returns its file's bytes.
std::string SaveFullProject(const std::string& file) {
  TFolderSynchronizer p(file);
  p.SetProjectName("Docs \"to\" USB | backup");
  p.SetFolder1("/home/user/My Documents");
  p.SetFolder2("/media/usb/Backup");
  p.SetCopyMode(1);
  p.SetExactCopy(true);
  p.SetAdvancedOptions(true);
  p.SetIncludeSubfolders(true);
  p.SetIncludeText("*.*,\"a b\",[a-c]*.txt");
  p.SetExcludeText("*.tmp,~*.*");
  p.Save();
  return ReadFile(file);
}

// A load that takes longer hangs. ThreadSanitizer slows loading by ten times and more.
#if defined(__SANITIZE_THREAD__)
constexpr std::chrono::seconds kHangLimit(60);
#else
constexpr std::chrono::seconds kHangLimit(5);
#endif

class SafetyProjectFileDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageHook([this](const std::string&) { ++messages_; });
  }
  void TearDown() override { SetMessageHook(previous_); }

  // Loads `bytes` as a project file; records the outcome and the time it took.
  void LoadBytes(const std::string& bytes) {
    WriteFile(file_, bytes);
    const auto start = std::chrono::steady_clock::now();
    try {
      TFolderSynchronizer p(file_);
      p.Load();
      ++loaded_;
    } catch (const std::runtime_error& e) {
      ++refused_;
      EXPECT_STRNE(e.what(), "") << "an error without a message";
    }
    const auto took = std::chrono::steady_clock::now() - start;
    slowest_ = std::max(slowest_, took);
    EXPECT_LT(took, kHangLimit) << "a load of " << bytes.size() << " bytes hangs";
  }

  ScratchDir s_;
  std::string file_ = s_.Path("DAMAGED1.VTPrj");
  MessageHook previous_;
  int messages_ = 0;
  int loaded_ = 0;
  int refused_ = 0;
  std::chrono::steady_clock::duration slowest_{};
};

TEST_F(SafetyProjectFileDamage, DamagedFilesLoadWhatTheyCanOrFailWithAMessage) {
  alarm(120);  // a hang ends the test program instead of the CI run
  const std::string good = SaveFullProject(s_.Path("GOOD.VTPrj"));
  int truncated = 0;
  for (std::size_t length = 0; length <= good.size(); ++length) {
    LoadBytes(good.substr(0, length));
    ++truncated;
  }
  // Random damage: bytes overwritten, and plain binary files.
  std::mt19937 random(7);
  int binary = 0;
  for (int i = 0; i < 200; ++i) {
    std::string bytes = good;
    for (int k = 0; k < 1 + i % 8; ++k)
      bytes[random() % bytes.size()] = static_cast<char>(random());
    LoadBytes(bytes);
    LoadBytes(Pattern(1 + random() % 20000, random()));
    binary += 2;
  }
  // Gigantic lines, in every place a line can hold text.
  const std::string mega(1 << 20, 'x');
  const std::string quotes(1 << 20, '"');
  const std::string bars(1 << 20, '|');
  std::string manyKeys = "[Root]\r\n";
  for (int i = 0; i < 100000; ++i) manyKeys += "k" + std::to_string(i) + "=INTEGER|1\r\n";
  std::string deepKey = "[Root]\r\n";
  for (int i = 0; i < 200000; ++i) deepKey += "a\\";
  deepKey += "b=INTEGER|1\r\n";
  const std::vector<std::string> gigantic = {
      "[Root]\r\nprojectname=STRING|\"" + mega + "\"\r\n",
      "[Root]\r\nprojectname=STRING|" + quotes + "\r\n",
      "[Root]\r\ncopymode=INTEGER|" + mega + "\r\n",
      "[Root]\r\nsourcefolder=" + bars + "\r\n",
      "[Root]\r\n" + mega + "\r\n",
      "[" + mega + "]\r\nx=INTEGER|1\r\n",
      "[Root]\r\ninclude=STRINGLIST\r\n[\\include]\r\ns1=" + mega + "\r\n",
      manyKeys,
      deepKey,
      std::string((std::size_t{4} << 20) + 1, '\n'),  // larger than any project file
  };
  for (const std::string& bytes : gigantic) LoadBytes(bytes);
  alarm(0);
  std::printf(
      "safety: damaged project files: %d loads (%d cut short, %d binary, %zu with "
      "gigantic lines), %d loaded, %d refused with a message, 0 crashes, slowest %lld ms\n",
      loaded_ + refused_, truncated, binary, gigantic.size(), loaded_, refused_,
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(slowest_).count()));
}

TEST(SafetyValueFile, ExtremeNumbersComeBackFromASavedFile) {
  const double values[] = {DBL_MAX,      -DBL_MAX, 1.79769313486231e308, DBL_MIN, -DBL_MIN,
                           DBL_TRUE_MIN, 1e-300,   123456789012345678.0, 1e15,    0.000009999999999,
                           -0.0};
  ScratchDir s;
  for (double value : values) {
    SCOPED_TRACE(value);
    tinidatasaver store;
    store.SetFileName(s.Path("numbers.ini"));
    store.WriteFloat("n", value);
    store.SaveToFile();
    tinidatasaver back;
    back.SetFileName(s.Path("numbers.ini"));
    ASSERT_NO_THROW(back.LoadFromFile()) << ReadFile(s.Path("numbers.ini"));
    EXPECT_NEAR(back.ReadFloat("n", 1), value, std::fabs(value) * 1e-14);
  }
}

// Restores the storage's file system at the end of a test.
struct StorageFileSystemScope {
  explicit StorageFileSystemScope(FileSystem* fs) : previous(SetStorageFileSystem(fs)) {}
  ~StorageFileSystemScope() { SetStorageFileSystem(previous); }
  FileSystem* previous;
};

bool IsSaveTemporary(const std::string& path, const std::string& name) {
  const std::string base = BaseName(path);
  return base.rfind("." + name + ".", 0) == 0 && base.size() > 4 &&
         base.compare(base.size() - 4, 4, ".tmp") == 0;
}

TEST(SafetyProjectSave, BytesReachTheDiscBeforeTheRenameAndFailuresKeepTheOldFile) {
  ScratchDir s;
  const std::string name = "SAVED001.VTPrj";
  const std::string file = s.Path(name);
  const std::string old = SaveFullProject(file);

  // The order of a save: write the temporary, flush it, rename it over the file, flush the
  // folder.
  std::vector<FaultInjectionFileSystem::Call> calls;
  {
    FaultInjectionFileSystem recorder;
    StorageFileSystemScope scope(&recorder);
    TFolderSynchronizer p(file);
    p.Load();
    p.SetProjectName("renamed");
    p.Save();
    calls = recorder.Journal();
  }
  int lastWrite = -1, fileSync = -1, rename = -1, folderSync = -1;
  for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
    const auto& c = calls[i];
    if (c.op == FsOp::Write && IsSaveTemporary(c.path, name)) lastWrite = i;
    if (c.op == FsOp::Fsync && IsSaveTemporary(c.path, name)) fileSync = i;
    if (c.op == FsOp::RenameAt && c.path == file) rename = i;
    if (c.op == FsOp::Fsync && c.path == s.root()) folderSync = i;
  }
  EXPECT_GE(lastWrite, 0);
  EXPECT_GT(fileSync, lastWrite) << "the temporary file is not flushed after its last write";
  EXPECT_GT(rename, fileSync) << "the rename comes before the flush";
  EXPECT_GT(folderSync, rename) << "the rename itself is not flushed";

  // Each call of a save failing in turn: the old file stays whole, or the new one is whole.
  WriteFile(file, old);
  int faults = 0;
  int damaged = 0;
  std::map<FsOp, int> seen;
  for (const auto& call : calls) {
    const int nth = ++seen[call.op];
    for (int error : {EIO, ENOSPC}) {
      SCOPED_TRACE(std::string(FsOpName(call.op)) + " call " + std::to_string(nth) + " fails " +
                   std::strerror(error));
      FaultInjectionFileSystem fs;
      fs.FailNth(call.op, nth, error);
      std::string message;
      {
        StorageFileSystemScope scope(&fs);
        TFolderSynchronizer p(file);
        try {
          p.Load();
          p.SetProjectName("renamed");
          p.Save();
        } catch (const std::runtime_error& e) {
          message = e.what();
          EXPECT_TRUE(p.Modified() || message.rfind("Cannot open file", 0) == 0) << message;
        }
      }
      faults += fs.Injected();
      const std::string now = ReadFile(file);
      std::string fresh;
      {
        TFolderSynchronizer p(file);
        p.Load();
        fresh = p.ProjectName();
      }
      const bool isOld = now == old;
      const bool isNew = fresh == "renamed" && !message.size();
      if (!isOld && !isNew) ++damaged;
      EXPECT_TRUE(isOld || isNew) << "after \"" << message << "\"";
      if (!message.empty() && message.rfind("Cannot create file", 0) == 0) {
        EXPECT_EQ(message, "Cannot create file \"" + file + "\". " + std::strerror(error));
      }
      for (const auto& [path, state] : Snapshot(s.root())) {
        EXPECT_FALSE(IsSaveTemporary(path, name)) << "left behind: " << path;
      }
      WriteFile(file, old);
    }
  }
  std::printf("safety: project save: %d faults injected, %d damaged project files\n", faults,
              damaged);
}

}  // namespace
}  // namespace vantrel::testsupport
