#include "bench/FloorSync.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace vantrel::bench {
namespace {

constexpr std::size_t kListingBuffer = 64 * 1024;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Enough to name a destination folder and to make files in it; cannot be listed.
constexpr int kPathFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The fields of one linux_dirent64 record, read at their fixed offsets.
struct Entry {
  unsigned short length;
  unsigned char type;
  const char* name;
};

Entry ReadEntry(const char* record) {
  Entry e;
  std::memcpy(&e.length, record + 16, sizeof e.length);
  e.type = static_cast<unsigned char>(record[18]);
  e.name = record + 19;
  return e;
}

bool IsDots(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

long GetDents(int fd, char* buffer) {
  return ::syscall(SYS_getdents64, fd, buffer, kListingBuffer);
}

// Calls `visit` with every entry of the folder `fd` but "." and "..", listed into `buffer`.
// Returns false when the listing fails.
template <typename Visit>
bool ForEachEntry(int fd, char* buffer, Visit visit) {
  long size;
  while ((size = GetDents(fd, buffer)) > 0) {
    for (long offset = 0; offset < size;) {
      const Entry e = ReadEntry(buffer + offset);
      offset += e.length;
      if (!IsDots(e.name)) visit(e);
    }
  }
  return size == 0;
}

// The stamps compare at two-second resolution, as the passes do.
bool Newer(const struct stat& a, const struct stat& b) {
  return (a.st_mtim.tv_sec >> 1) > (b.st_mtim.tv_sec >> 1);
}

}  // namespace

// One folder of the destination side, made on first use so that folders without a copied file
// are never created. `name` lives in the parent level's listing buffer.
struct FloorSync::Level {
  Level* parent;
  const char* name;
  int fd;  // -1 while the folder does not exist
};

namespace {

bool EnsureLevel(FloorSync::Level* level);

}  // namespace

FloorSync::FloorSync() = default;
FloorSync::~FloorSync() = default;

char* FloorSync::Buffer(std::size_t depth) {
  while (buffers_.size() <= depth) buffers_.emplace_back(kListingBuffer);
  return buffers_[depth].data();
}

void FloorSync::Unidirectional(const std::string& source, const std::string& destination) {
  int sourceFd = ::open(source.c_str(), kFolderFlags);
  if (sourceFd < 0) throw std::runtime_error("cannot open folder '" + source + "'");
  for (std::size_t slash = destination.find('/', 1); slash != std::string::npos;
       slash = destination.find('/', slash + 1))
    ::mkdir(destination.substr(0, slash).c_str(), 0755);  // the missing parents, as Run does
  if (::mkdir(destination.c_str(), 0755) != 0 && errno != EEXIST) {
    ::close(sourceFd);
    throw std::runtime_error("cannot create folder '" + destination + "'");
  }
  Level root{nullptr, destination.c_str(), ::open(destination.c_str(), kPathFlags)};
  if (root.fd < 0) {
    ::close(sourceFd);
    throw std::runtime_error("cannot open folder '" + destination + "'");
  }
  CopyLevel(sourceFd, &root, 0);
  ::close(root.fd);
  ::close(sourceFd);
}

void FloorSync::CopyLevel(int sourceFd, Level* level, std::size_t depth) {
  const bool listed = ForEachEntry(sourceFd, Buffer(depth), [&](const Entry& e) {
    struct stat st;
    bool haveStat = false;
    unsigned char type = e.type;
    if (type == DT_UNKNOWN) {
      if (::fstatat(sourceFd, e.name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        ++counts_.failures;
        return;
      }
      haveStat = true;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      int child = ::openat(sourceFd, e.name, kFolderFlags);
      if (child < 0) {
        ++counts_.failures;
        return;
      }
      Level sub{level, e.name, level->fd >= 0 ? ::openat(level->fd, e.name, kPathFlags) : -1};
      CopyLevel(child, &sub, depth + 1);
      if (sub.fd >= 0) ::close(sub.fd);
      ::close(child);
      return;
    }
    if (type != DT_REG) return;
    ++counts_.filesLooked;
    if (!haveStat && ::fstatat(sourceFd, e.name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ++counts_.failures;
      return;
    }
    if (level->fd >= 0) {
      struct stat dt;
      if (::fstatat(level->fd, e.name, &dt, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(dt.st_mode) &&
          !Newer(st, dt))
        return;
    }
    if (CopyFile(sourceFd, level, e.name, st))
      ++counts_.filesCopied;
    else
      ++counts_.failures;
  });
  if (!listed) ++counts_.failures;
}

namespace {

bool EnsureLevel(FloorSync::Level* level) {
  if (level->fd >= 0) return true;
  if (level->parent == nullptr || !EnsureLevel(level->parent)) return false;
  if (::mkdirat(level->parent->fd, level->name, 0755) != 0 && errno != EEXIST) return false;
  level->fd = ::openat(level->parent->fd, level->name, kPathFlags);
  return level->fd >= 0;
}

}  // namespace

bool FloorSync::CopyFile(int sourceFd, Level* level, const char* name, const struct stat& st) {
  if (!EnsureLevel(level)) return false;
  int in = ::openat(sourceFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return false;
  char temporary[40];
  std::snprintf(temporary, sizeof temporary, ".floor~%lu", ++temporaryNumber_);
  int out = ::openat(level->fd, temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  bool copied = false;
  if (!cloneRefused_) {
    if (::ioctl(out, FICLONE, in) == 0)
      copied = true;
    else
      cloneRefused_ = true;  // one refusal stands for the whole pair of file systems
  }
  off_t left = st.st_size;
  if (!copied && !rangeRefused_) {
    while (left > 0) {
      ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(left), 0);
      if (n < 0) {
        if (left == st.st_size &&
            (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
          rangeRefused_ = true;
        } else {
          ok = false;
        }
        break;
      }
      if (n == 0) break;  // the source shrank while being copied
      left -= n;
    }
    copied = ok && !rangeRefused_;
  }
  if (!copied && ok) {
    copyBuffer_.resize(1024 * 1024);
    ssize_t n;
    while ((n = ::read(in, copyBuffer_.data(), copyBuffer_.size())) > 0) {
      for (ssize_t done = 0; done < n;) {
        ssize_t w = ::write(out, copyBuffer_.data() + done, static_cast<std::size_t>(n - done));
        if (w < 0) {
          ok = false;
          break;
        }
        done += w;
      }
      if (!ok) break;
    }
    if (n < 0) ok = false;
  }
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  ok = ok && ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
  ok = (::close(out) == 0) && ok;
  ::close(in);
  if (ok && ::renameat(level->fd, temporary, level->fd, name) == 0) return true;
  ::unlinkat(level->fd, temporary, 0);
  return false;
}

void FloorSync::RemoveExtras(const std::string& source, const std::string& destination) {
  int sourceFd = ::open(source.c_str(), kPathFlags);
  int destinationFd = ::open(destination.c_str(), kFolderFlags);
  if (sourceFd < 0 || destinationFd < 0) {
    if (sourceFd >= 0) ::close(sourceFd);
    if (destinationFd >= 0) ::close(destinationFd);
    throw std::runtime_error("cannot open '" + source + "' and '" + destination + "'");
  }
  CleanLevel(sourceFd, destinationFd, 0);
  ::close(destinationFd);
  ::close(sourceFd);
}

void FloorSync::CleanLevel(int sourceFd, int destinationFd, std::size_t depth) {
  const bool listed = ForEachEntry(destinationFd, Buffer(depth), [&](const Entry& e) {
    bool folder = e.type == DT_DIR;
    if (e.type == DT_UNKNOWN) {
      struct stat dt;
      if (::fstatat(destinationFd, e.name, &dt, AT_SYMLINK_NOFOLLOW) != 0) {
        ++counts_.failures;
        return;
      }
      folder = S_ISDIR(dt.st_mode);
    }
    struct stat st;
    bool present = ::fstatat(sourceFd, e.name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (folder) {
      if (present && S_ISDIR(st.st_mode)) {
        int sourceChild = ::openat(sourceFd, e.name, kPathFlags);
        int destinationChild = ::openat(destinationFd, e.name, kFolderFlags);
        if (sourceChild >= 0 && destinationChild >= 0)
          CleanLevel(sourceChild, destinationChild, depth + 1);
        else
          ++counts_.failures;
        if (sourceChild >= 0) ::close(sourceChild);
        if (destinationChild >= 0) ::close(destinationChild);
      } else {
        if (!RemoveTree(destinationFd, e.name, depth + 1)) ++counts_.failures;
        ++counts_.foldersRemoved;
      }
    } else {
      ++counts_.filesLooked;
      if (present && S_ISREG(st.st_mode)) return;
      if (::unlinkat(destinationFd, e.name, 0) != 0) ++counts_.failures;
      ++counts_.filesRemoved;
    }
  });
  if (!listed) ++counts_.failures;
}

bool FloorSync::RemoveTree(int parentFd, const char* name, std::size_t depth) {
  int fd = ::openat(parentFd, name, kFolderFlags);
  if (fd < 0) return false;
  bool ok = true;
  const bool listed = ForEachEntry(fd, Buffer(depth), [&](const Entry& e) {
    bool folder = e.type == DT_DIR;
    if (e.type == DT_UNKNOWN) {
      struct stat st;
      folder = ::fstatat(fd, e.name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    if (folder)
      ok = RemoveTree(fd, e.name, depth + 1) && ok;
    else
      ok = ::unlinkat(fd, e.name, 0) == 0 && ok;
  });
  ::close(fd);
  return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 && ok && listed;
}

}  // namespace vantrel::bench
