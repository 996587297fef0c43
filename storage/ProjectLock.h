// One run per project at a time, across processes: the window and vantrel-sync both take this
// lock before a run. It is an flock on a lock file beside the project file, so the kernel
// releases it when its process dies, however it dies.
#pragma once

#include <string>

namespace vantrel {

class ProjectLock {
 public:
  // Locks nothing yet.
  explicit ProjectLock(std::string projectFile);
  ~ProjectLock();  // releases the lock when held
  ProjectLock(const ProjectLock&) = delete;
  ProjectLock& operator=(const ProjectLock&) = delete;

  // The lock file of a project file: its path with ".lock" appended.
  static std::string LockFileFor(const std::string& projectFile);

  // Takes the lock without waiting. Returns false when another run holds it. Throws
  // std::runtime_error when neither the lock file nor, in a folder where it cannot be made, the
  // project file itself can be opened.
  bool TryLock();
  // Releases the lock and removes the lock file; nothing when it is not held.
  void Unlock();
  bool Held() const { return fd_ >= 0; }

 private:
  std::string projectFile_;
  std::string lockFile_;
  int fd_ = -1;
  bool ownFile_ = false;  // fd_ is the lock file (removed on release), not the project file
};

}  // namespace vantrel
