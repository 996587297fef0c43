#include "bench/FloorSync.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "bench/BenchTestSupport.h"
#include "bench/TreeTools.h"

namespace vantrel::bench {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::SetTime;
using testing::StatOf;
using testing::WriteFile;

void MakeFolder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

TEST(FloorSync, CopiesATreeIntoAMissingDestinationOnce) {
  ScratchFolder scratch;
  GenerateSmallFileTree(scratch / "s", 300, 21);
  MakeFolder(scratch / "s/empty folder");
  ::chmod((scratch / "s/empty folder").c_str(), 0700);

  FloorSync first;
  first.Unidirectional(scratch / "s", scratch / "d/deeper");
  EXPECT_EQ(first.counts().filesCopied, 300);
  EXPECT_EQ(first.counts().failures, 0);
  // Folders come into being only with a file copied into them.
  EXPECT_FALSE(Exists(scratch / "d/deeper/empty folder"));
  EXPECT_TRUE(VerifyCopy(scratch / "s", scratch / "d/deeper", true).ok());

  FloorSync again;
  again.Unidirectional(scratch / "s", scratch / "d/deeper");
  EXPECT_EQ(again.counts().filesLooked, 300);
  EXPECT_EQ(again.counts().actions(), 0);
}

TEST(FloorSync, CopiesOnlyWhenTheSourceIsNewerByATwoSecondStep) {
  struct Case {
    std::time_t source, destination;
    bool copied;
  };
  const std::time_t t = 1700000000;  // even
  const Case cases[] = {
      {t, t, false},          {t + 1, t, false},  // same two-second step
      {t + 2, t, true},       {t + 3, t + 1, true},
      {t, t + 2, false},      {t + 100, t - 100, true},
  };
  for (const auto& c : cases) {
    ScratchFolder scratch;
    MakeFolder(scratch / "s");
    MakeFolder(scratch / "d");
    WriteFile(scratch / "s/f", "new");
    WriteFile(scratch / "d/f", "old");
    SetTime(scratch / "s/f", c.source);
    SetTime(scratch / "d/f", c.destination);
    FloorSync floor;
    floor.Unidirectional(scratch / "s", scratch / "d");
    EXPECT_EQ(floor.counts().filesCopied, c.copied ? 1 : 0) << c.source - t << " " << c.destination - t;
    EXPECT_EQ(ReadFile(scratch / "d/f"), c.copied ? "new" : "old");
    if (c.copied) {
      EXPECT_EQ(StatOf(scratch / "d/f").st_mtim.tv_sec, c.source);
    }
  }
}

TEST(FloorSync, CarriesModeAndNanosecondsAndLeavesNoTemporary) {
  ScratchFolder scratch;
  MakeFolder(scratch / "s");
  WriteFile(scratch / "s/run me", "#!/bin/sh\n");
  ::chmod((scratch / "s/run me").c_str(), 0751);
  SetTime(scratch / "s/run me", 1700000000, 123456789);
  FloorSync floor;
  floor.Unidirectional(scratch / "s", scratch / "d");
  struct stat st = StatOf(scratch / "d/run me");
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
  EXPECT_TRUE(VerifyCopy(scratch / "s", scratch / "d", true).ok());  // no temporary left
}

TEST(FloorSync, CountsAFailedCopyAndGoesOn) {
  ScratchFolder scratch;
  MakeFolder(scratch / "s");
  MakeFolder(scratch / "d");
  WriteFile(scratch / "s/a", "a");
  WriteFile(scratch / "s/b", "b");
  MakeFolder(scratch / "d/a");  // a folder where the file should go
  WriteFile(scratch / "d/a/inside", "kept");
  FloorSync floor;
  floor.Unidirectional(scratch / "s", scratch / "d");
  EXPECT_EQ(floor.counts().failures, 1);
  EXPECT_EQ(floor.counts().filesCopied, 1);
  EXPECT_EQ(ReadFile(scratch / "d/b"), "b");
  EXPECT_EQ(ReadFile(scratch / "d/a/inside"), "kept");
}

TEST(FloorSync, NeverFollowsSymbolicLinks) {
  ScratchFolder scratch;
  MakeFolder(scratch / "s");
  MakeFolder(scratch / "elsewhere");
  WriteFile(scratch / "elsewhere/secret", "x");
  ASSERT_EQ(::symlink((scratch / "elsewhere").c_str(), (scratch / "s/link").c_str()), 0);
  FloorSync floor;
  floor.Unidirectional(scratch / "s", scratch / "d");
  EXPECT_EQ(floor.counts().filesLooked, 0);
  EXPECT_FALSE(Exists(scratch / "d/link"));
}

TEST(FloorSync, BothDirectionsBringBothSidesInLine) {
  ScratchFolder scratch;
  for (const char* side : {"a", "b"}) {
    MakeFolder(scratch / side);
    MakeFolder(scratch / side + "/sub");
    WriteFile(scratch / side + "/sub/shared", side);
  }
  SetTime(scratch / "a/sub/shared", 1700000000);
  SetTime(scratch / "b/sub/shared", 1700000010);  // newer in b: goes back to a
  WriteFile(scratch / "a/only in a", "1");
  WriteFile(scratch / "b/sub/only in b", "2");
  FloorSync floor;
  floor.Unidirectional(scratch / "a", scratch / "b");
  floor.Unidirectional(scratch / "b", scratch / "a");
  EXPECT_EQ(floor.counts().filesCopied, 3);
  EXPECT_EQ(ReadFile(scratch / "a/sub/shared"), "b");
  EXPECT_EQ(ReadFile(scratch / "a/sub/only in b"), "2");
  EXPECT_EQ(ReadFile(scratch / "b/only in a"), "1");
  EXPECT_TRUE(VerifyCopy(scratch / "a", scratch / "b", true).ok());
}

TEST(FloorSync, RemovesWhatTheSourceLacksWhateverItsKind) {
  ScratchFolder scratch;
  GenerateSmallFileTree(scratch / "s", 300, 5);
  GenerateSmallFileTree(scratch / "d", 300, 5);
  ExtraCounts extras = AddExtraEntries(scratch / "d", 6);
  MakeFolder(scratch / "s/name");
  WriteFile(scratch / "s/name/x", "x");
  WriteFile(scratch / "d/name", "a file where the source has a folder");
  WriteFile(scratch / "s/other", "a file");
  MakeFolder(scratch / "d/other");  // a folder where the source has a file
  WriteFile(scratch / "d/other/inside", "y");

  FloorSync floor;
  floor.RemoveExtras(scratch / "s", scratch / "d");
  EXPECT_EQ(floor.counts().failures, 0);
  EXPECT_EQ(floor.counts().filesRemoved, extras.files + 1);
  EXPECT_EQ(floor.counts().foldersRemoved, extras.folders + 1);
  EXPECT_FALSE(Exists(scratch / "d/other"));
  EXPECT_FALSE(Exists(scratch / "d/name"));
  ASSERT_EQ(::unlink((scratch / "s/name/x").c_str()), 0);
  ASSERT_EQ(::rmdir((scratch / "s/name").c_str()), 0);
  ASSERT_EQ(::unlink((scratch / "s/other").c_str()), 0);
  EXPECT_TRUE(VerifyCopy(scratch / "s", scratch / "d", true).ok());
}

}  // namespace
}  // namespace vantrel::bench
