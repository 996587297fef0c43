// A project over two fresh folders "one" (Folder 1) and "two" (Folder 2) of a TempTree,
// recording every progress text, for the tests of the passes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <string>
#include <utility>
#include <vector>

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

}  // namespace vantrel::test
