// What one run learns about the file systems it writes to, asked of each file system at most
// once and only when a name makes it matter.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"

namespace vantrel {

// Returns true iff `name` holds what drives with Windows naming rules (FAT, exFAT, NTFS with
// Windows names, SMB shares) refuse: one of " * : < > ? \ |, a control character, or a trailing
// full stop or blank.
bool HasWindowsForbiddenName(std::string_view name);

class DriveTraits {
 public:
  // `fs` must outlive this object.
  explicit DriveTraits(FileSystem& fs);

  // Returns true iff the file system of the folder `dirfd` (on `device`) is known to refuse
  // `name`. A name with no Windows-forbidden part is never refused. Otherwise the first such
  // name on a device is answered by creating and removing one empty probe file whose name
  // holds a ':': copying the data first and learning from the failed rename would cost a whole
  // file's writes on every run.
  bool RefusesName(int dirfd, dev_t device, std::string_view name);
  // Records that `device` refused a name.
  void NoteRefusal(dev_t device);

 private:
  struct Device {
    dev_t device;
    int namesRefused;  // -1 not yet known, 0 no, 1 yes
  };

  Device& For(dev_t device);

  FileSystem& fs_;
  std::vector<Device> devices_;
  std::string probeName_;  // with a ':'
  std::string plainName_;
};

}  // namespace vantrel
