// The removal pass on real trees, with a scripted confirmer that records every question.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "tests/core/SyncFixture.h"

namespace vantrel::test {
namespace {

class RemovalPassTest : public SyncFixture {
 protected:
  // A hidden file that takes no part keeps Folder 1 from looking like an unplugged drive.
  RemovalPassTest() {
    sync_.SetExactCopy(true);
    tree_.WriteFile("one/.keep", "");
  }

  // Runs with a confirmer that gives `answers` in turn.
  ScriptedConfirmer& RunAnswering(std::deque<int> answers) {
    confirmers_.emplace_back(std::move(answers));
    sync_.OnConfirmRemoval = confirmers_.back().Handler();
    sync_.Run();
    return confirmers_.back();
  }

  static std::string FileQuestion(const std::string& path) { return "file " + path; }
  static std::string FolderQuestion(const std::string& path) { return "folder " + path; }
  static std::string PathOf(const std::string& question) {
    return question.substr(question.find(' ') + 1);
  }
  static std::string DeleteFile(const std::string& path) { return "Delete file \"" + path + "\""; }
  static std::string KeepFile(const std::string& path) {
    return "Cancel of file deletion \"" + path + "\"";
  }
  static std::string DeleteFolder(const std::string& path) {
    return "Delete folder \"" + path + "\"";
  }
  static std::string KeepFolder(const std::string& path) {
    return "Cancel of folder deletion \"" + path + "\"";
  }
  static bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
  }

  std::deque<ScriptedConfirmer> confirmers_;
};

TEST_F(RemovalPassTest, EachAnswerActsOnItsEntryAndIsAskedAgain) {
  // An answer outside the five is taken as No.
  for (const int first : {mrNo, 42}) {
    SCOPED_TRACE(first);
    tree_.WriteFile("two/x.txt", "x");
    tree_.WriteFile("two/y.txt", "y");
    tree_.WriteFile("one/common.txt", "c");
    tree_.WriteFile("two/common.txt", "c");
    tree_.SetTime("one/common.txt", 1700000000);
    tree_.SetTime("two/common.txt", 1700000000);
    const ScriptedConfirmer& confirmer = RunAnswering({first, mrYes});
    ASSERT_EQ(confirmer.questions().size(), 2u);
    const std::string kept = PathOf(confirmer.questions()[0]);
    const std::string removed = PathOf(confirmer.questions()[1]);
    EXPECT_EQ(Sorted({kept, removed}), Sorted({Two("x.txt"), Two("y.txt")}));
    EXPECT_TRUE(PathExists(kept));
    EXPECT_FALSE(PathExists(removed));
    EXPECT_EQ(sync_.ResultLog(), (std::vector<std::string>{KeepFile(kept), DeleteFile(removed)}));
    EXPECT_EQ(Count("Checking files ..."), 2);  // common.txt: equal in the copy, not lacking
    TempTree::RemoveAll(kept);
    progress_.clear();
  }
}

TEST_F(RemovalPassTest, YesToAllRemovesEveryLackingEntryWithoutMoreQuestions) {
  tree_.WriteFile("two/a.txt", "a");
  tree_.WriteFile("two/b.txt", "b");
  tree_.WriteFile("two/gone/c.txt", "c");
  tree_.WriteFile("two/kept/d.txt", "d");
  tree_.WriteFile("two/kept/same.txt", "s");
  tree_.WriteFile("one/kept/same.txt", "s");
  const ScriptedConfirmer& confirmer = RunAnswering({mrYesToAll});
  EXPECT_EQ(confirmer.questions().size(), 1u);
  EXPECT_EQ(tree_.List("two"), (std::vector<std::string>{"kept/", "kept/same.txt"}));
  EXPECT_EQ(Sorted(sync_.ResultLog()),
            Sorted({DeleteFile(Two("a.txt")), DeleteFile(Two("b.txt")), DeleteFolder(Two("gone")),
                    DeleteFile(Two("kept/d.txt"))}));
}

TEST_F(RemovalPassTest, NoToAllKeepsEverythingWithCancelLines) {
  tree_.WriteFile("two/f/1.txt", "1");
  tree_.WriteFile("two/g/2.txt", "2");
  tree_.WriteFile("two/x.txt", "x");
  const ScriptedConfirmer& confirmer = RunAnswering({mrNoToAll});
  EXPECT_EQ(confirmer.questions().size(), 1u);
  EXPECT_EQ(tree_.List("two"),
            (std::vector<std::string>{"f/", "f/1.txt", "g/", "g/2.txt", "x.txt"}));
  EXPECT_EQ(Sorted(sync_.ResultLog()),
            Sorted({KeepFolder(Two("f")), KeepFolder(Two("g")), KeepFile(Two("x.txt"))}));

  // A new run asks again.
  const ScriptedConfirmer& again = RunAnswering({mrYesToAll});
  EXPECT_EQ(again.questions().size(), 1u);
  EXPECT_TRUE(tree_.List("two").empty());
}

TEST_F(RemovalPassTest, CancelKeepsTheFileAndStopsAtTheNextOne) {
  for (const char* name : {"p.txt", "q.txt", "r.txt"})
    tree_.WriteFile(std::string("two/") + name, "x");
  tree_.WriteFile("two/sub/s.txt", "x");
  const ScriptedConfirmer& confirmer = RunAnswering({mrCancel});
  EXPECT_EQ(confirmer.questions().size(), 1u);
  EXPECT_TRUE(sync_.Terminated());
  EXPECT_EQ(tree_.List("two").size(), 5u);
  // The sub-folder may come first in the listing; after the stop it is neither entered nor
  // offered, so the only line is that of the next file.
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{"Terminated by user"});
  EXPECT_GE(Count("Checking files ..."), 1);
}

TEST_F(RemovalPassTest, KindFollowsTheEntryInFolderTwo) {
  tree_.MakeFolder("one/name");
  tree_.WriteFile("two/name", "a file where Folder 1 has a folder");
  tree_.WriteFile("one/thing", "a file");
  tree_.WriteFile("two/thing/inside.txt", "a folder where Folder 1 has a file");
  const ScriptedConfirmer& confirmer = RunAnswering({mrYes, mrYes});
  EXPECT_EQ(Sorted(confirmer.questions()),
            Sorted({FileQuestion(Two("name")), FolderQuestion(Two("thing"))}));
  EXPECT_FALSE(tree_.Exists("two/name"));
  EXPECT_FALSE(tree_.Exists("two/thing"));
}

TEST_F(RemovalPassTest, FiltersDecideWhatIsOffered) {
  struct Case {
    const char* label;
    bool hidden;
    bool subfolders;
    bool advanced;
    std::vector<std::string> offered;  // relative to Folder 2, "/" marks a folder
  };
  const Case cases[] = {
      {"plain", false, true, false, {"a.txt", "b.doc", "sub/"}},
      {"hidden", true, true, false, {".h", ".hdir/", "a.txt", "b.doc", "sub/"}},
      {"no subfolders", false, false, false, {"a.txt", "b.doc"}},
      // masks choose files only; a lacking folder is offered whole
      {"masks", false, true, true, {"a.txt", "sub/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempTree fresh;
    fresh.MakeFolder("one/both");
    for (const char* name : {"two/a.txt", "two/b.doc", "two/.h", "two/.hdir/x.txt",
                             "two/sub/only.doc", "two/both/extra.doc"}) {
      fresh.WriteFile(name, "x");
    }
    TFolderSynchronizer sync(fresh.Path("p.VTPrj"));
    sync.SetFolder1(fresh.Path("one"));
    sync.SetFolder2(fresh.Path("two"));
    sync.SetCopyMode(1);
    sync.SetExactCopy(true);
    sync.SetUseTrash(false);
    sync.SetProcessHidden(c.hidden);
    sync.SetIncludeSubfolders(c.subfolders);
    sync.SetAdvancedOptions(c.advanced);
    sync.SetIncludeText("*.txt");
    std::vector<std::string> offered;
    sync.OnConfirmRemoval = [&](const std::string& kind, const std::string& path) {
      offered.push_back(path.substr(fresh.Path("two/").size()) + (kind == "folder" ? "/" : ""));
      return mrNo;
    };
    sync.Run();
    std::vector<std::string> expected = c.offered;
    if (c.subfolders && (!c.advanced)) expected.push_back("both/extra.doc");
    EXPECT_EQ(Sorted(offered), Sorted(expected));
    EXPECT_EQ(fresh.List("two").size(), 9u);  // No keeps everything
  }
}

TEST_F(RemovalPassTest, LackingFolderIsRemovedWholeWhateverItHolds) {
  tree_.WriteFile("two/gone/ro.txt", "r", 0444);
  tree_.WriteFile("two/gone/.hidden", "h", 0400);
  tree_.WriteFile("two/gone/.hdir/x", "x");
  tree_.WriteFile("two/gone/locked/inner.txt", "i");
  ASSERT_EQ(chmod(tree_.Path("two/gone/locked").c_str(), 0555), 0);
  ASSERT_EQ(chmod(tree_.Path("two/gone").c_str(), 0500), 0);
  tree_.WriteFile("outside/keep.txt", "outside");
  tree_.MakeLink("../../outside", "two/gone/link-to-folder");
  tree_.MakeLink("../outside/keep.txt", "two/top-link");
  tree_.MakeFifo("two/gone/pipe");
  sync_.SetProcessSystem(true);
  RunAnswering({mrYesToAll});
  EXPECT_TRUE(tree_.List("two").empty());
  EXPECT_EQ(tree_.ReadFile("outside/keep.txt"), "outside");
  EXPECT_EQ(Sorted(sync_.ResultLog()),
            Sorted({DeleteFolder(Two("gone")), DeleteFile(Two("top-link"))}));
}

TEST_F(RemovalPassTest, NobodyToAskMeansNothingIsRemoved) {
  tree_.WriteFile("two/x.txt", "x");
  tree_.WriteFile("two/gone/y.txt", "y");
  sync_.Run();
  EXPECT_EQ(tree_.List("two").size(), 3u);
  EXPECT_EQ(Sorted(sync_.ResultLog()), Sorted({KeepFile(Two("x.txt")), KeepFolder(Two("gone"))}));
}

// A missing or empty Folder 1 is what an unplugged drive looks like: an exact copy that
// removed everything from Folder 2 on that ground would lose the user's backup.
TEST_F(RemovalPassTest, MissingOrEmptyFolderOneRemovesNothing) {
  tree_.WriteFile("two/a.txt", "a");
  tree_.WriteFile("two/sub/b.txt", "b");
  tree_.MakeFolder("empty");
  struct Case {
    const char* folder1;
    std::string line;
  };
  const Case cases[] = {
      {"absent", "Cannot read folder \"" + tree_.Path("absent") + "\": No such file or directory"},
      {"empty", "Folder \"" + tree_.Path("empty") + "\" is empty: nothing is removed from \"" +
                    tree_.Path("two") + "\""},
  };
  for (const Case& c : cases) {
    sync_.SetFolder1(tree_.Path(c.folder1));
    const ScriptedConfirmer& confirmer = RunAnswering({mrYesToAll});
    EXPECT_TRUE(confirmer.questions().empty());
    EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{c.line});
    EXPECT_EQ(tree_.List("two"), (std::vector<std::string>{"a.txt", "sub/", "sub/b.txt"}));
  }
  EXPECT_FALSE(PathExists(tree_.Path("absent")));
}

TEST_F(RemovalPassTest, FailedDeletionsAreReportedAndWhatCanGoGoes) {
  BlockingFileSystem fs;
  fs.undeletable = {"stuck.txt"};
  sync_.SetFileSystem(&fs);
  tree_.WriteFile("two/stuck.txt", "s");
  tree_.WriteFile("two/dir/stuck.txt", "s");
  tree_.WriteFile("two/dir/other.txt", "o");
  tree_.WriteFile("two/dir/sub/more.txt", "m");
  RunAnswering({mrYesToAll});
  EXPECT_EQ(Sorted(sync_.ResultLog()),
            Sorted({"Cannot delete file \"" + Two("stuck.txt") + "\": Permission denied",
                    "Cannot delete folder \"" + Two("dir") + "\": Permission denied"}));
  EXPECT_EQ(tree_.List("two"), (std::vector<std::string>{"dir/", "dir/stuck.txt", "stuck.txt"}));
}

TEST_F(RemovalPassTest, CounterpartThatCannotBeLookedAtIsNeverLacking) {
  BlockingFileSystem fs;
  fs.unreadable = {"victim.txt", "victimdir", "deepvictim.txt"};
  sync_.SetFileSystem(&fs);
  tree_.WriteFile("two/victim.txt", "v");
  tree_.WriteFile("two/victimdir/inside.txt", "v");
  tree_.WriteFile("two/plain.txt", "p");
  tree_.WriteFile("two/sub/deepvictim.txt", "v");
  tree_.MakeFolder("one/sub");
  const ScriptedConfirmer& confirmer = RunAnswering({mrYesToAll});
  EXPECT_EQ(confirmer.questions(), std::vector<std::string>{FileQuestion(Two("plain.txt"))});
  EXPECT_EQ(tree_.List("two"), (std::vector<std::string>{"sub/", "sub/deepvictim.txt", "victim.txt",
                                                         "victimdir/", "victimdir/inside.txt"}));
  const std::string top = "Cannot read folder \"" + tree_.Path("one") + "\": Permission denied";
  const std::string sub = "Cannot read folder \"" + One("sub") + "\": Permission denied";
  EXPECT_EQ(Sorted(sync_.ResultLog()), Sorted({top, sub, DeleteFile(Two("plain.txt"))}));
}

TEST_F(RemovalPassTest, DeletionStaysOnOneFileSystem) {
  BlockingFileSystem fs;
  fs.mountPoint = "mnt";
  sync_.SetFileSystem(&fs);
  tree_.WriteFile("two/gone/a.txt", "a");
  tree_.WriteFile("two/gone/mnt/inside.txt", "mounted");
  RunAnswering({mrYesToAll});
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{"Cannot delete folder \"" + Two("gone") +
                                                        "\": Invalid cross-device link"});
  EXPECT_EQ(tree_.List("two"),
            (std::vector<std::string>{"gone/", "gone/mnt/", "gone/mnt/inside.txt"}));
}

}  // namespace
}  // namespace vantrel::test
