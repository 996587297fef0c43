// A project whose Folder 1 ("one") lies on the local disk and whose Folder 2 ("two") lies on
// a freshly made and mounted drive of the file system under test. Unidirectional, with
// sub-folders, and answering every removal question with "Yes to all".
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/ModalResult.h"
#include "engine/uVantrelProject.h"
#include "tests/core/TempTree.h"
#include "tests/realdrive/DriveFiles.h"
#include "tests/realdrive/LoopDrive.h"

namespace vantrel::realdrive {

// Lines of a log, one per text line, for readable failure messages.
inline std::string Shown(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n  " + line;
  return lines.empty() ? " (no lines)" : text;
}

inline std::vector<std::string> StartingWith(const std::vector<std::string>& lines,
                                             const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  }
  return found;
}

inline std::vector<std::string> Containing(const std::vector<std::string>& lines,
                                           const std::string& part) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) found.push_back(line);
  }
  return found;
}

inline std::vector<std::string> Copies(const std::vector<std::string>& log) {
  return StartingWith(log, "Copy file ");
}
inline std::vector<std::string> Failures(const std::vector<std::string>& log) {
  return StartingWith(log, "Cannot");
}

// Seconds rounded down to the two-second steps that every one of these drives can hold.
inline std::time_t TwoSecondStep(std::time_t seconds) { return seconds - ((seconds % 2) + 2) % 2; }

class RealDriveTest : public ::testing::TestWithParam<DriveKind> {
 protected:
  static constexpr int kImageMiB = 32;

  RealDriveTest() : sync_(local_.Path("project.VTPrj")) {}

  void SetUp() override {
    setenv("TZ", "UTC", 1);  // the FAT driver stores local time; it inherits this
    tzset();
    const std::string missing = MissingFacility(type());
    if (!missing.empty()) {
      GTEST_SKIP() << "no " << type().name << " drive can be made here: " << missing;
    }
    drive_ = std::make_unique<LoopDrive>(type(), kImageMiB);
    drive_->Mount();
    local_.MakeFolder("one");
    one_ = local_.Path("one");
    two_ = drive_->MountPoint() + "/two";
    MakeFolder(two_);
    sync_.SetFolder1(one_);
    sync_.SetFolder2(two_);
    sync_.SetCopyMode(1);
    sync_.SetUseTrash(false);  // the passes' own texts; the trash tests turn it on
    sync_.SetIncludeSubfolders(true);
    sync_.OnConfirmRemoval = [this](const std::string&, const std::string&) {
      ++questions_;
      return mrYesToAll;
    };
  }

  const DriveType& type() const { return TypeOf(GetParam()); }

  std::vector<std::string> Run() {
    sync_.Run();
    return sync_.ResultLog();
  }

  // Full paths below Folder 1 and Folder 2 as the log writes them.
  std::string One(const std::string& relative) const { return one_ + "/" + relative; }
  std::string Two(const std::string& relative) const { return two_ + "/" + relative; }

  std::string CopyLine(const std::string& relative) const {
    return "Copy file \"" + One(relative) + "\" to \"" + Two(relative) + "\"";
  }
  std::string CopyBackLine(const std::string& relative) const {
    return "Copy file \"" + Two(relative) + "\" to \"" + One(relative) + "\"";
  }
  std::string CannotCopyPrefix(const std::string& relative) const {
    return "Cannot copy file \"" + One(relative) + "\" to \"" + Two(relative) + "\": ";
  }

  // Writes a file in Folder 1 (local) with the given time.
  void WriteOne(const std::string& relative, const std::string& contents, std::time_t time) {
    local_.WriteFile("one/" + relative, contents);
    local_.SetTime("one/" + relative, time);
  }
  // Writes a file in Folder 2 (on the drive); its folder must exist.
  void WriteTwo(const std::string& relative, const std::string& contents, std::time_t time) {
    WriteFile(Two(relative), contents);
    SetTime(Two(relative), time);
  }

  vantrel::test::TempTree local_;
  TFolderSynchronizer sync_;
  std::unique_ptr<LoopDrive> drive_;
  std::string one_;
  std::string two_;
  int questions_ = 0;
};

// Keeps the CTest names readable ("... # GetParam() = exFAT").
inline void PrintTo(DriveKind kind, std::ostream* out) { *out << TypeOf(kind).name; }

inline std::string DriveName(const ::testing::TestParamInfo<DriveKind>& info) {
  return TypeOf(info.param).name;
}

}  // namespace vantrel::realdrive
