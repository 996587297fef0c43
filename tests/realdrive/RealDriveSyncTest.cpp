// Everyday runs against a stick: the first sync, rescans, one change, an exact copy, a
// bidirectional run and file times the drive cannot store.
#include <gtest/gtest.h>

#include "tests/core/TempTree.h"
#include "tests/realdrive/RealDriveFixture.h"

namespace vantrel::realdrive {
namespace {

using vantrel::test::UtcTime;

class RealDriveSync : public RealDriveTest {
 protected:
  // A small tree with odd-second times, so that a two-second drive has to round them.
  void WriteSampleTree() {
    WriteOne("a.txt", "alpha\n", UtcTime(2021, 3, 4, 5, 6, 7));
    WriteOne("empty.txt", "", UtcTime(2019, 12, 31, 23, 59, 59));
    WriteOne("sub/b.bin", Pattern(300 * 1024, 'b'), UtcTime(2022, 7, 8, 9, 10, 11));
    WriteOne("sub/deeper/c.txt", "gamma\n", UtcTime(2023, 1, 2, 3, 4, 4));
    WriteOne("sub/deeper/d name.txt", "delta\n", UtcTime(2024, 2, 29, 12, 0, 1));
  }
  const std::vector<std::string> kSampleFiles = {"a.txt", "empty.txt", "sub/b.bin",
                                                 "sub/deeper/c.txt", "sub/deeper/d name.txt"};
};

TEST_P(RealDriveSync, FirstSyncBringsContentsAndTimes) {
  WriteSampleTree();
  const std::vector<std::string> log = Run();
  EXPECT_EQ(Failures(log), std::vector<std::string>{}) << Shown(log);
  std::vector<std::string> expected;
  for (const std::string& file : kSampleFiles) expected.push_back(CopyLine(file));
  std::vector<std::string> copies = Copies(log);
  std::sort(copies.begin(), copies.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(copies, expected) << Shown(log);

  drive_->Remount();  // what the drive really stored, not what the driver remembers
  EXPECT_EQ(ListTree(two_), ListTree(one_));
  for (const std::string& file : kSampleFiles) {
    if (!Exists(Two(file))) continue;
    EXPECT_EQ(ReadFile(Two(file)), ReadFile(One(file))) << file;
    EXPECT_EQ(TwoSecondStep(ModificationTime(Two(file))),
              TwoSecondStep(ModificationTime(One(file))))
        << file;
  }
}

TEST_P(RealDriveSync, RescanCopiesNothingAlsoAfterRemount) {
  WriteSampleTree();
  const std::vector<std::string> first = Run();
  ASSERT_EQ(Copies(first).size(), kSampleFiles.size()) << Shown(first);

  const std::vector<std::string> rescan = Run();
  EXPECT_EQ(Copies(rescan), std::vector<std::string>{}) << Shown(rescan);
  EXPECT_EQ(Failures(rescan), std::vector<std::string>{}) << Shown(rescan);

  drive_->Remount();
  const std::vector<std::string> afterRemount = Run();
  EXPECT_EQ(Copies(afterRemount), std::vector<std::string>{}) << Shown(afterRemount);
  EXPECT_EQ(Failures(afterRemount), std::vector<std::string>{}) << Shown(afterRemount);
}

TEST_P(RealDriveSync, OneChangedFileGivesExactlyOneCopy) {
  WriteSampleTree();
  Run();
  drive_->Remount();
  WriteOne("sub/deeper/c.txt", "gamma, second edition\n", UtcTime(2023, 1, 2, 3, 14, 5));

  const std::vector<std::string> log = Run();
  EXPECT_EQ(Copies(log), std::vector<std::string>{CopyLine("sub/deeper/c.txt")}) << Shown(log);
  EXPECT_EQ(Failures(log), std::vector<std::string>{}) << Shown(log);
  EXPECT_EQ(ReadFile(Two("sub/deeper/c.txt")), "gamma, second edition\n");
}

TEST_P(RealDriveSync, ExactCopyRemovesTheExtrasFromFolder2) {
  const std::time_t time = UtcTime(2022, 5, 6, 7, 8, 10);
  WriteOne("keep.txt", "keep\n", time);
  WriteOne("folder/new.txt", "new\n", time);
  WriteTwo("keep.txt", "keep\n", time);
  WriteTwo("extra.txt", "extra\n", time);
  MakeFolder(Two("old"));
  MakeFolder(Two("old/deep"));
  WriteTwo("old/inner.txt", "inner\n", time);
  WriteTwo("old/deep/x.txt", "x\n", time);
  MakeFolder(Two("folder"));
  WriteTwo("folder/stale.txt", "stale\n", time);
  sync_.SetExactCopy(true);

  const std::vector<std::string> log = Run();
  EXPECT_EQ(Failures(log), std::vector<std::string>{}) << Shown(log);
  EXPECT_EQ(Copies(log), std::vector<std::string>{CopyLine("folder/new.txt")}) << Shown(log);
  EXPECT_GE(questions_, 1);
  drive_->Remount();
  EXPECT_EQ(ListTree(two_), ListTree(one_));
  EXPECT_EQ(ReadFile(Two("keep.txt")), "keep\n");
}

TEST_P(RealDriveSync, BidirectionalNewerFilesTravelBothWaysThenQuiet) {
  const std::time_t older = UtcTime(2020, 1, 1, 8, 0, 0);
  const std::time_t newer = UtcTime(2020, 1, 1, 9, 0, 1);
  WriteOne("only-one.txt", "from one\n", older);
  WriteOne("newer-in-one.txt", "one wins\n", newer);
  WriteOne("newer-in-two.txt", "one loses\n", older);
  WriteTwo("only-two.txt", "from two\n", older);
  WriteTwo("newer-in-one.txt", "two loses\n", older);
  WriteTwo("newer-in-two.txt", "two wins\n", newer);
  MakeFolder(Two("two-folder"));
  WriteTwo("two-folder/inside.txt", "inside\n", newer);
  sync_.SetCopyMode(0);

  const std::vector<std::string> first = Run();
  EXPECT_EQ(Failures(first), std::vector<std::string>{}) << Shown(first);
  std::vector<std::string> copies = Copies(first);
  std::sort(copies.begin(), copies.end());
  std::vector<std::string> expected = {
      CopyLine("only-one.txt"), CopyLine("newer-in-one.txt"), CopyBackLine("only-two.txt"),
      CopyBackLine("newer-in-two.txt"), CopyBackLine("two-folder/inside.txt")};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(copies, expected) << Shown(first);

  drive_->Remount();
  EXPECT_EQ(ListTree(two_), ListTree(one_));
  for (const char* file : {"only-one.txt", "newer-in-one.txt", "only-two.txt", "newer-in-two.txt",
                           "two-folder/inside.txt"}) {
    EXPECT_EQ(ReadFile(Two(file)), ReadFile(One(file))) << file;
  }
  EXPECT_EQ(ReadFile(One("newer-in-one.txt")), "one wins\n");
  EXPECT_EQ(ReadFile(One("newer-in-two.txt")), "two wins\n");

  const std::vector<std::string> second = Run();
  EXPECT_EQ(Copies(second), std::vector<std::string>{}) << Shown(second);
  EXPECT_EQ(Failures(second), std::vector<std::string>{}) << Shown(second);
}

// exFAT clamps a 1975 time to 1980 and a 2200 time to 2071 (the FAT driver wraps them);
// such a copy must not look newer or older than its source on the next runs.
TEST_P(RealDriveSync, TimesTheDriveCannotStoreNeverTravelBack) {
  const std::time_t early = UtcTime(1975, 6, 1, 12, 0, 0);
  const std::time_t late = UtcTime(2200, 1, 1, 0, 0, 0);
  WriteOne("1975.txt", "seventies\n", early);
  WriteOne("2200.txt", "future\n", late);
  WriteOne("normal.txt", "now\n", UtcTime(2024, 6, 1, 12, 0, 0));
  sync_.SetCopyMode(0);

  const std::vector<std::string> first = Run();
  EXPECT_EQ(Copies(first).size(), 3u) << Shown(first);
  for (int run = 2; run <= 3; ++run) {
    drive_->Remount();
    const std::vector<std::string> log = Run();
    EXPECT_EQ(Copies(log), std::vector<std::string>{}) << "run " << run << Shown(log);
  }
  EXPECT_EQ(ModificationTime(One("1975.txt")), early);
  EXPECT_EQ(ModificationTime(One("2200.txt")), late);
  EXPECT_EQ(ReadFile(Two("1975.txt")), "seventies\n");
  EXPECT_EQ(ReadFile(Two("2200.txt")), "future\n");
}

INSTANTIATE_TEST_SUITE_P(Drives, RealDriveSync,
                         ::testing::Values(DriveKind::kExfat, DriveKind::kNtfs, DriveKind::kFat32),
                         DriveName);

}  // namespace
}  // namespace vantrel::realdrive
