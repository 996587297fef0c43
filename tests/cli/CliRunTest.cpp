// Runs and dry runs on real trees: the exit statuses, the JSON object checked against the trees,
// and a dry run that changes nothing and lists exactly what the next run does.
#include "CliTestSupport.h"

namespace vantrel::test {
namespace {

using nlohmann::json;

class CliRunTest : public CliTest {
 protected:
  // Folder 1 with new, newer and same files (one name not valid UTF-8); Folder 2 with an old
  // copy, an unchanged one and two entries that Folder 1 lacks.
  void MakeTrees() {
    tree.WriteFile("one/new.txt", "new");
    tree.WriteFile("one/sub/deep.txt", "deep");
    tree.WriteFile("one/bad\xff.txt", "bytes");
    tree.WriteFile("one/newer.txt", "newer");
    tree.WriteFile("two/newer.txt", "old");
    tree.SetTime("two/newer.txt", UtcTime(2020, 1, 1, 0, 0, 0));
    tree.WriteFile("one/same.txt", "same");
    tree.WriteFile("two/same.txt", "same");
    tree.SetTime("one/same.txt", UtcTime(2021, 1, 1, 0, 0, 0));
    tree.SetTime("two/same.txt", UtcTime(2021, 1, 1, 0, 0, 0));
    tree.WriteFile("two/extra.txt", "extra");
    tree.WriteFile("two/gone/inside.txt", "inside");
  }

  json RunJson(const std::vector<std::string>& args, int expectedExit = 0) {
    const ProcessResult result = Sync(args);
    EXPECT_EQ(result.exitCode, expectedExit) << result.err;
    return json::parse(result.out);  // throws, failing the test, unless it is one JSON object
  }
};

TEST_F(CliRunTest, JsonTellsWhatTheRunDidToTheTrees) {
  SaveProject("Backup");
  MakeTrees();
  const json report = RunJson({"run", "Backup", "--yes", "--json"});
  EXPECT_EQ(report["project"], "Backup");
  EXPECT_EQ(report["file"], ProjectsFolder() + "/TESTPROJ.VTPrj");
  EXPECT_EQ(report["dry_run"], false);
  EXPECT_EQ(report["stopped"], false);
  EXPECT_EQ(report["failed"], 0);
  EXPECT_TRUE(report["seconds"].is_number());
  EXPECT_GE(report["looked_at"].get<int>(), 5);
  std::size_t copies = 0, copiedBytes = 0, removedFiles = 0, removedFolders = 0;
  std::vector<std::string> copiedTo;
  for (const json& action : report["actions"]) {
    const std::string path = NameBytes(action["path"]);
    if (action["action"] == "copy") {
      const std::string to = NameBytes(action["to"]);
      EXPECT_EQ(action["kind"], "file");
      ASSERT_EQ(path.rfind(tree.Path("one/"), 0), 0u) << path;
      const std::string relative = path.substr(tree.Path("one/").size());
      EXPECT_EQ(to, tree.Path("two/" + relative));
      EXPECT_EQ(tree.ReadFile("two/" + relative), tree.ReadFile("one/" + relative));
      EXPECT_EQ(action["bytes"], tree.ReadFile("one/" + relative).size());
      copiedTo.push_back(relative);
      ++copies;
      copiedBytes += action["bytes"].get<std::size_t>();
    } else {
      ASSERT_EQ(action["action"], "remove");
      EXPECT_FALSE(tree.Exists(path.substr(tree.root().size() + 1))) << path;
      (action["kind"] == "file" ? removedFiles : removedFolders)++;
    }
  }
  std::sort(copiedTo.begin(), copiedTo.end());
  EXPECT_EQ(copiedTo,
            (std::vector<std::string>{"bad\xff.txt", "new.txt", "newer.txt", "sub/deep.txt"}));
  EXPECT_EQ(report["copied"], copies);
  EXPECT_EQ(report["copied_bytes"], copiedBytes);
  EXPECT_EQ(report["removed_files"], removedFiles);
  EXPECT_EQ(report["removed_folders"], removedFolders);
  EXPECT_EQ(removedFiles, 1u);
  EXPECT_EQ(removedFolders, 1u);
  EXPECT_EQ(tree.List("two"), tree.List("one"));
  // The name that is not UTF-8 is escaped byte by byte, and the rest stays as it was.
  EXPECT_NE(report.dump().find("bad\\\\xFF.txt"), std::string::npos);
  EXPECT_EQ(report["log"].size(), 6u);
}

TEST_F(CliRunTest, ADryRunChangesNothingAndListsWhatTheNextRunDoes) {
  SaveProject("Backup");
  // With --yes everything is removed; without it, standard input not being a terminal, nothing.
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "--yes" : "no --yes");
    TempTree::RemoveAll(tree.Path("two"));
    tree.MakeFolder("two");
    MakeTrees();
    std::vector<std::string> options = {"--json"};
    if (yes) options.push_back("--yes");
    const auto with = [&options](std::vector<std::string> args) {
      args.insert(args.end(), options.begin(), options.end());
      return args;
    };
    const std::string before = Snapshot();
    const ProcessResult text = Sync({"run", "Backup", "--dry-run", yes ? "-y" : "-q"});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    const json plan = RunJson(with({"run", "Backup", "-n"}));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(plan["dry_run"], true);

    const json done = RunJson(with({"run", "Backup"}));
    EXPECT_EQ(plan["actions"], done["actions"]);
    for (const char* count : {"copied", "copied_bytes", "removed_files", "removed_folders"}) {
      EXPECT_EQ(plan[count], done[count]) << count;
    }
    EXPECT_EQ(done["removed_files"], yes ? 1 : 0);
    // The dry run's lines are the run's own lines for what it does.
    std::string doneLines;
    for (const json& line : done["log"]) {
      const std::string bytes = NameBytes(line);
      if (bytes.rfind("Cancel of", 0) != 0) doneLines += bytes + "\n";
    }
    EXPECT_EQ(text.out, doneLines);
    EXPECT_EQ(text.err.find("nothing is removed") != std::string::npos, !yes) << text.err;
  }
}

TEST_F(CliRunTest, ExitStatusSaysHowTheRunEnded) {
  tree.WriteFile("one/a.txt", "a");
  tree.WriteFile("file", "not a folder");
  tree.WriteFile("full/x.txt", "x");
  tree.MakeFolder("empty");
  const struct {
    const char* what;
    std::string folder1, folder2;
    int exit;
    const char* err;
  } cases[] = {
      {"done", tree.Path("one"), tree.Path("two"), 0, ""},
      {"a failure", tree.Path("one"), tree.Path("file"), 1, ""},
      {"overlapping folders", tree.Path("one"), tree.Path("one/inner"), 4, "one folder contains"},
      {"an empty Folder 1 spares Folder 2", tree.Path("empty"), tree.Path("full"), 4, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TFolderSynchronizer project(ProjectsFolder() + "/CASE.VTPrj");
    project.SetProjectName("Case");
    project.SetFolder1(c.folder1);
    project.SetFolder2(c.folder2);
    project.SetCopyMode(1);
    project.SetExactCopy(true);
    project.Save();
    const ProcessResult result = Sync({"run", "Case", "--yes"});
    EXPECT_EQ(result.exitCode, c.exit) << result.out << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
  }
  EXPECT_FALSE(tree.Exists("one/inner"));
  EXPECT_EQ(tree.List("full"), std::vector<std::string>{"x.txt"});
}

}  // namespace
}  // namespace vantrel::test
