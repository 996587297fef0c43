#include "engine/SpillFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/UnnamedFile.h"

namespace vantrel {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

long PreadSome(int fd, char* data, std::size_t size, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

}  // namespace

SpillFile::SpillFile(std::string directory, const char* prefix)
    : directory_(std::move(directory)), prefix_(prefix) {}

SpillFile::~SpillFile() {
  if (fd_ >= 0) ::close(fd_);
}

void SpillFile::Clear() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  triedFile_ = false;
  size_ = written_ = 0;
  buffer_.reset();
  buffered_ = 0;
  std::string().swap(memory_);
  window_.reset();
  windowLength_ = 0;
}

void SpillFile::Append(std::string_view bytes) {
  if (!triedFile_) {
    triedFile_ = true;
    const char* tmpdir = std::getenv("TMPDIR");
    if (!directory_.empty()) {
      fd_ = OpenUnnamedFile(directory_, prefix_);
    } else if (tmpdir != nullptr && *tmpdir != '\0') {
      fd_ = OpenUnnamedFile(tmpdir, prefix_);
    }
    if (fd_ < 0 && directory_.empty()) fd_ = OpenUnnamedFile("/tmp", prefix_);
    if (fd_ >= 0) buffer_.reset(new char[kBufferSize]);
  }
  size_ += bytes.size();
  if (fd_ < 0) {
    memory_.append(bytes);
    return;
  }
  while (!bytes.empty()) {
    if (buffered_ == kBufferSize && !Flush()) {
      memory_.append(bytes);
      return;
    }
    const std::size_t n = std::min(bytes.size(), kBufferSize - buffered_);
    std::memcpy(buffer_.get() + buffered_, bytes.data(), n);
    buffered_ += n;
    bytes.remove_prefix(n);
  }
}

bool SpillFile::Flush() {
  if (buffered_ == 0) return true;
  if (WriteAllAt(fd_, buffer_.get(), buffered_, written_)) {
    written_ += buffered_;
    buffered_ = 0;
    return true;
  }
  FallBackToMemory();
  return false;
}

void SpillFile::FallBackToMemory() {
  // What the file holds comes back into memory, then the buffer's rest.
  std::string all(static_cast<std::size_t>(written_), '\0');
  const bool read = PreadSome(fd_, all.data(), all.size(), 0) == static_cast<long>(all.size());
  all.append(buffer_.get(), buffered_);
  ::close(fd_);
  fd_ = -1;
  buffer_.reset();
  buffered_ = 0;
  window_.reset();
  windowLength_ = 0;
  // A file that cannot be read back loses its bytes; their place is kept so offsets stay right.
  if (!read) std::fill(all.begin(), all.begin() + static_cast<long>(written_), '\0');
  memory_ = std::move(all);
}

bool SpillFile::ReadAt(std::uint64_t offset, std::size_t length, char* out) const {
  if (offset + length > size_) return false;
  if (fd_ < 0) {
    std::memcpy(out, memory_.data() + offset, length);
    return true;
  }
  // The part still in the write buffer is copied from there.
  while (length > 0 && offset < written_) {
    if (offset < windowStart_ || offset >= windowStart_ + windowLength_) {
      if (!window_) window_.reset(new char[kBufferSize]);
      const long n = PreadSome(fd_, window_.get(), kBufferSize, offset);
      if (n <= 0) return false;
      windowStart_ = offset;
      windowLength_ = static_cast<std::size_t>(n);
    }
    const std::size_t from = static_cast<std::size_t>(offset - windowStart_);
    const std::size_t n = std::min(length, windowLength_ - from);
    std::memcpy(out, window_.get() + from, n);
    out += n;
    offset += n;
    length -= n;
  }
  if (length > 0) std::memcpy(out, buffer_.get() + (offset - written_), length);
  return true;
}

}  // namespace vantrel
