// An open descriptor that is closed through the file system that opened it, so that a test
// that injects faults sees every close.
#pragma once

#include <cerrno>
#include <utility>

#include "common/FileSystem.h"

namespace vantrel {

// Owns one descriptor (or none, -1). Closing keeps errno, so a failure can be reported after
// the descriptors of the failed step are released.
class UniqueFd {
 public:
  UniqueFd() = default;
  UniqueFd(FileSystem& fs, int fd) : fs_(&fs), fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fs_(other.fs_), fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fs_ = other.fs_;
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Closes the descriptor, if any, keeping errno.
  void Reset() {
    if (fd_ >= 0) {
      const int saved = errno;
      fs_->Close(fd_);
      errno = saved;
      fd_ = -1;
    }
  }

  // Closes the descriptor and returns close's own result (0, or -1 with errno set).
  int Close() {
    if (fd_ < 0) return 0;
    return fs_->Close(std::exchange(fd_, -1));
  }

 private:
  FileSystem* fs_ = nullptr;
  int fd_ = -1;
};

}  // namespace vantrel
