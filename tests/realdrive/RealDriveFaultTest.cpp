// What goes wrong with sticks: a full drive, a drive pulled in the middle of a run, a drive
// mounted read-only, and FAT's missing permission bits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tests/core/TempTree.h"
#include "tests/realdrive/RealDriveFixture.h"
#include "tests/realdrive/TimedRun.h"

namespace vantrel::realdrive {
namespace {

using namespace std::chrono_literals;
using vantrel::test::UtcTime;

constexpr std::time_t kOlder = 1600000000;
constexpr std::time_t kNewer = 1700000000;
constexpr int kManyFiles = 120;
constexpr int kKillAfterNotifications = 30;

std::string Numbered(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "many/file%03d.txt", i);
  return name;
}

std::vector<std::string> Temporaries(const std::string& folder) {
  std::vector<std::string> found;
  for (const std::string& entry : ListTree(folder)) {
    if (entry.find(".vantrel-") != std::string::npos) found.push_back(entry);
  }
  return found;
}

class RealDriveFault : public RealDriveTest {
 protected:
  // Kills the drive's driver from inside the run, after a number of progress notifications.
  void KillDriverDuringRun() {
    const pid_t driver = drive_->DriverPid();
    ASSERT_GT(driver, 0) << "no driver process found for " << drive_->MountPoint();
    sync_.OnProgress = [driver, notes = 0](TFolderSynchronizer&, const std::string&) mutable {
      if (++notes == kKillAfterNotifications) kill(driver, SIGKILL);
    };
  }
};

TEST_P(RealDriveFault, FullDriveFailsOneFileAndKeepsTheOldCopy) {
  WriteTwo("big.bin", "old contents\n", kOlder);
  WriteOne("big.bin", Pattern(40 << 20, 'B'), kNewer);  // the image holds 32 MiB
  WriteOne("small.txt", "small\n", kNewer);

  const std::vector<std::string> log = Run();
  const std::vector<std::string> failures = Failures(log);
  ASSERT_EQ(failures.size(), 1u) << Shown(log);
  EXPECT_EQ(failures[0].rfind(CannotCopyPrefix("big.bin"), 0), 0u) << failures[0];
  EXPECT_EQ(Copies(log), std::vector<std::string>{CopyLine("small.txt")}) << Shown(log);

  drive_->Remount();
  EXPECT_EQ(ReadFile(Two("big.bin")), "old contents\n");
  EXPECT_EQ(Temporaries(drive_->MountPoint()), std::vector<std::string>{});
}

// A run that lost its drive ended without an error, said so in a few lines, removed nothing.
void ExpectFewLinesAndNoRemoval(const TimedRun& run) {
  EXPECT_EQ(run.error, "");
  EXPECT_LE(Failures(run.log).size(), 3u) << Shown(Failures(run.log));
  EXPECT_EQ(StartingWith(run.log, "Delete"), std::vector<std::string>{});
}

TEST_P(RealDriveFault, DriveOfFolder2PulledMidRunGivesFewLinesAndNoHang) {
  for (int i = 0; i < kManyFiles; ++i) WriteOne(Numbered(i), Pattern(8192, 'm'), kNewer);
  sync_.SetExactCopy(true);
  KillDriverDuringRun();

  const TimedRun run = RunWithLimit(sync_, 30s);
  ASSERT_TRUE(run.finished) << "Run did not return within 30 s of losing the drive";
  ExpectFewLinesAndNoRemoval(run);
  EXPECT_EQ(ListTree(one_).size(), kManyFiles + 1u);  // Folder 1 untouched
}

// The dangerous direction: Folder 1 is on the stick, and an exact copy measures the local
// Folder 2 against it. Losing the stick must not look like Folder 1 lacking everything.
TEST_P(RealDriveFault, DriveOfFolder1PulledMidExactCopyRemovesNothing) {
  MakeFolder(Two("many"));
  for (int i = 0; i < kManyFiles; ++i) {
    WriteTwo(Numbered(i), "edited on the stick\n", kNewer);
    WriteOne(Numbered(i), "older at home\n", kOlder);
  }
  WriteOne("only-at-home.txt", "not on the stick\n", kOlder);
  drive_->Remount();
  sync_.SetFolder1(two_);
  sync_.SetFolder2(one_);
  sync_.SetExactCopy(true);
  KillDriverDuringRun();

  const TimedRun run = RunWithLimit(sync_, 30s);
  ASSERT_TRUE(run.finished) << "Run did not return within 30 s of losing the drive";
  ExpectFewLinesAndNoRemoval(run);
  const std::vector<std::string> home = ListTree(one_);
  EXPECT_EQ(home.size(), kManyFiles + 2u) << "files left at home:" << home.size();
  for (int i = 0; i < kManyFiles; ++i) {
    if (!Exists(One(Numbered(i)))) continue;
    const std::string contents = ReadFile(One(Numbered(i)));
    EXPECT_TRUE(contents == "older at home\n" || contents == "edited on the stick\n")
        << Numbered(i) << " holds \"" << contents << "\"";
  }
}

TEST_P(RealDriveFault, ReadOnlyDriveGivesOneLine) {
  for (int i = 0; i < 20; ++i) WriteOne("file" + std::to_string(i) + ".txt", "x\n", kNewer);
  WriteOne("sub/inner.txt", "inner\n", kNewer);
  WriteOne("sub/deeper/deepest.txt", "deepest\n", kNewer);
  drive_->Unmount();
  drive_->Mount(/*readOnly=*/true);
  const std::string target = drive_->MountPoint() + "/new folder";
  sync_.SetFolder2(target);

  const std::vector<std::string> log = Run();
  EXPECT_EQ(Failures(log), std::vector<std::string>{"Cannot create folder \"" + target +
                                                    "\": Read-only file system"})
      << Shown(log);
  EXPECT_EQ(Copies(log), std::vector<std::string>{});
  EXPECT_FALSE(Exists(target));
}

INSTANTIATE_TEST_SUITE_P(Drives, RealDriveFault,
                         ::testing::Values(DriveKind::kExfat, DriveKind::kNtfs, DriveKind::kFat32),
                         DriveName);

class Fat32Drive : public RealDriveTest {};

TEST_P(Fat32Drive, CopiesArriveAlthoughPermissionBitsCannotBeSet) {
  // The premise: this driver cannot set permission bits at all.
  WriteFile(drive_->MountPoint() + "/probe", "probe\n");
  const int probe = open((drive_->MountPoint() + "/probe").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  const int changed = fchmod(probe, 0600);
  const int error = errno;
  close(probe);
  ASSERT_NE(changed, 0) << "the driver now sets permission bits; the premise is gone";
  EXPECT_EQ(error, ENOSYS);

  local_.WriteFile("one/private.txt", "private\n", 0600);
  local_.WriteFile("one/script.sh", "#!/bin/sh\n", 0755);
  local_.WriteFile("one/plain.txt", "plain\n", 0644);
  for (const char* name : {"private.txt", "script.sh", "plain.txt"}) {
    local_.SetTime(std::string("one/") + name, UtcTime(2022, 2, 2, 2, 2, 3));
  }

  const std::vector<std::string> log = Run();
  EXPECT_EQ(Failures(log), std::vector<std::string>{}) << Shown(log);
  EXPECT_EQ(Copies(log).size(), 3u) << Shown(log);
  drive_->Remount();
  for (const char* name : {"private.txt", "script.sh", "plain.txt"}) {
    ASSERT_TRUE(Exists(Two(name))) << name;
    EXPECT_EQ(ReadFile(Two(name)), ReadFile(One(name))) << name;
    // The time set before the rename into place must survive it.
    EXPECT_EQ(TwoSecondStep(ModificationTime(Two(name))),
              TwoSecondStep(ModificationTime(One(name))))
        << name;
  }
  const std::vector<std::string> rescan = Run();
  EXPECT_EQ(Copies(rescan), std::vector<std::string>{}) << Shown(rescan);
}

INSTANTIATE_TEST_SUITE_P(Drives, Fat32Drive, ::testing::Values(DriveKind::kFat32), DriveName);

}  // namespace
}  // namespace vantrel::realdrive
