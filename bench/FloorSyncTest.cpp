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
using testing::SetTime;
using testing::StatOf;
using testing::WriteFile;
using test::TempTree;

void MakeFolder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

TEST(FloorSync, CopiesATreeIntoAMissingDestinationOnce) {
  TempTree scratch;
  GenerateSmallFileTree(scratch.Path("s"), 300, 21);
  MakeFolder(scratch.Path("s/empty folder"));
  ::chmod(scratch.Path("s/empty folder").c_str(), 0700);

  FloorSync first;
  first.Unidirectional(scratch.Path("s"), scratch.Path("d/deeper"));
  EXPECT_EQ(first.counts().filesCopied, 300);
  EXPECT_EQ(first.counts().failures, 0);
  // Folders come into being only with a file copied into them.
  EXPECT_FALSE(Exists(scratch.Path("d/deeper/empty folder")));
  EXPECT_TRUE(VerifyCopy(scratch.Path("s"), scratch.Path("d/deeper"), true).ok());

  FloorSync again;
  again.Unidirectional(scratch.Path("s"), scratch.Path("d/deeper"));
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
    TempTree scratch;
    MakeFolder(scratch.Path("s"));
    MakeFolder(scratch.Path("d"));
    WriteFile(scratch.Path("s/f"), "new");
    WriteFile(scratch.Path("d/f"), "old");
    SetTime(scratch.Path("s/f"), c.source);
    SetTime(scratch.Path("d/f"), c.destination);
    FloorSync floor;
    floor.Unidirectional(scratch.Path("s"), scratch.Path("d"));
    EXPECT_EQ(floor.counts().filesCopied, c.copied ? 1 : 0) << c.source - t << " " << c.destination - t;
    EXPECT_EQ(ReadFile(scratch.Path("d/f")), c.copied ? "new" : "old");
    if (c.copied) {
      EXPECT_EQ(StatOf(scratch.Path("d/f")).st_mtim.tv_sec, c.source);
    }
  }
}

TEST(FloorSync, CarriesModeAndNanosecondsAndLeavesNoTemporary) {
  TempTree scratch;
  MakeFolder(scratch.Path("s"));
  WriteFile(scratch.Path("s/run me"), "#!/bin/sh\n");
  ::chmod(scratch.Path("s/run me").c_str(), 0751);
  SetTime(scratch.Path("s/run me"), 1700000000, 123456789);
  FloorSync floor;
  floor.Unidirectional(scratch.Path("s"), scratch.Path("d"));
  struct stat st = StatOf(scratch.Path("d/run me"));
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
  EXPECT_TRUE(VerifyCopy(scratch.Path("s"), scratch.Path("d"), true).ok());  // no temporary left
}

TEST(FloorSync, CountsAFailedCopyAndGoesOn) {
  TempTree scratch;
  MakeFolder(scratch.Path("s"));
  MakeFolder(scratch.Path("d"));
  WriteFile(scratch.Path("s/a"), "a");
  WriteFile(scratch.Path("s/b"), "b");
  MakeFolder(scratch.Path("d/a"));  // a folder where the file should go
  WriteFile(scratch.Path("d/a/inside"), "kept");
  FloorSync floor;
  floor.Unidirectional(scratch.Path("s"), scratch.Path("d"));
  EXPECT_EQ(floor.counts().failures, 1);
  EXPECT_EQ(floor.counts().filesCopied, 1);
  EXPECT_EQ(ReadFile(scratch.Path("d/b")), "b");
  EXPECT_EQ(ReadFile(scratch.Path("d/a/inside")), "kept");
}

TEST(FloorSync, NeverFollowsSymbolicLinks) {
  TempTree scratch;
  MakeFolder(scratch.Path("s"));
  MakeFolder(scratch.Path("elsewhere"));
  WriteFile(scratch.Path("elsewhere/secret"), "x");
  ASSERT_EQ(::symlink(scratch.Path("elsewhere").c_str(), scratch.Path("s/link").c_str()), 0);
  FloorSync floor;
  floor.Unidirectional(scratch.Path("s"), scratch.Path("d"));
  EXPECT_EQ(floor.counts().filesLooked, 0);
  EXPECT_FALSE(Exists(scratch.Path("d/link")));
}

TEST(FloorSync, BothDirectionsBringBothSidesInLine) {
  TempTree scratch;
  for (const char* side : {"a", "b"}) {
    MakeFolder(scratch.Path(side));
    MakeFolder(scratch.Path(side) + "/sub");
    WriteFile(scratch.Path(side) + "/sub/shared", side);
  }
  SetTime(scratch.Path("a/sub/shared"), 1700000000);
  SetTime(scratch.Path("b/sub/shared"), 1700000010);  // newer in b: goes back to a
  WriteFile(scratch.Path("a/only in a"), "1");
  WriteFile(scratch.Path("b/sub/only in b"), "2");
  FloorSync floor;
  floor.Unidirectional(scratch.Path("a"), scratch.Path("b"));
  floor.Unidirectional(scratch.Path("b"), scratch.Path("a"));
  EXPECT_EQ(floor.counts().filesCopied, 3);
  EXPECT_EQ(ReadFile(scratch.Path("a/sub/shared")), "b");
  EXPECT_EQ(ReadFile(scratch.Path("a/sub/only in b")), "2");
  EXPECT_EQ(ReadFile(scratch.Path("b/only in a")), "1");
  EXPECT_TRUE(VerifyCopy(scratch.Path("a"), scratch.Path("b"), true).ok());
}

TEST(FloorSync, RemovesWhatTheSourceLacksWhateverItsKind) {
  TempTree scratch;
  GenerateSmallFileTree(scratch.Path("s"), 300, 5);
  GenerateSmallFileTree(scratch.Path("d"), 300, 5);
  ExtraCounts extras = AddExtraEntries(scratch.Path("d"), 6);
  MakeFolder(scratch.Path("s/name"));
  WriteFile(scratch.Path("s/name/x"), "x");
  WriteFile(scratch.Path("d/name"), "a file where the source has a folder");
  WriteFile(scratch.Path("s/other"), "a file");
  MakeFolder(scratch.Path("d/other"));  // a folder where the source has a file
  WriteFile(scratch.Path("d/other/inside"), "y");

  FloorSync floor;
  floor.RemoveExtras(scratch.Path("s"), scratch.Path("d"));
  EXPECT_EQ(floor.counts().failures, 0);
  EXPECT_EQ(floor.counts().filesRemoved, extras.files + 1);
  EXPECT_EQ(floor.counts().foldersRemoved, extras.folders + 1);
  EXPECT_FALSE(Exists(scratch.Path("d/other")));
  EXPECT_FALSE(Exists(scratch.Path("d/name")));
  ASSERT_EQ(::unlink(scratch.Path("s/name/x").c_str()), 0);
  ASSERT_EQ(::rmdir(scratch.Path("s/name").c_str()), 0);
  ASSERT_EQ(::unlink(scratch.Path("s/other").c_str()), 0);
  EXPECT_TRUE(VerifyCopy(scratch.Path("s"), scratch.Path("d"), true).ok());
}

}  // namespace
}  // namespace vantrel::bench
