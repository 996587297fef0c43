// The window's run as the harness drives it: the same work as the headless engine, removals
// answered, and a refusal that comes back as a failure rather than as a finished run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <cstdlib>

#include "bench/BenchTestSupport.h"
#include "bench/EngineRunner.h"
#include "bench/TreeTools.h"
#include "bench/WindowRunner.h"
#include "storage/uGlobal.h"

namespace vantrel::bench {
namespace {

using testing::Exists;
using testing::WriteFile;

void MakeSource(const std::string& root) {
  ::mkdir(root.c_str(), 0755);
  ::mkdir((root + "/sub").c_str(), 0755);
  WriteFile(root + "/a.txt", "a");
  WriteFile(root + "/.hidden", "h");
  WriteFile(root + "/sub/b.dat", "bb");
}

TEST(RunThroughWindow, DoesWhatTheHeadlessEngineDoes) {
  const test::TempTree scratch;
  MakeSource(scratch.Path("src"));
  WindowRun window = RunThroughWindow(scratch.Path("src"), scratch.Path("window"), false, false);
  EngineRun headless = RunEngine(scratch.Path("src"), scratch.Path("headless"), false, false);
  EXPECT_TRUE(window.errors.empty()) << window.errors.front();
  EXPECT_GT(window.logLines, 0);
  EXPECT_EQ(window.logLines, headless.logLines);
  EXPECT_GT(window.notifications, 0);
  EXPECT_TRUE(VerifyCopy(scratch.Path("src"), scratch.Path("window"), true).ok());
  EXPECT_TRUE(Exists(scratch.Path("window/.hidden")));
}

TEST(RunThroughWindow, AnswersTheRemovalsOfAnExactCopy) {
  const test::TempTree scratch;
  MakeSource(scratch.Path("src"));
  ::mkdir(scratch.Path("dst").c_str(), 0755);
  WriteFile(scratch.Path("dst/extra-1"), "x");
  WriteFile(scratch.Path("dst/extra-2"), "y");
  WindowRun run = RunThroughWindow(scratch.Path("src"), scratch.Path("dst"), false, true, true);
  EXPECT_TRUE(run.errors.empty());
  EXPECT_FALSE(Exists(scratch.Path("dst/extra-1")));
  EXPECT_FALSE(Exists(scratch.Path("dst/extra-2")));
  EXPECT_TRUE(VerifyCopy(scratch.Path("src"), scratch.Path("dst"), true).ok());
}

TEST(RunThroughWindow, ReportsARefusedRun) {
  const test::TempTree scratch;
  MakeSource(scratch.Path("src"));
  WindowRun run = RunThroughWindow(scratch.Path("src"), scratch.Path("src/sub"), false, false);
  EXPECT_FALSE(run.errors.empty());
  EXPECT_FALSE(Exists(scratch.Path("src/sub/a.txt")));
}

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  // The window's projects go to a data folder of the test's own, never the user's.
  const vantrel::test::TempTree data;
  ::setenv("XDG_DATA_HOME", data.root().c_str(), 1);
  vantrel::InitProjectsFolder();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
