#include "engine/DriveTraits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vantrel {

bool HasWindowsForbiddenName(std::string_view name) {
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20) return true;
    switch (c) {
      case '"':
      case '*':
      case ':':
      case '<':
      case '>':
      case '?':
      case '\\':
      case '|':
        return true;
      default:
        break;
    }
  }
  return !name.empty() && (name.back() == '.' || name.back() == ' ');
}

DriveTraits::DriveTraits(FileSystem& fs) : fs_(fs) {
  // Our own temporary-name pattern, so that a leftover of a killed run is removed by the next.
  const std::string id = std::to_string(getpid());
  probeName_ = ".vantrel-probe" + id + ":.tmp";
  plainName_ = ".vantrel-probe" + id + ".tmp";
}

DriveTraits::Device& DriveTraits::For(dev_t device) {
  for (Device& drive : devices_) {
    if (drive.device == device) return drive;
  }
  devices_.push_back(Device{device, -1});
  return devices_.back();
}

bool DriveTraits::RefusesName(int dirfd, dev_t device, std::string_view name) {
  if (!HasWindowsForbiddenName(name)) return false;
  Device& drive = For(device);
  if (drive.namesRefused < 0) {
    const int fd = fs_.OpenAt(dirfd, probeName_.c_str(),
                              O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno == EEXIST) {  // EEXIST: a leftover of ours took the name once
      if (fd >= 0) {
        fs_.Close(fd);
        fs_.UnlinkAt(dirfd, probeName_.c_str(), 0);
      }
      drive.namesRefused = 0;
    } else {
      // Refused: for the ':' only if a plain name is taken where it was not.
      const int plain = fs_.OpenAt(dirfd, plainName_.c_str(),
                                   O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (plain < 0 && errno != EEXIST) return false;  // the copy itself will say why it fails
      if (plain >= 0) fs_.Close(plain);
      fs_.UnlinkAt(dirfd, plainName_.c_str(), 0);
      drive.namesRefused = 1;
    }
  }
  return drive.namesRefused == 1;
}

void DriveTraits::NoteRefusal(dev_t device) { For(device).namesRefused = 1; }

}  // namespace vantrel
