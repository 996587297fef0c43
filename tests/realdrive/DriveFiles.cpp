#include "tests/realdrive/DriveFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

#include "tests/core/TempTree.h"

namespace vantrel::realdrive {

using test::FailOn;

void WriteFile(const std::string& path, const std::string& contents) {
  test::WriteWholeFile(path, contents, 0644, test::ModeBits::kCreateOnly);
}

std::string ReadFile(const std::string& path) { return test::ReadWholeFile(path); }

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) FailOn("mkdir", path);
}

void SetTime(const std::string& path, std::time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    FailOn("utimensat", path);
  }
}

std::time_t ModificationTime(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) FailOn("lstat", path);
  return st.st_mtim.tv_sec;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListTree(const std::string& folder) {
  return test::TempTree::ListBelow(folder);
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
