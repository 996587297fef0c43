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
using testing::ScratchFolder;
using testing::WriteFile;

void MakeSource(const std::string& root) {
  ::mkdir(root.c_str(), 0755);
  ::mkdir((root + "/sub").c_str(), 0755);
  WriteFile(root + "/a.txt", "a");
  WriteFile(root + "/.hidden", "h");
  WriteFile(root + "/sub/b.dat", "bb");
}

TEST(RunThroughWindow, DoesWhatTheHeadlessEngineDoes) {
  ScratchFolder scratch;
  MakeSource(scratch / "src");
  WindowRun window = RunThroughWindow(scratch / "src", scratch / "window", false, false);
  EngineRun headless = RunEngine(scratch / "src", scratch / "headless", false, false);
  EXPECT_TRUE(window.errors.empty()) << window.errors.front();
  EXPECT_GT(window.logLines, 0);
  EXPECT_EQ(window.logLines, headless.logLines);
  EXPECT_GT(window.notifications, 0);
  EXPECT_TRUE(VerifyCopy(scratch / "src", scratch / "window", true).ok());
  EXPECT_TRUE(Exists(scratch / "window/.hidden"));
}

TEST(RunThroughWindow, AnswersTheRemovalsOfAnExactCopy) {
  ScratchFolder scratch;
  MakeSource(scratch / "src");
  ::mkdir((scratch / "dst").c_str(), 0755);
  WriteFile(scratch / "dst/extra-1", "x");
  WriteFile(scratch / "dst/extra-2", "y");
  WindowRun run = RunThroughWindow(scratch / "src", scratch / "dst", false, true, true);
  EXPECT_TRUE(run.errors.empty());
  EXPECT_FALSE(Exists(scratch / "dst/extra-1"));
  EXPECT_FALSE(Exists(scratch / "dst/extra-2"));
  EXPECT_TRUE(VerifyCopy(scratch / "src", scratch / "dst", true).ok());
}

TEST(RunThroughWindow, ReportsARefusedRun) {
  ScratchFolder scratch;
  MakeSource(scratch / "src");
  WindowRun run = RunThroughWindow(scratch / "src", scratch / "src/sub", false, false);
  EXPECT_FALSE(run.errors.empty());
  EXPECT_FALSE(Exists(scratch / "src/sub/a.txt"));
}

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  // The window's projects go to a data folder of the test's own, never the user's.
  vantrel::bench::testing::ScratchFolder data;
  ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  vantrel::InitProjectsFolder();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
