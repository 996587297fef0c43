// What keeps a run safe on removable drives, through the file-system seam: drives that fold
// case, drives that go away, clocks and time zones, and folders typed the short way.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/FileTimes.h"
#include "engine/TopFolders.h"
#include "tests/core/FaultInjectionSupport.h"
#include "tests/core/SyncFixture.h"

namespace vantrel::test {
namespace {

using testsupport::LinesWith;

// Folder 2 as a drive that folds case: a name that is not there is looked for in another case,
// and a new name that differs only in case from one there takes that entry.
class CaseFoldingFileSystem : public FileSystemWrapper {
 public:
  CaseFoldingFileSystem(std::string folded)
      : FileSystemWrapper(FileSystem::Default()), folded_(std::move(folded)) {}

  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    return FileSystemWrapper::OpenAt(dirfd, Fold(dirfd, name).c_str(), flags, mode);
  }
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    return FileSystemWrapper::StatAt(dirfd, Fold(dirfd, name).c_str(), st, flags);
  }
  int MkdirAt(int dirfd, const char* name, mode_t mode) override {
    return FileSystemWrapper::MkdirAt(dirfd, Fold(dirfd, name).c_str(), mode);
  }
  int UnlinkAt(int dirfd, const char* name, int flags) override {
    return FileSystemWrapper::UnlinkAt(dirfd, Fold(dirfd, name).c_str(), flags);
  }
  int LinkAt(int olddirfd, const char* oldname, int newdirfd, const char* newname,
             int flags) override {
    return FileSystemWrapper::LinkAt(olddirfd, oldname, newdirfd, Fold(newdirfd, newname).c_str(),
                                     flags);
  }
  int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) override {
    const std::string from = Fold(olddirfd, oldname);
    std::string to = Fold(newdirfd, newname);
    if (strcasecmp(from.c_str(), to.c_str()) == 0) to = newname;  // a case-only rename
    return FileSystemWrapper::RenameAt(olddirfd, from.c_str(), newdirfd, to.c_str());
  }

 private:
  // The stored name that `name` stands for in the folder `dirfd`.
  std::string Fold(int dirfd, const char* name) {
    char link[64];
    char path[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0 || std::string(path, n).rfind(folded_, 0) != 0) return name;
    struct stat st;
    if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
    const int fd = openat(dirfd, ".", O_RDONLY | O_DIRECTORY);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    std::string stored = name;
    while (dir != nullptr) {
      const dirent* entry = readdir(dir);
      if (entry == nullptr) break;
      if (strcasecmp(entry->d_name, name) == 0) stored = entry->d_name;
    }
    if (dir != nullptr) closedir(dir);
    return stored;
  }

  std::string folded_;
};

class DriveGuardsTest : public SyncFixture {};

TEST_F(DriveGuardsTest, NamesThatACaseFoldingDriveTakesForOneNeverMerge) {
  CaseFoldingFileSystem fs(tree_.Path("two"));
  sync_.SetFileSystem(&fs);
  tree_.WriteFile("one/Case.txt", "first");
  tree_.WriteFile("one/CASE.TXT", "second");
  sync_.Run();
  std::vector<std::string> log = sync_.ResultLog();
  ASSERT_EQ(log.size(), 2u);
  const bool upperFirst = log[0].find("CASE.TXT") != std::string::npos;
  const std::string first = upperFirst ? "CASE.TXT" : "Case.txt";
  const std::string second = upperFirst ? "Case.txt" : "CASE.TXT";
  const std::string clash = "Cannot copy file \"" + One(second) + "\" to \"" + Two(second) +
                            "\": This drive does not tell the name apart from \"" + first + "\"";
  EXPECT_EQ(log, (std::vector<std::string>{CopyLine(first), clash}));
  EXPECT_EQ(tree_.List("two"), std::vector<std::string>{first});
  EXPECT_EQ(tree_.ReadFile("two/" + first), tree_.ReadFile("one/" + first));
  sync_.Run();
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{clash});
}

TEST_F(DriveGuardsTest, CaseOnlyRenameSurvivesAnExactCopyOnACaseFoldingDrive) {
  tree_.WriteFile("one/.keep", "");
  tree_.WriteFile("one/report.txt", "r");
  tree_.WriteFile("two/Report.txt", "r");
  tree_.WriteFile("one/photos/a.jpg", "a");
  tree_.WriteFile("two/Photos/a.jpg", "a");
  tree_.WriteFile("two/Photos/extra.jpg", "x");
  for (const char* file : {"one/report.txt", "two/Report.txt", "one/photos/a.jpg",
                           "two/Photos/a.jpg"}) {
    tree_.SetTime(file, 1700000000);
  }
  CaseFoldingFileSystem fs(tree_.Path("two"));
  sync_.SetFileSystem(&fs);
  sync_.SetExactCopy(true);
  sync_.OnConfirmRemoval = [](const std::string&, const std::string&) { return mrYesToAll; };
  sync_.Run();
  EXPECT_EQ(Sorted(sync_.ResultLog()),
            Sorted({"Rename file \"" + Two("Report.txt") + "\" to \"" + Two("report.txt") + "\"",
                    "Delete file \"" + Two("Photos/extra.jpg") + "\""}));
  EXPECT_EQ(tree_.List("two"), (std::vector<std::string>{"Photos/", "Photos/a.jpg", "report.txt"}));
  EXPECT_EQ(tree_.ReadFile("two/report.txt"), "r");

  // On a drive that keeps both spellings apart the old one is simply lacking.
  tree_.WriteFile("two/Report.txt", "other");
  sync_.SetFileSystem(nullptr);
  sync_.Run();
  EXPECT_FALSE(tree_.Exists("two/Report.txt"));
}

// A drive whose daemon died: every call inside its folder fails as FUSE then answers.
class VanishingFileSystem : public FileSystemWrapper {
 public:
  VanishingFileSystem() : FileSystemWrapper(FileSystem::Default()) {}
  std::string gone;  // the folder whose drive goes
  int callsLeft = 0;

  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    if (Gone(dirfd, name)) return Fail();
    return FileSystemWrapper::OpenAt(dirfd, name, flags, mode);
  }
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    if (Gone(dirfd, name)) return Fail();
    return FileSystemWrapper::StatAt(dirfd, name, st, flags);
  }
  long GetDents(int fd, void* buffer, std::size_t size) override {
    if (Gone(fd, "")) return Fail();
    return FileSystemWrapper::GetDents(fd, buffer, size);
  }
  int UnlinkAt(int dirfd, const char* name, int flags) override {
    if (Gone(dirfd, name)) return Fail();
    return FileSystemWrapper::UnlinkAt(dirfd, name, flags);
  }

 private:
  static int Fail() {
    errno = ENOTCONN;
    return -1;
  }
  bool Gone(int dirfd, const char* name) {
    if (callsLeft > 0) {
      --callsLeft;
      return false;
    }
    std::string path = name;
    if (dirfd != AT_FDCWD && path.rfind('/', 0) != 0) {
      char link[64];
      char where[PATH_MAX];
      std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
      const ssize_t n = readlink(link, where, sizeof where - 1);
      if (n > 0) path = std::string(where, n);
    }
    return path.rfind(gone, 0) == 0;
  }
};

TEST_F(DriveGuardsTest, ADriveThatGoesAwaySaysSoOnceAndNothingIsRemoved) {
  for (int i = 0; i < 60; ++i) tree_.WriteFile("one/sub/f" + std::to_string(i), "x");
  for (int i = 0; i < 20; ++i) tree_.WriteFile("two/extra" + std::to_string(i), "x");
  struct Case {
    const char* gone;
    int callsLeft;
  };
  for (const Case& c : {Case{"two", 40}, Case{"one", 60}}) {
    SCOPED_TRACE(c.gone);
    VanishingFileSystem fs;
    fs.gone = tree_.Path(c.gone);
    fs.callsLeft = c.callsLeft;
    sync_.SetFileSystem(&fs);
    sync_.SetExactCopy(true);
    sync_.OnConfirmRemoval = [](const std::string&, const std::string&) { return mrYesToAll; };
    sync_.Run();
    const std::string lost = "Cannot use folder \"" + tree_.Path(c.gone) +
                             "\" any more: Transport endpoint is not connected";
    EXPECT_EQ(LinesWith(sync_.ResultLog(), "Transport endpoint"), std::vector<std::string>{lost});
    EXPECT_TRUE(LinesWith(sync_.ResultLog(), "Delete").empty());
    EXPECT_EQ(LinesWith(tree_.List("two"), "extra").size(), 20u);
  }
}

TEST_F(DriveGuardsTest, TimesCompareAsUtcInstantsInTwoSecondSlots) {
  // The hour repeated when daylight saving time ends in Berlin: 00:50Z is 02:50 CEST, 01:10Z is
  // 02:10 CET. Local stamps would call the later file older.
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  constexpr std::time_t kEarlier = 1698540600;  // 2023-10-29 00:50:00Z
  constexpr std::time_t kLater = 1698541800;    // 2023-10-29 01:10:00Z
  EXPECT_TRUE(IsNewer(kLater, 1, kEarlier, 1));
  EXPECT_FALSE(IsNewer(kEarlier, 1, kLater, 1));
  tree_.WriteFile("one/f.txt", "newer");
  tree_.SetTime("one/f.txt", kLater);
  tree_.WriteFile("two/f.txt", "older");
  tree_.SetTime("two/f.txt", kEarlier);
  sync_.SetCopyMode(0);
  sync_.Run();
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{CopyLine("f.txt")});
  EXPECT_EQ(tree_.ReadFile("two/f.txt"), "newer");

  struct Slot {
    std::time_t source, destination;
    bool newer;
  };
  const Slot slots[] = {{10, 11, false}, {12, 11, true}, {-3, -4, false}, {-2, -4, true},
                        {157766400, 0, true}};  // 1975 against 1970: before 1980 counts too
  for (const Slot& s : slots) EXPECT_EQ(IsNewer(s.source, 1, s.destination, 1), s.newer);
}

TEST(FileTimes, TimesAFatOrExfatDriveMadeOfAnOutOfRangeTimeCountAsTheSame) {
  struct Case {
    std::time_t asked, stored;
    bool same;
  };
  const Case cases[] = {
      {157766400, 315532800, true},     // 1975 clamped to 1980-01-01
      {157766400, 4197052800, true},    // 1975 with its year wrapped: 2103-01-01
      {7258118400, 3218745600, true},   // 2200 wrapped, a day off: 2071-12-31
      {7258118400, 4354732798, true},   // 2200 clamped to 2107-12-31
      {157766400, 1700000000, false},   // 1975 against a time of its own
      {1700000000, 315532800, false},   // storable times are compared as they are
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LooksStoredFrom(c.asked, c.stored), c.same) << c.asked << " " << c.stored;
    EXPECT_EQ(IsNewer(c.asked, 5, c.stored, 5) || IsNewer(c.stored, 5, c.asked, 5), !c.same);
  }
  EXPECT_TRUE(IsNewer(7258118400, 5, 3218745600, 6));  // a changed size is a change
}

TEST(TopFolders, FoldersTypedTheShortWayAreInTheHomeFolder) {
  const char* saved = std::getenv("HOME");
  const std::string home = saved != nullptr ? saved : "";
  setenv("HOME", "/home/someone", 1);
  const std::pair<const char*, const char*> cases[] = {
      {"~", "/home/someone"},         {"~/", "/home/someone"},
      {"~/Music", "/home/someone/Music"}, {"Music/rock", "/home/someone/Music/rock"},
      {"./x", "/home/someone/x"},     {"/mnt/stick", "/mnt/stick"},
      {"", ""},
  };
  for (const auto& [typed, meant] : cases) EXPECT_EQ(ResolveFolderPath(typed), meant) << typed;
  setenv("HOME", home.c_str(), 1);
}

TEST_F(DriveGuardsTest, OneWayRunRemovesStaleTemporariesWhereItWrites) {
  tree_.WriteFile("one/sub/new.txt", "n");
  tree_.WriteFile("two/sub/.vantrel-killed01.tmp", std::string(1000, 'x'));
  tree_.WriteFile("two/untouched/.vantrel-killed02.tmp", "x");
  usleep(30000);  // older than the run
  sync_.Run();
  EXPECT_EQ(tree_.List("two"), (std::vector<std::string>{"sub/", "sub/new.txt", "untouched/",
                                                         "untouched/.vantrel-killed02.tmp"}));
}

class UnflushableFileSystem : public FileSystemWrapper {
 public:
  UnflushableFileSystem() : FileSystemWrapper(FileSystem::Default()) {}
  int flushes = 0;
  int SyncFs(int) override {
    ++flushes;
    errno = EIO;
    return -1;
  }
};

TEST_F(DriveGuardsTest, WhatWasWrittenIsFlushedOnceAndAFailedFlushIsAFailure) {
  UnflushableFileSystem fs;
  sync_.SetFileSystem(&fs);
  sync_.Run();
  EXPECT_EQ(fs.flushes, 0);  // nothing written, nothing to flush
  tree_.WriteFile("one/a.txt", "a");
  tree_.WriteFile("one/b.txt", "b");
  sync_.Run();
  EXPECT_EQ(fs.flushes, 1);
  EXPECT_EQ(sync_.ResultLog().back(),
            "Cannot flush folder \"" + tree_.Path("two") + "\": Input/output error");
}

}  // namespace
}  // namespace vantrel::test
