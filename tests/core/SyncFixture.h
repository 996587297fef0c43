// A project over two fresh folders "one" (Folder 1) and "two" (Folder 2) of a TempTree,
// recording every progress text, for the tests of the passes. Removals and replacements delete
// as the passes' own texts say; the trash tests turn the trash on again.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/FileSystem.h"
#include "engine/uVantrelProject.h"
#include "tests/core/TempTree.h"

namespace vantrel::test {

class SyncFixture : public ::testing::Test {
 protected:
  SyncFixture() : sync_(tree_.Path("project.VTPrj")) {
    setenv("TZ", "UTC", 1);
    tzset();
    tree_.MakeFolder("one");
    tree_.MakeFolder("two");
    sync_.SetFolder1(tree_.Path("one"));
    sync_.SetFolder2(tree_.Path("two"));
    sync_.SetCopyMode(1);
    sync_.SetIncludeSubfolders(true);
    sync_.SetUseTrash(false);
    sync_.OnProgress = [this](TFolderSynchronizer& sender, const std::string& text) {
      EXPECT_EQ(&sender, &sync_);
      progress_.push_back(text);
    };
  }

  // Full paths below Folder 1 and Folder 2.
  std::string One(std::string_view relative) const { return Below("one", relative); }
  std::string Two(std::string_view relative) const { return Below("two", relative); }

  std::string CopyLine(std::string_view relative) const {
    return "Copy file \"" + One(relative) + "\" to \"" + Two(relative) + "\"";
  }
  std::string CopyBackLine(std::string_view relative) const {
    return "Copy file \"" + Two(relative) + "\" to \"" + One(relative) + "\"";
  }
  std::string CannotCopyLine(std::string_view relative, const char* reason) const {
    return "Cannot copy file \"" + One(relative) + "\" to \"" + Two(relative) + "\": " + reason;
  }

  long Count(const std::string& text) const {
    return std::count(progress_.begin(), progress_.end(), text);
  }

  static std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  // True iff no temporary file of the copy is left anywhere in the tree.
  bool NoTemporaries() const {
    for (const std::string& entry : tree_.List()) {
      if (entry.find(".vantrel-") != std::string::npos) return false;
    }
    return true;
  }

  TempTree tree_;
  TFolderSynchronizer sync_;
  std::vector<std::string> progress_;

 private:
  std::string Below(const char* top, std::string_view relative) const {
    return tree_.Path(top) + "/" + std::string(relative);
  }
};

// Answers removal questions from a script and records each question as "kind path".
class ScriptedConfirmer {
 public:
  explicit ScriptedConfirmer(std::deque<int> answers) : answers_(std::move(answers)) {}

  TConfirmRemovalEvent Handler() {
    return [this](const std::string& kind, const std::string& path) {
      questions_.push_back(kind + " " + path);
      if (answers_.empty()) {
        ADD_FAILURE() << "unexpected question: " << kind << " " << path;
        return mrNo;
      }
      const int answer = answers_.front();
      answers_.pop_front();
      return answer;
    };
  }

  const std::vector<std::string>& questions() const { return questions_; }

 private:
  std::deque<int> answers_;
  std::vector<std::string> questions_;
};

// Fails chosen lookups, listings and deletions by entry name, and makes one folder look like
// a mount point by giving it another device number.
class BlockingFileSystem : public FileSystemWrapper {
 public:
  BlockingFileSystem() : FileSystemWrapper(FileSystem::Default()) {}

  std::set<std::string> unreadable;   // lookups of these names fail with EACCES
  std::set<std::string> undeletable;  // unlinking these names fails with EACCES
  std::set<std::string> unlistable;   // listing a folder of one of these names fails with EIO
  std::string mountPoint;             // a folder of this name reports another device

  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    if (unreadable.count(name) != 0) return Fail(EACCES);
    const int fd = FileSystemWrapper::OpenAt(dirfd, name, flags, mode);
    if (fd >= 0 && name == mountPoint) mountFds_.insert(fd);
    if (fd >= 0 && unlistable.count(name) != 0) unlistableFds_.insert(fd);
    return fd;
  }
  int Close(int fd) override {
    mountFds_.erase(fd);
    unlistableFds_.erase(fd);
    return FileSystemWrapper::Close(fd);
  }
  long GetDents(int fd, void* buffer, std::size_t size) override {
    if (unlistableFds_.count(fd) != 0) return Fail(EIO);
    return FileSystemWrapper::GetDents(fd, buffer, size);
  }
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    if (unreadable.count(name) != 0) return Fail(EACCES);
    return FileSystemWrapper::StatAt(dirfd, name, st, flags);
  }
  int Fstat(int fd, struct stat* st) override {
    const int result = FileSystemWrapper::Fstat(fd, st);
    if (result == 0 && mountFds_.count(fd) != 0) st->st_dev += 1;
    return result;
  }
  int UnlinkAt(int dirfd, const char* name, int flags) override {
    if (undeletable.count(name) != 0) return Fail(EACCES);
    return FileSystemWrapper::UnlinkAt(dirfd, name, flags);
  }

 private:
  static int Fail(int e) {
    errno = e;
    return -1;
  }
  std::set<int> mountFds_;
  std::set<int> unlistableFds_;
};

}  // namespace vantrel::test
