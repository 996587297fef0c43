// Names a stick treats differently from the local disk: characters it refuses, and the case
// that exFAT and FAT ignore when they look a name up.
#include <gtest/gtest.h>

#include <cctype>
#include <iostream>

#include "tests/core/TempTree.h"
#include "tests/realdrive/RealDriveFixture.h"

namespace vantrel::realdrive {
namespace {

using vantrel::test::UtcTime;

const std::string kNotAllowed = "The name is not allowed on this drive";

// Refused by exFAT and FAT, stored as they are by NTFS through ntfs-3g.
const std::vector<std::string>& WindowsRefusedNames() {
  static const std::vector<std::string> names = {
      "quote\".txt", "star*.txt",       "colon:.txt", "less<.txt",       "more>.txt",
      "what?.txt",   "back\\slash.txt", "pipe|.txt",  "control\x01.txt", "tab\there.txt"};
  return names;
}

// Windows refuses these too, but the FUSE drivers store them: either outcome is right as long
// as the line says why.
const std::vector<std::string>& TrailingNames() {
  static const std::vector<std::string> names = {"trailing dot.", "trailing space "};
  return names;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> Lower(std::vector<std::string> names) {
  for (std::string& name : names) name = Lower(name);
  std::sort(names.begin(), names.end());
  return names;
}

class RealDriveNames : public RealDriveTest {
 protected:
  std::string RefusedLine(const std::string& relative) const {
    return CannotCopyPrefix(relative) + kNotAllowed;
  }
  long Count(const std::vector<std::string>& log, const std::string& line) const {
    return std::count(log.begin(), log.end(), line);
  }
};

TEST_P(RealDriveNames, RefusedNamesGetOneClearLineEach) {
  const std::time_t time = UtcTime(2023, 4, 5, 6, 7, 8);
  for (const std::string& name : WindowsRefusedNames()) WriteOne(name, name + "\n", time);
  for (const std::string& name : TrailingNames()) WriteOne(name, name + "\n", time);
  for (const char* inner : {"dir?/one.txt", "dir?/two.txt", "dir?/deeper/three.txt"}) {
    WriteOne(inner, "inside\n", time);
  }
  WriteOne("ok.txt", "fine\n", time);

  const std::vector<std::string> log = Run();
  EXPECT_EQ(Count(log, CopyLine("ok.txt")), 1);
  std::size_t refused = 0;
  if (type().refusesWindowsNames) {
    for (const std::string& name : WindowsRefusedNames()) {
      EXPECT_EQ(Count(log, RefusedLine(name)), 1) << "name " << name;
      EXPECT_FALSE(Exists(Two(name))) << name;
      ++refused;
    }
    const std::string folderLine = "Cannot create folder \"" + Two("dir?") + "\": " + kNotAllowed;
    EXPECT_EQ(Containing(log, "dir?"), std::vector<std::string>{folderLine});
    ++refused;
  } else {
    for (const std::string& name : WindowsRefusedNames()) {
      EXPECT_EQ(Count(log, CopyLine(name)), 1) << "name " << name;
    }
    EXPECT_EQ(ReadFile(Two("dir?/deeper/three.txt")), "inside\n");
  }
  for (const std::string& name : TrailingNames()) {
    if (Count(log, RefusedLine(name)) == 1) {
      ++refused;
    } else {
      EXPECT_EQ(Count(log, CopyLine(name)), 1) << "name \"" << name << "\"";
    }
  }
  EXPECT_EQ(Failures(log).size(), refused);

  if (HasFailure()) std::cout << "The run wrote:" << Shown(log) << "\n";
  // Whatever arrived arrived whole.
  for (const std::string& name : ListTree(two_)) {
    if (name.back() != '/') {
      EXPECT_EQ(ReadFile(Two(name)), ReadFile(One(name))) << name;
    }
  }
}

TEST_P(RealDriveNames, CasePairNeverMergesSilently) {
  const std::time_t time = UtcTime(2023, 4, 5, 6, 7, 8);
  WriteOne("Case.txt", "the one spelt Case.txt\n", time);
  WriteOne("CASE.TXT", "the one spelt CASE.TXT\n", time);
  const std::vector<std::string> order = local_.ListingOrder("one");
  ASSERT_EQ(order.size(), 2u);
  const std::string& first = order[0];
  const std::string& second = order[1];

  const std::vector<std::string> log = Run();
  if (!type().caseInsensitive) {
    EXPECT_EQ(Failures(log), std::vector<std::string>{}) << Shown(log);
    EXPECT_EQ(ListTree(two_), ListTree(one_));
    EXPECT_EQ(ReadFile(Two(second)), ReadFile(One(second)));
    return;
  }
  EXPECT_EQ(Copies(log), std::vector<std::string>{CopyLine(first)}) << Shown(log);
  const std::vector<std::string> failures = Failures(log);
  ASSERT_EQ(failures.size(), 1u) << Shown(log);
  const std::string prefix = CannotCopyPrefix(second);
  EXPECT_EQ(failures[0].compare(0, prefix.size(), prefix), 0) << failures[0];
  EXPECT_NE(failures[0].find(first, prefix.size()), std::string::npos)
      << "the reason should name \"" << first << "\": " << failures[0];

  drive_->Remount();
  EXPECT_EQ(ListTree(two_), std::vector<std::string>{first});
  EXPECT_EQ(ReadFile(Two(first)), ReadFile(One(first)));

  const std::vector<std::string> rescan = Run();
  EXPECT_EQ(Copies(rescan), std::vector<std::string>{}) << Shown(rescan);
  EXPECT_EQ(Failures(rescan), failures) << Shown(rescan);
}

TEST_P(RealDriveNames, CaseOnlyRenameSurvivesAnExactCopy) {
  const std::time_t time = UtcTime(2023, 4, 5, 6, 7, 8);
  WriteOne("Report.txt", Pattern(64 * 1024, 'r'), time);
  WriteOne("Photos/a.jpg", Pattern(32 * 1024, 'a'), time);
  WriteOne("Photos/b.jpg", Pattern(32 * 1024, 'b'), time);
  sync_.SetExactCopy(true);
  const std::vector<std::string> first = Run();
  ASSERT_EQ(Copies(first).size(), 3u) << Shown(first);

  ASSERT_EQ(rename(One("Report.txt").c_str(), One("report.txt").c_str()), 0);
  ASSERT_EQ(rename(One("Photos").c_str(), One("photos").c_str()), 0);
  drive_->Remount();
  const std::vector<std::string> log = Run();
  EXPECT_EQ(Failures(log), std::vector<std::string>{}) << Shown(log);

  drive_->Remount();
  const std::vector<std::string> held = ListTree(two_);
  if (!type().caseInsensitive) {
    EXPECT_EQ(held, ListTree(one_));
  } else {
    EXPECT_EQ(Lower(held), ListTree(one_)) << "Folder 2 holds:" << Shown(held);
    if (held != ListTree(one_)) std::cout << "Folder 2 keeps the old case:" << Shown(held) << "\n";
  }
  for (const std::string& name : held) {
    if (name.back() != '/') {
      EXPECT_EQ(ReadFile(Two(name)), ReadFile(One(Lower(name)))) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Drives, RealDriveNames,
                         ::testing::Values(DriveKind::kExfat, DriveKind::kNtfs, DriveKind::kFat32),
                         DriveName);

// Drives that refuse names: a refused file must not be written again on every rescan.
class RealDriveRefusing : public RealDriveNames {
 protected:
  // Unmounts so that the driver has written everything, reads the counter, mounts again.
  std::uint64_t SectorsWrittenSoFar() {
    drive_->Unmount();
    const std::uint64_t sectors = drive_->SectorsWritten();
    drive_->Mount();
    return sectors;
  }
};

TEST_P(RealDriveRefusing, RescanWritesNothingForARefusedName) {
  constexpr std::uint64_t kMiBSectors = (1u << 20) / 512;
  const std::string refused = "video: part 1.bin";
  const std::time_t time = UtcTime(2023, 4, 5, 6, 7, 8);
  WriteOne(refused, Pattern(4 << 20, 'v'), time);
  WriteOne("plain.bin", Pattern(1 << 20, 'p'), time);

  const std::uint64_t before = SectorsWrittenSoFar();
  const std::vector<std::string> first = Run();
  const std::uint64_t afterFirst = SectorsWrittenSoFar();
  const std::vector<std::string> second = Run();
  const std::uint64_t afterSecond = SectorsWrittenSoFar();

  EXPECT_EQ(Failures(first), std::vector<std::string>{RefusedLine(refused)}) << Shown(first);
  EXPECT_EQ(Failures(second), std::vector<std::string>{RefusedLine(refused)}) << Shown(second);
  EXPECT_EQ(Copies(second), std::vector<std::string>{}) << Shown(second);
  // The 1 MiB of plain.bin shows that the counter sees the data the engine writes.
  EXPECT_GE(afterFirst - before, kMiBSectors) << "first run wrote " << afterFirst - before;
  EXPECT_LT(afterSecond - afterFirst, kMiBSectors)
      << "the second run wrote " << (afterSecond - afterFirst) / 2
      << " KiB; the refused file holds 4096 KiB";
}

INSTANTIATE_TEST_SUITE_P(Drives, RealDriveRefusing,
                         ::testing::Values(DriveKind::kExfat, DriveKind::kFat32), DriveName);

}  // namespace
}  // namespace vantrel::realdrive
