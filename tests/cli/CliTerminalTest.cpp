// On a terminal: the removal questions and the progress line; and what stops or refuses a
// run: a signal in the middle of a copy, another run holding the project.
#include <csignal>

#include "CliTestSupport.h"

namespace vantrel::test {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

constexpr char kQuestion[] = "[c] Cancel: ";

class CliTerminalTest : public CliTest {
 protected:
  void ThreeExtraFiles() {
    tree.WriteFile("one/keep.txt", "k");
    for (const char* name : {"x1.txt", "x2.txt", "x3.txt"})
      tree.WriteFile(std::string("two/") + name, "x");
  }
  std::size_t ExtraFilesLeft() const { return tree.List("two").size() - 1; }
};

TEST_F(CliTerminalTest, RemovalsAreAskedWithTheFiveAnswers) {
  SaveProject("Backup");
  const struct {
    std::vector<std::string> answers;
    std::size_t questions, left;
    int exit;
  } cases[] = {
      {{"y", "n", "N"}, 3, 2, 0},
      {{"a"}, 1, 0, 0},
      {{"no to all"}, 1, 3, 0},
      {{"maybe", "c"}, 2, 3, 3},  // an unknown answer asks again; Cancel stops the run
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers.front());
    TempTree::RemoveAll(tree.Path("two"));
    TempTree::RemoveAll(tree.Path("one"));
    ThreeExtraFiles();
    Process run(Args({"run", "Backup"}), env, true);
    std::size_t from = 0;
    for (const std::string& answer : c.answers) {
      ASSERT_TRUE(run.WaitFor(kQuestion, 20, from)) << run.Output();
      from = run.Output().rfind(kQuestion) + 1;
      run.Type(answer + "\n");
    }
    const ProcessResult result = run.Finish();
    EXPECT_EQ(result.exitCode, c.exit) << result.out;
    EXPECT_EQ(Count(result.out, kQuestion), c.questions) << result.out;
    EXPECT_EQ(ExtraFilesLeft(), c.left);
    // Standard error is the terminal: the progress line is there.
    EXPECT_NE(result.out.find("\r\033[Klooked at "), std::string::npos) << result.out;
  }
}

TEST_F(CliTerminalTest, QuietLeavesTheProgressLineOut) {
  SaveProject("Backup");
  tree.WriteFile("one/a.txt", "a");
  Process run(Args({"run", "Backup", "--quiet"}), env, true);
  const ProcessResult result = run.Finish();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("Copy file"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("looked at"), std::string::npos) << result.out;
}

TEST_F(CliTerminalTest, ASecondRunOfTheProjectIsRefusedWhileTheFirstHoldsIt) {
  SaveProject("Backup");
  ThreeExtraFiles();
  // The first run waits at its first question, holding the project.
  Process first(Args({"run", "Backup"}), env, true);
  ASSERT_TRUE(first.WaitFor(kQuestion)) << first.Output();
  const std::string before = Snapshot();
  const ProcessResult second = Sync({"run", "Backup", "--yes"});
  EXPECT_EQ(second.exitCode, 5);
  EXPECT_NE(second.err.find("being run by another program"), std::string::npos) << second.err;
  EXPECT_EQ(Snapshot(), before);
  // A dry run changes nothing, so it is not kept out.
  EXPECT_EQ(Sync({"run", "Backup", "--dry-run"}).exitCode, 0);
  // A signal during the question stops the first run: nothing removed.
  first.Signal(SIGINT);
  EXPECT_EQ(first.Finish().exitCode, 3);
  EXPECT_EQ(ExtraFilesLeft(), 3u);
  const ProcessResult third = Sync({"run", "Backup", "--yes"});
  EXPECT_EQ(third.exitCode, 0) << third.err;
  EXPECT_EQ(ExtraFilesLeft(), 0u);
}

TEST_F(CliTerminalTest, ASignalInTheMiddleStopsTheRunAndLeavesNoTemporaries) {
  SaveProject("Backup");
  const std::size_t size = std::size_t{48} << 20;
  std::string data(size, 'v');
  for (std::size_t i = 0; i < size; i += 4096) data[i] = static_cast<char>(i / 4096);
  for (const char* name : {"b1.bin", "b2.bin", "b3.bin", "b4.bin", "b5.bin"}) {
    tree.WriteFile(std::string("one/") + name, data);
  }
  Process run(Args({"run", "Backup", "--json"}), env);
  // The run says nothing until the end with --json; a copy is under way once the first file
  // is in Folder 2.
  for (int i = 0; i < 2000 && tree.List("two").empty(); ++i) usleep(5000);
  ASSERT_FALSE(tree.List("two").empty());
  run.Signal(SIGTERM);
  const ProcessResult result = run.Finish();
  EXPECT_EQ(result.exitCode, 3) << result.err;
  const nlohmann::json report = nlohmann::json::parse(result.out);
  EXPECT_EQ(report["stopped"], true);
  const std::vector<std::string> copied = tree.List("two");
  EXPECT_LT(copied.size(), 5u);
  EXPECT_EQ(report["copied"], copied.size());
  for (const std::string& name : copied) {
    EXPECT_EQ(name.find(".vantrel-"), std::string::npos) << name;
    EXPECT_EQ(tree.Stat("two/" + name).st_size, static_cast<off_t>(size)) << name;
  }
  const ProcessResult again = Sync({"run", "Backup"});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(tree.List("two"), tree.List("one"));
}

}  // namespace
}  // namespace vantrel::test
