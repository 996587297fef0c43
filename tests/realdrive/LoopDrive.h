// A USB stick as the tests see it: a small image file formatted with a real file system,
// attached to a loop device and mounted through that file system's FUSE driver.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/core/TempTree.h"

namespace vantrel::realdrive {

enum class DriveKind { kExfat, kNtfs, kFat32 };

struct DriveType {
  DriveKind kind;
  std::string name;                    // also the suffix of the test names
  std::vector<std::string> mkfs;       // the image path is appended
  std::string mountProgram;            // called as PROGRAM [options] DEVICE FOLDER
  std::vector<std::string> rwOptions;  // what makes the driver writable
  bool caseInsensitive;                // "a.txt" and "A.TXT" are one entry
  bool refusesWindowsNames;            // " * : < > ? \ | and control characters
};

const DriveType& TypeOf(DriveKind kind);

// Why a drive of this type cannot be made on this machine; empty when it can.
std::string MissingFacility(const DriveType& type);

class LoopDrive {
 public:
  // Makes and formats the image and attaches it; does not mount. Throws on failure.
  LoopDrive(const DriveType& type, int sizeMiB);
  // Unmounts (lazily when the driver is gone), detaches and removes the image.
  ~LoopDrive();
  LoopDrive(const LoopDrive&) = delete;
  LoopDrive& operator=(const LoopDrive&) = delete;

  // Mounts the device at MountPoint() and checks that the mount is really there, so that a
  // failed mount can never let a test write to the local disk instead.
  void Mount(bool readOnly = false);
  // Unmounts and waits until the driver has written everything and ended.
  void Unmount();
  void Remount() {
    Unmount();
    Mount();
  }

  // Kills the driver process of this mount with SIGKILL, as if the stick were pulled.
  void KillDriver();
  // The driver process of this mount, found by its command line; -1 when there is none.
  pid_t DriverPid() const;

  // Sectors written to the loop device since it was attached, after flushing what is still
  // cached for it. Only honest while unmounted: a mounted driver may still hold data.
  std::uint64_t SectorsWritten() const;

  const std::string& MountPoint() const { return mountPoint_; }
  const std::string& Device() const { return device_; }
  bool Mounted() const { return mounted_; }

 private:
  bool IsMountPoint() const;

  const DriveType& type_;
  vantrel::test::TempTree work_;  // the image and the mount point, in memory where possible
  std::string image_;
  std::string mountPoint_;
  std::string device_;
  bool mounted_ = false;
  pid_t driver_ = -1;
};

}  // namespace vantrel::realdrive
