#include "storage/ProjectLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vantrel {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw std::runtime_error("Cannot " + what + " \"" + path + "\". " + std::strerror(error));
}

// 0 when `fd` holds the lock, EWOULDBLOCK when another holds it, else the error.
int LockFd(int fd) { return flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno; }

}  // namespace

ProjectLock::ProjectLock(std::string projectFile)
    : projectFile_(std::move(projectFile)), lockFile_(LockFileFor(projectFile_)) {}

ProjectLock::~ProjectLock() { Unlock(); }

std::string ProjectLock::LockFileFor(const std::string& projectFile) {
  return projectFile + ".lock";
}

bool ProjectLock::TryLock() {
  if (Held()) return true;
  // The holder removes the lock file when it lets go; whoever opened the old file just before
  // that may lock it afterwards and must then try again on the new one.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const int fd = open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      const int error = errno;
      if (error != EACCES && error != EROFS && error != EPERM)
        Fail("open lock file", lockFile_, error);
      // A project in a folder we cannot write to: its own file is locked instead. Nobody can
      // save it there, so nothing replaces the file under the lock.
      const int own = open(projectFile_.c_str(), O_RDONLY | O_CLOEXEC);
      if (own < 0) Fail("open lock file", lockFile_, error);
      const int locked = LockFd(own);
      if (locked != 0) {
        close(own);
        if (locked == EWOULDBLOCK) return false;
        Fail("lock", projectFile_, locked);
      }
      fd_ = own;
      ownFile_ = false;
      return true;
    }
    const int locked = LockFd(fd);
    if (locked != 0) {
      close(fd);
      if (locked == EWOULDBLOCK) return false;
      Fail("lock", lockFile_, locked);
    }
    struct stat held;
    struct stat named;
    if (fstat(fd, &held) == 0 && stat(lockFile_.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      fd_ = fd;
      ownFile_ = true;
      return true;
    }
    close(fd);
  }
  Fail("lock", lockFile_, EAGAIN);
}

void ProjectLock::Unlock() {
  if (!Held()) return;
  // Removed while still locked, so that nobody can lock the file that is going away.
  if (ownFile_) unlink(lockFile_.c_str());
  close(fd_);
  fd_ = -1;
}

}  // namespace vantrel
