// Removed and replaced files go to the home trash, where trash-cli finds and restores them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/ModalResult.h"
#include "engine/TrashCan.h"
#include "tests/core/SyncFixture.h"
#include "tests/core/TrashSupport.h"

namespace vantrel::test {
namespace {

constexpr std::time_t kOld = 1600000000;  // 2020-09-13
constexpr std::time_t kNew = 1700000000;  // 2023-11-14

// A project over "one" and "two" with the trash on, its home trash in the tree.
class TrashTest : public SyncFixture {
 protected:
  TrashTest() {
    setenv("XDG_DATA_HOME", tree_.Path("data").c_str(), 1);
    sync_.SetUseTrash(true);
    sync_.SetExactCopy(true);
    tree_.WriteFile("one/kept.txt", "an emptied Folder 1 would remove nothing");
    sync_.SetProcessHidden(true);
    sync_.OnConfirmRemoval = [](const std::string&, const std::string&) { return mrYesToAll; };
  }
  ~TrashTest() override {
    setenv("XDG_DATA_HOME", (std::string(getenv("HOME")) + "/.local/share").c_str(), 1);
  }

  std::string Trash(const std::string& relative) const { return "data/Trash/" + relative; }
  std::vector<std::string> Log() const { return sync_.ResultLog(); }
  bool Logged(const std::string& line) const {
    const auto log = Log();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
};

TEST(TrashPathTest, PercentEncodingKeepsOnlyUnreservedBytesAndSlashes) {
  EXPECT_EQ(PercentEncoded("/a-b_c.d~e/F9"), "/a-b_c.d~e/F9");
  EXPECT_EQ(PercentEncoded("/x y%z\n\xff#?&+"), "/x%20y%25z%0A%FF%23%3F%26%2B");
}

TEST_F(TrashTest, ExactCopyMovesEveryKindOfEntryWhereTrashCliRestoresIt) {
  if (!HaveTrashCli()) GTEST_SKIP() << "trash-cli is not installed (scripts/deps.sh installs it)";
  struct Case {
    const char* relative;  // below Folder 2
    const char* contents;
    bool folder;  // the entry is the folder holding `relative`'s last part
  };
  const std::vector<Case> cases = {
      {"plain.txt", "plain\n", false},          {".hidden", "hidden\n", false},
      {"per%cent 20%.txt", "percent\n", false}, {"line\nfeed", "newline\n", false},
      {"tree/inner/deep.txt", "deep\n", true},  {".hdir/x", "hidden folder\n", true},
  };
  for (const Case& c : cases) tree_.WriteFile(std::string("two/") + c.relative, c.contents);
  sync_.Run();

  const std::string list = TrashList();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.relative);
    const std::string relative = c.relative;
    const std::string top = c.folder ? relative.substr(0, relative.find('/')) : relative;
    EXPECT_FALSE(tree_.Exists("two/" + top));
    EXPECT_TRUE(
        Logged((c.folder ? "Move folder \"" : "Move file \"") + Two(top) + "\" to the trash"));
    EXPECT_NE(list.find(" " + Two(top) + "\n"), std::string::npos) << list;
    const int index = RestoreIndex(tree_.Path("two"), Two(top));
    ASSERT_GE(index, 0) << list;
    TrashRestore(tree_.Path("two"), index);
    EXPECT_EQ(tree_.ReadFile("two/" + relative), c.contents);
  }
  EXPECT_TRUE(Sorted(tree_.List("data/Trash/files")).empty());
}

TEST_F(TrashTest, InfoFileHasTheLayoutClientsRead) {
  tree_.WriteFile("two/odd \xff name", "x");
  sync_.Run();
  // The name on disk keeps its bytes; the Path line encodes them.
  EXPECT_EQ(tree_.ReadFile(Trash("files/odd \xff name")), "x");
  const std::string info = tree_.ReadFile(Trash("info/odd \xff name.trashinfo"));
  const std::string head =
      "[Trash Info]\nPath=" + PercentEncoded(Two("odd \xff name")) + "\nDeletionDate=";
  ASSERT_EQ(info.compare(0, head.size(), head), 0) << info;
  const std::string date = info.substr(head.size());
  ASSERT_EQ(date.size(), 20u) << date;  // YYYY-MM-DDThh:mm:ss and the line feed
  EXPECT_EQ(date[4], '-');
  EXPECT_EQ(date[10], 'T');
  EXPECT_EQ(date[16], ':');
  EXPECT_EQ(date[19], '\n');
  EXPECT_EQ(PercentEncoded(Two("odd \xff name")).find(' '), std::string::npos);
  EXPECT_NE(PercentEncoded(Two("odd \xff name")).find("%20%FF%20"), std::string::npos);
}

TEST_F(TrashTest, EntriesOfOneNameGetNamesOfTheirOwn) {
  for (const char* folder : {"a", "b", "c"}) {
    tree_.MakeFolder(std::string("one/") + folder);
    tree_.WriteFile(std::string("two/") + folder + "/same.txt", folder);
  }
  tree_.MakeFolder("data/Trash/files");
  tree_.WriteFile(Trash("files/same.txt.2"), "an entry without its info file");
  sync_.Run();
  std::vector<std::string> contents;
  for (const std::string& name : tree_.List("data/Trash/files")) {
    contents.push_back(tree_.ReadFile(Trash("files/" + name.substr(name.rfind('/') + 1))));
  }
  EXPECT_EQ(Sorted(contents),
            (std::vector<std::string>{"a", "an entry without its info file", "b", "c"}));
  EXPECT_EQ(tree_.List("data/Trash/info").size(), 3u);
  EXPECT_FALSE(tree_.Exists(Trash("info/same.txt.2.trashinfo")));
}

// Counts the info files the trash tries to make.
class InfoCountingFileSystem : public FileSystemWrapper {
 public:
  InfoCountingFileSystem() : FileSystemWrapper(FileSystem::Default()) {}
  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    if ((flags & O_CREAT) != 0 && std::strstr(name, ".trashinfo") != nullptr) ++tries;
    return FileSystemWrapper::OpenAt(dirfd, name, flags, mode);
  }
  int tries = 0;
};

// The same tree synchronized again and again: its older versions are in the trash already, under
// the same numbers for every name.
TEST_F(TrashTest, RepeatedNamesFindTheirFreeNumberWithoutCountingUp) {
  constexpr int kFiles = 12;
  constexpr int kVersions = 6;  // the plain name and .2 to .6 are taken for every file
  InfoCountingFileSystem fs;
  sync_.SetFileSystem(&fs);
  sync_.SetExactCopy(false);
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    tree_.WriteFile("two/" + name, "old " + name);
    tree_.SetTime("two/" + name, kOld);
    tree_.WriteFile("one/" + name, "new " + name);
    tree_.SetTime("one/" + name, kNew);
    for (int v = 1; v <= kVersions; ++v) {
      const std::string held = v == 1 ? name : name + "." + std::to_string(v);
      tree_.WriteFile(Trash("files/" + held), "version " + std::to_string(v));
      tree_.WriteFile(Trash("info/" + held + ".trashinfo"), "[Trash Info]\n");
    }
  }
  // One name is free at .3 already: any free number will do for it.
  ASSERT_EQ(unlink(tree_.Path(Trash("info/f5.txt.3.trashinfo")).c_str()), 0);
  ASSERT_EQ(unlink(tree_.Path(Trash("files/f5.txt.3")).c_str()), 0);
  sync_.Run();
  int kept = 0;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    SCOPED_TRACE(name);
    EXPECT_TRUE(Logged(CopyLine(name.c_str())));
    EXPECT_EQ(tree_.ReadFile("two/" + name), "new " + name);
    for (const std::string& entry : tree_.List("data/Trash/files")) {
      const std::string held = entry.substr(entry.rfind('/') + 1);
      if (held.rfind(name, 0) != 0 || tree_.ReadFile(Trash("files/" + held)) != "old " + name) {
        continue;
      }
      ++kept;
      const std::string info = tree_.ReadFile(Trash("info/" + held + ".trashinfo"));
      EXPECT_NE(info.find("Path=" + PercentEncoded(Two(name)) + "\n"), std::string::npos) << info;
    }
    // The versions that were there stay untouched.
    EXPECT_EQ(tree_.ReadFile(Trash("files/" + name + ".2")), "version 2");
  }
  EXPECT_EQ(kept, kFiles);
  // Counting up from the plain name every time would take kVersions + 1 tries for each file.
  EXPECT_LE(fs.tries, kVersions + 1 + 2 * (kFiles - 1) + 1);
}

TEST_F(TrashTest, ReplacedFileKeepsItsOldVersionInTheTrash) {
  tree_.WriteFile("two/report.txt", "old version");
  tree_.SetTime("two/report.txt", kOld);
  tree_.WriteFile("one/report.txt", "new version");
  tree_.SetTime("one/report.txt", kNew);
  sync_.Run();
  EXPECT_TRUE(Logged(CopyLine("report.txt")));
  EXPECT_EQ(tree_.ReadFile("two/report.txt"), "new version");
  EXPECT_EQ(tree_.ReadFile(Trash("files/report.txt")), "old version");
  EXPECT_EQ(tree_.Stat(Trash("files/report.txt")).st_nlink, 1u);
  if (!HaveTrashCli()) GTEST_SKIP() << "trash-cli is not installed (scripts/deps.sh installs it)";
  // trash-restore never overwrites: the new version makes way for the old one.
  ASSERT_EQ(unlink(tree_.Path("two/report.txt").c_str()), 0);
  const int index = RestoreIndex(tree_.Path("two"), Two("report.txt"));
  ASSERT_GE(index, 0);
  TrashRestore(tree_.Path("two"), index);
  EXPECT_EQ(tree_.ReadFile("two/report.txt"), "old version");
}

// Fails making the info file, as a trash on a read-only or full drive would.
class NoInfoFileSystem : public FileSystemWrapper {
 public:
  NoInfoFileSystem() : FileSystemWrapper(FileSystem::Default()) {}
  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    if ((flags & O_CREAT) != 0 && std::strstr(name, ".trashinfo") != nullptr) {
      errno = EROFS;
      return -1;
    }
    return FileSystemWrapper::OpenAt(dirfd, name, flags, mode);
  }
};

TEST_F(TrashTest, WhereTheTrashRefusesNothingIsDeleted) {
  NoInfoFileSystem fs;
  sync_.SetFileSystem(&fs);
  tree_.WriteFile("two/keep.txt", "k");
  tree_.WriteFile("two/dir/inside.txt", "i");
  tree_.WriteFile("two/replaced.txt", "old");
  tree_.SetTime("two/replaced.txt", kOld);
  tree_.WriteFile("one/replaced.txt", "new");
  tree_.SetTime("one/replaced.txt", kNew);
  sync_.Run();
  const std::string reason = std::strerror(EROFS);
  EXPECT_TRUE(Logged("Cannot move file \"" + Two("keep.txt") + "\" to the trash: " + reason));
  EXPECT_TRUE(Logged("Cannot move folder \"" + Two("dir") + "\" to the trash: " + reason));
  EXPECT_TRUE(Logged(CannotCopyLine(
      "replaced.txt", ("Cannot move the replaced file to the trash: " + reason).c_str())));
  EXPECT_EQ(tree_.ReadFile("two/keep.txt"), "k");
  EXPECT_EQ(tree_.ReadFile("two/dir/inside.txt"), "i");
  EXPECT_EQ(tree_.ReadFile("two/replaced.txt"), "old");
  EXPECT_TRUE(NoTemporaries());
}

TEST_F(TrashTest, OffDeletesAsBefore) {
  sync_.SetUseTrash(false);
  tree_.WriteFile("two/gone.txt", "g");
  sync_.Run();
  EXPECT_TRUE(Logged("Delete file \"" + Two("gone.txt") + "\""));
  EXPECT_FALSE(tree_.Exists("two/gone.txt"));
  EXPECT_FALSE(tree_.Exists("data/Trash"));
}

TEST_F(TrashTest, PreviewPlansRemovalsAndSaysWhereTheyGo) {
  tree_.WriteFile("two/gone.txt", "g");
  sync_.Preview();
  ASSERT_EQ(sync_.Plan().size(), 2u);  // kept.txt copied, gone.txt removed
  PlannedAction action;
  ASSERT_TRUE(sync_.Plan().Get(1, action));
  EXPECT_EQ(action.kind, ActionKind::kRemoveFile);
  EXPECT_EQ(action.path, Two("gone.txt"));
  const auto& log = sync_.PreviewLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "Move file \"" + Two("gone.txt") + "\" to the trash"),
            log.end());
  EXPECT_TRUE(tree_.Exists("two/gone.txt"));
  EXPECT_FALSE(tree_.Exists("data/Trash"));
}

// A replacing run killed at random moments: the name holds the old or the new contents, and
// whenever the old ones are not at the name they are in the trash.
TEST_F(TrashTest, KilledReplacingRunLosesNothing) {
  const std::string oldContents(3 << 20, 'o');
  const std::string newContents(3 << 20, 'n');
  std::mt19937 random(12345);
  int sawOld = 0, sawNew = 0, sawMissing = 0;
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE(round);
    std::filesystem::remove_all(tree_.Path("data"));
    tree_.WriteFile("two/big.bin", oldContents);
    tree_.SetTime("two/big.bin", kOld);
    tree_.WriteFile("one/big.bin", newContents);
    tree_.SetTime("one/big.bin", kNew);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      sync_.OnProgress = nullptr;
      sync_.Run();
      _exit(0);
    }
    usleep(std::uniform_int_distribution<unsigned>(0, 6000)(random));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const bool atName = tree_.Exists("two/big.bin");
    const std::string now = atName ? tree_.ReadFile("two/big.bin") : std::string();
    bool oldInTrash = false;
    if (tree_.Exists("data/Trash/files")) {
      for (const std::string& entry : tree_.List("data/Trash/files")) {
        const std::string name = entry.substr(entry.rfind('/') + 1);
        if (tree_.ReadFile(Trash("files/" + name)) == oldContents) oldInTrash = true;
        EXPECT_TRUE(tree_.Exists(Trash("info/" + name + ".trashinfo")));
      }
    }
    if (!atName) {
      ++sawMissing;
      EXPECT_TRUE(oldInTrash);
    } else if (now == oldContents) {
      ++sawOld;
    } else {
      ++sawNew;
      ASSERT_EQ(now, newContents) << "the name holds something else";
      EXPECT_TRUE(oldInTrash);
    }
  }
  std::printf("trash: killed replacing runs: %d old, %d new, %d moved away\n", sawOld, sawNew,
              sawMissing);
  EXPECT_GT(sawOld + sawNew + sawMissing, 0);
}

}  // namespace
}  // namespace vantrel::test
