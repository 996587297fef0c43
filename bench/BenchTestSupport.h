// Helpers shared by the harness's own tests: small file operations (their scratch folders are
// TempTrees).
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>

#include "tests/core/TempTree.h"

namespace vantrel::bench::testing {

inline void WriteFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

inline std::string ReadFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return "<missing>";
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

inline void SetTime(const std::string& path, std::time_t seconds, long nanos = 0) {
  struct timespec times[2] = {{seconds, nanos}, {seconds, nanos}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    throw std::runtime_error("cannot set the time of " + path);
}

inline struct stat StatOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) st.st_mode = 0;
  return st;
}

inline bool Exists(const std::string& path) { return StatOf(path).st_mode != 0; }

}  // namespace vantrel::bench::testing
