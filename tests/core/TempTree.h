// Real folder trees in a fresh temporary folder, for tests that exercise the file system.
// Every helper throws std::runtime_error (naming the path and the system's reason) when a
// file-system call fails, so a broken set-up fails the test instead of passing silently.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::test {

// Seconds since the epoch of a date and time in UTC.
inline std::time_t UtcTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return timegm(&tm);
}

[[noreturn]] inline void FailOn(const char* what, const std::string& path) {
  throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

// The same after closing `fd`, with the reason the failed call left.
[[noreturn]] inline void CloseAndFailOn(int fd, const char* what, const std::string& path) {
  const int error = errno;
  close(fd);
  errno = error;
  FailOn(what, path);
}

// Whether a written file gets the asked permission bits: FAT drives cannot store them, so
// there the mode is only the one the file is created with.
enum class ModeBits { kSet, kCreateOnly };

// Creates or replaces the file at the full path `path` with the given contents and mode.
inline void WriteWholeFile(const std::string& path, std::string_view contents, mode_t mode = 0644,
                           ModeBits bits = ModeBits::kSet) {
  const bool set = bits == ModeBits::kSet;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, set ? 0600 : mode);
  if (fd < 0) FailOn("open", path);
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n <= 0) CloseAndFailOn(fd, "write", path);
    done += static_cast<std::size_t>(n);
  }
  if (set && fchmod(fd, mode) != 0) CloseAndFailOn(fd, "fchmod", path);
  if (close(fd) != 0) FailOn("close", path);
}

// Returns the contents of the file at the full path `path`.
inline std::string ReadWholeFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) FailOn("open", path);
  std::string contents;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0) CloseAndFailOn(fd, "read", path);
    if (n == 0) break;
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return contents;
}

class TempTree {
 public:
  // Creates an empty folder below $TMPDIR (or /tmp).
  TempTree() : TempTree(DefaultBase()) {}

  // Creates an empty folder below the folder `base`.
  explicit TempTree(const std::string& base) {
    std::string pattern = base + "/vantrel-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) FailOn("mkdtemp", pattern);
    root_ = pattern;
  }

  // A memory file system when there is one (/dev/shm), else the default base: for trees
  // whose creation a disk file system makes slow.
  static std::string MemoryBase() {
    struct stat st;
    return stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0
               ? "/dev/shm"
               : DefaultBase();
  }

  static std::string DefaultBase() {
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && base[0] == '/' ? base : "/tmp";
  }

  // Removes the folder with everything in it, unwritable folders and deep trees included.
  ~TempTree() { RemoveAll(root_); }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }

  // Removes the entry at the full path `path` with everything in it; nothing when absent.
  static void RemoveAll(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      unlink(path.c_str());
      return;
    }
    RemoveContents(fd);
    close(fd);
    rmdir(path.c_str());
  }

  // The full path of `relative` ('/'-separated); the root itself for an empty text.
  std::string Path(std::string_view relative) const {
    return relative.empty() ? root_ : root_ + "/" + std::string(relative);
  }

  // Creates the folder and its missing parents.
  void MakeFolder(std::string_view relative, mode_t mode = 0755) const {
    std::string path = root_;
    std::size_t start = 0;
    while (start <= relative.size()) {
      const std::size_t end = std::min(relative.find('/', start), relative.size());
      path += "/";
      path += relative.substr(start, end - start);
      if (mkdir(path.c_str(), end == relative.size() ? mode : 0755) != 0 && errno != EEXIST) {
        FailOn("mkdir", path);
      }
      start = end + 1;
    }
    if (chmod(path.c_str(), mode) != 0) FailOn("chmod", path);
  }

  // Creates or replaces a file with the given contents and mode; parents are made.
  void WriteFile(std::string_view relative, std::string_view contents, mode_t mode = 0644) const {
    MakeParent(relative);
    WriteWholeFile(Path(relative), contents, mode);
  }

  // Returns the contents of a file.
  std::string ReadFile(std::string_view relative) const { return ReadWholeFile(Path(relative)); }

  void MakeLink(std::string_view target, std::string_view relative) const {
    MakeParent(relative);
    const std::string path = Path(relative);
    if (symlink(std::string(target).c_str(), path.c_str()) != 0) FailOn("symlink", path);
  }

  void MakeFifo(std::string_view relative) const {
    MakeParent(relative);
    const std::string path = Path(relative);
    if (mkfifo(path.c_str(), 0644) != 0) FailOn("mkfifo", path);
  }

  // Sets access and modification time of the entry itself (a link is not followed).
  void SetTime(std::string_view relative, std::time_t seconds, long nanoseconds = 0) const {
    const std::string path = Path(relative);
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
      FailOn("utimensat", path);
    }
  }

  // lstat of the entry; throws when it does not exist.
  struct stat Stat(std::string_view relative) const {
    const std::string path = Path(relative);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) FailOn("lstat", path);
    return st;
  }

  bool Exists(std::string_view relative) const {
    struct stat st;
    return lstat(Path(relative).c_str(), &st) == 0;
  }

  // Every entry below `relative`, as paths relative to it, sorted; folders end with '/'.
  std::vector<std::string> List(std::string_view relative = {}) const {
    return ListBelow(Path(relative));
  }

  // The same for the folder at the full path `path`.
  static std::vector<std::string> ListBelow(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) FailOn("open", path);
    std::vector<std::string> names;
    Collect(fd, "", names);
    std::sort(names.begin(), names.end());
    return names;
  }

  // The names of one folder in the order the file system lists them.
  std::vector<std::string> ListingOrder(std::string_view relative = {}) const {
    const std::string path = Path(relative);
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) FailOn("opendir", path);
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
      if (!IsDots(entry->d_name)) names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return names;
  }

 private:
  static bool IsDots(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
  }

  void MakeParent(std::string_view relative) const {
    const std::size_t slash = relative.rfind('/');
    if (slash != std::string_view::npos) MakeFolder(relative.substr(0, slash));
  }

  // Descriptor based, so that trees deeper than PATH_MAX can be listed and removed.
  static void Collect(int fd, const std::string& prefix, std::vector<std::string>& names) {
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
      close(fd);
      return;
    }
    while (const dirent* entry = readdir(dir)) {
      if (IsDots(entry->d_name)) continue;
      const std::string name = prefix + entry->d_name;
      const int sub =
          openat(dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) {
        names.push_back(name + "/");
        Collect(sub, name + "/", names);
      } else {
        names.push_back(name);
      }
    }
    closedir(dir);
  }

  static void RemoveContents(int fd) {
    fchmod(fd, 0700);
    const int listing = dup(fd);
    DIR* dir = fdopendir(listing);
    if (dir == nullptr) {
      close(listing);
      return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
      if (!IsDots(entry->d_name)) names.emplace_back(entry->d_name);
    }
    closedir(dir);
    for (const std::string& name : names) {
      const int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) {
        RemoveContents(sub);
        close(sub);
        unlinkat(fd, name.c_str(), AT_REMOVEDIR);
      } else {
        unlinkat(fd, name.c_str(), 0);
      }
    }
  }

  std::string root_;
};

}  // namespace vantrel::test
