#include "engine/UnnamedFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vantrel {
namespace {

// Moves all `size` bytes at `offset` with `transfer` (pread or pwrite).
template <typename Char, typename Transfer>
bool TransferAll(Transfer transfer, int fd, Char* data, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t n = transfer(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace

int OpenUnnamedFile(const std::string& directory, const char* prefix) {
  int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  std::string pattern = directory + "/" + prefix + "XXXXXX";
  fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd >= 0 && ::unlink(pattern.c_str()) != 0) {
    ::close(fd);
    ::unlink(pattern.c_str());
    return -1;
  }
  return fd;
}

bool WriteAllAt(int fd, const char* data, std::size_t size, std::uint64_t offset) {
  return TransferAll(::pwrite, fd, data, size, offset);
}

bool ReadAllAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
  return TransferAll(::pread, fd, data, size, offset);
}

}  // namespace vantrel
