#include "tests/realdrive/LoopDrive.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/realdrive/Command.h"

namespace vantrel::realdrive {
namespace {

using namespace std::chrono_literals;

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// True while the process exists and is not a zombie; reaps it when it is our child.
bool Alive(pid_t pid) {
  int status;
  if (waitpid(pid, &status, WNOHANG) == pid) return false;
  const std::string stat = ReadWhole("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return false;
  const std::size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'Z';
}

bool WaitUntilGone(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (Alive(pid)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

}  // namespace

const DriveType& TypeOf(DriveKind kind) {
  static const DriveType exfat{
      DriveKind::kExfat, "exFAT", {"mkfs.exfat"}, "mount.exfat-fuse", {}, true, true};
  static const DriveType ntfs{
      DriveKind::kNtfs, "NTFS", {"mkfs.ntfs", "-Q", "-F"}, "ntfs-3g", {}, false, false};
  // fusefat mounts read-only unless told that its writing code may be used.
  static const DriveType fat32{
      DriveKind::kFat32, "FAT32", {"mkfs.vfat", "-F", "32"}, "fusefat", {"-o", "rw+"}, true, true};
  switch (kind) {
    case DriveKind::kExfat:
      return exfat;
    case DriveKind::kNtfs:
      return ntfs;
    case DriveKind::kFat32:
      break;
  }
  return fat32;
}

std::string MissingFacility(const DriveType& type) {
  if (geteuid() != 0) return "not running as root (loop devices and mounts need root)";
  if (access("/dev/loop-control", F_OK) != 0) return "/dev/loop-control is missing";
  if (access("/dev/fuse", F_OK) != 0) return "/dev/fuse is missing";
  for (const std::string& program :
       {std::string("losetup"), std::string("umount"), type.mkfs[0], type.mountProgram}) {
    if (FindProgram(program).empty()) {
      return program + " is not installed (scripts/deps.sh installs it)";
    }
  }
  return "";
}

LoopDrive::LoopDrive(const DriveType& type, int sizeMiB)
    : type_(type), work_(vantrel::test::TempTree::MemoryBase()) {
  // A FUSE driver goes to the background; as the subreaper of its orphans this process can
  // reap it and so tell when it has really ended.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  image_ = work_.Path("image");
  mountPoint_ = work_.Path("mnt");
  work_.MakeFolder("mnt");
  const int fd = open(image_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(sizeMiB) << 20) != 0) {
    throw std::runtime_error("cannot make image " + image_ + ": " + strerror(errno));
  }
  close(fd);
  std::vector<std::string> mkfs = type_.mkfs;
  mkfs.push_back(image_);
  RunChecked(mkfs);
  device_ = Trimmed(RunChecked({"losetup", "-f", "--show", image_}));
}

LoopDrive::~LoopDrive() {
  try {
    Unmount();
  } catch (...) {
  }
  RunCommand({"losetup", "-d", device_});
}

bool LoopDrive::IsMountPoint() const {
  std::istringstream lines(ReadWhole("/proc/self/mountinfo"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point;
    fields >> id >> parent >> numbers >> root >> point;
    if (point == mountPoint_) return true;
  }
  return false;
}

void LoopDrive::Mount(bool readOnly) {
  if (mounted_) return;
  std::vector<std::string> argv{type_.mountProgram};
  if (readOnly) {
    argv.insert(argv.end(), {"-o", "ro"});
  } else {
    argv.insert(argv.end(), type_.rwOptions.begin(), type_.rwOptions.end());
  }
  argv.insert(argv.end(), {device_, mountPoint_});
  RunChecked(argv);
  const auto end = std::chrono::steady_clock::now() + 3s;
  while (!IsMountPoint()) {
    if (std::chrono::steady_clock::now() > end) {
      throw std::runtime_error(type_.mountProgram + " returned but " + mountPoint_ +
                               " is not a mount point");
    }
    std::this_thread::sleep_for(5ms);
  }
  mounted_ = true;
  for (int tries = 0; tries < 200 && (driver_ = DriverPid()) < 0; ++tries) {
    std::this_thread::sleep_for(5ms);
  }
}

void LoopDrive::Unmount() {
  if (!mounted_) return;
  if (RunCommand({"umount", mountPoint_}).status != 0) {
    RunChecked({"umount", "-l", mountPoint_});
  }
  mounted_ = false;
  if (driver_ > 0 && !WaitUntilGone(driver_, 10s)) {
    kill(driver_, SIGKILL);
    WaitUntilGone(driver_, 2s);
  }
  driver_ = -1;
}

void LoopDrive::KillDriver() {
  const pid_t pid = driver_ > 0 ? driver_ : DriverPid();
  if (pid <= 0) throw std::runtime_error("no driver process found for " + mountPoint_);
  kill(pid, SIGKILL);
  WaitUntilGone(pid, 5s);
}

pid_t LoopDrive::DriverPid() const {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return -1;
  pid_t found = -1;
  while (const dirent* entry = readdir(proc)) {
    char* end;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == getpid()) continue;
    const std::string cmdline = ReadWhole("/proc/" + std::string(entry->d_name) + "/cmdline");
    std::size_t start = 0;
    while (start < cmdline.size()) {
      const std::size_t stop = cmdline.find('\0', start);
      const std::size_t length = (stop == std::string::npos ? cmdline.size() : stop) - start;
      if (cmdline.compare(start, length, mountPoint_) == 0 && Alive(static_cast<pid_t>(pid))) {
        found = static_cast<pid_t>(pid);
      }
      start += length + 1;
    }
    if (found > 0) break;
  }
  closedir(proc);
  return found;
}

std::uint64_t LoopDrive::SectorsWritten() const {
  const int fd = open(device_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) {
    throw std::runtime_error("cannot flush " + device_ + ": " + strerror(errno));
  }
  close(fd);
  const std::string name = device_.substr(device_.rfind('/') + 1);
  std::istringstream fields(ReadWhole("/sys/block/" + name + "/stat"));
  std::uint64_t value = 0;
  // reads: ios merges sectors ticks; writes: ios merges sectors
  for (int field = 0; field < 7; ++field) {
    if (!(fields >> value)) throw std::runtime_error("cannot read /sys/block/" + name + "/stat");
  }
  return value;
}

}  // namespace vantrel::realdrive
