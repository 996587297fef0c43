#include "storage/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/CoreApi.h"
#include "common/FileSystem.h"
#include "common/UniqueFd.h"

namespace vantrel {
namespace {

FileSystem* g_fileSystem = nullptr;

constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
  throw std::runtime_error(std::string(what) + " \"" + path + "\". " + std::strerror(error));
}

[[noreturn]] void CannotOpen(const std::string& path, int error) {
  Fail("Cannot open file", path, error);
}

[[noreturn]] void CannotCreate(const std::string& path, int error) {
  Fail("Cannot create file", path, error);
}

bool NothingThere(int error) { return error == ENOENT || error == ENOTDIR; }

bool WriteAll(FileSystem& fs, int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const long written = fs.Write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

FileSystem* SetStorageFileSystem(FileSystem* fs) {
  FileSystem* previous = g_fileSystem;
  g_fileSystem = fs;
  return previous;
}

FileSystem& StorageFileSystem() {
  return g_fileSystem != nullptr ? *g_fileSystem : *FileSystem::Default();
}

std::string ReadValueFile(const std::string& path) {
  FileSystem& fs = StorageFileSystem();
  const int fd = fs.OpenAt(AT_FDCWD, path.c_str(), kReadFlags, 0);
  if (fd < 0) {
    if (NothingThere(errno)) return {};
    CannotOpen(path, errno);
  }
  UniqueFd file(fs, fd);
  struct stat st {};
  if (fs.Fstat(fd, &st) != 0) CannotOpen(path, errno);
  if (!S_ISREG(st.st_mode)) return {};
  if (st.st_size > static_cast<off_t>(kMaxValueFileSize)) CannotOpen(path, EFBIG);

  std::string bytes;
  char buffer[65536];
  for (;;) {
    const long got = fs.Read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      CannotOpen(path, errno);
    }
    if (got == 0) break;
    // The size seen above may have been a lie (the file grew, or it is a special file system).
    if (bytes.size() + static_cast<std::size_t>(got) > kMaxValueFileSize) CannotOpen(path, EFBIG);
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

void CheckValueFileReadable(const std::string& path) {
  FileSystem& fs = StorageFileSystem();
  const int fd = fs.OpenAt(AT_FDCWD, path.c_str(), kReadFlags, 0);
  if (fd < 0) {
    if (NothingThere(errno)) return;
    CannotOpen(path, errno);
  }
  fs.Close(fd);
}

void ReplaceValueFile(const std::string& path, std::string_view bytes) {
  FileSystem& fs = StorageFileSystem();
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) CannotCreate(path, path.empty() ? ENOENT : EISDIR);

  const int dirFd = fs.OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (dirFd < 0) CannotCreate(path, errno);
  UniqueFd dir(fs, dirFd);

  // A hidden name that the project listing never matches; a clash with a leftover simply
  // draws another.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temporary = "." + name + "." + RandomString(8) + ".tmp";
    fd = fs.OpenAt(dir.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) CannotCreate(path, errno);
  }
  UniqueFd file(fs, fd);

  int error = 0;
  if (!WriteAll(fs, fd, bytes) || fs.Fsync(fd) != 0) error = errno;
  if (file.Close() != 0 && error == 0) error = errno;
  if (error == 0 && fs.RenameAt(dir.get(), temporary.c_str(), dir.get(), name.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    fs.UnlinkAt(dir.get(), temporary.c_str(), 0);
    CannotCreate(path, error);
  }
  // Makes the rename itself durable. The new content is in place whatever this returns, so a
  // failure here is not one of the save.
  fs.Fsync(dir.get());
}

}  // namespace vantrel
