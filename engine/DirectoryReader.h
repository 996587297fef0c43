// Streams the entries of one open folder in the order the file system gives them.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/FileSystem.h"

namespace vantrel {

struct DirEntry {
  const char* name;    // NUL-terminated; valid until the next call of Next on the same reader
  unsigned char type;  // DT_REG, DT_DIR, DT_LNK, ... or DT_UNKNOWN
};

// Reads getdents64 records into a caller-owned buffer, one buffer-full at a time; the listing
// is never sorted nor held whole. "." and ".." are left out.
class DirectoryReader {
 public:
  // `fd` must be a folder opened for reading; neither it nor `buffer` is owned.
  DirectoryReader(FileSystem& fs, int fd, char* buffer, std::size_t size)
      : fs_(fs), fd_(fd), buffer_(buffer), size_(size) {}

  // Returns true and fills `entry` while entries remain; false at the end of the listing or
  // when reading fails, after which error() tells which (0 for the normal end).
  bool Next(DirEntry& entry);
  int error() const { return error_; }

 private:
  FileSystem& fs_;
  int fd_;
  char* buffer_;
  std::size_t size_;
  std::size_t filled_ = 0;
  std::size_t offset_ = 0;
  int error_ = 0;
  bool ended_ = false;
};

// One listing buffer per folder level, kept for a whole run so that walking many folders
// allocates nothing. A level's buffer is untouched while deeper levels are listed.
class ListingBuffers {
 public:
  // Returns the buffer for folder level `depth` (0 = a top folder) and stores its size.
  char* Get(std::size_t depth, std::size_t* size);

 private:
  std::vector<std::unique_ptr<char[]>> buffers_;
};

}  // namespace vantrel
