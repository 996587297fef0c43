#include "tests/realdrive/DriveFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace vantrel::realdrive {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& path) {
  throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

void Collect(const std::string& folder, const std::string& prefix,
             std::vector<std::string>& names) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) Fail("opendir", folder);
  std::vector<std::string> entries;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      entries.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  for (const std::string& name : entries) {
    struct stat st;
    const std::string path = folder + "/" + name;
    if (lstat(path.c_str(), &st) != 0) Fail("lstat", path);
    if (S_ISDIR(st.st_mode)) {
      names.push_back(prefix + name + "/");
      Collect(path, prefix + name + "/", names);
    } else {
      names.push_back(prefix + name);
    }
  }
}

}  // namespace

void WriteFile(const std::string& path, const std::string& contents) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("open", path);
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n <= 0) {
      close(fd);
      Fail("write", path);
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) Fail("close", path);
}

std::string ReadFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("open", path);
  std::string contents;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (n < 0) Fail("read", path);
  return contents;
}

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) Fail("mkdir", path);
}

void SetTime(const std::string& path, std::time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    Fail("utimensat", path);
  }
}

std::time_t ModificationTime(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) Fail("lstat", path);
  return st.st_mtim.tv_sec;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListTree(const std::string& folder) {
  std::vector<std::string> names;
  Collect(folder, "", names);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Pattern(std::size_t size, char seed) {
  std::string data(size, '\0');
  std::uint32_t state = static_cast<unsigned char>(seed) * 2654435761u + 1;
  for (char& c : data) {
    state = state * 1664525u + 1013904223u;
    c = static_cast<char>(state >> 24);
  }
  return data;
}

}  // namespace vantrel::realdrive
