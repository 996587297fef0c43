// Streams the entries of one open folder in the order the file system gives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "common/FileSystem.h"

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
  bool Next(DirEntry& entry) {
    while (!NextInBuffer(entry)) {
      if (!Refill()) return false;
    }
    return true;
  }
  int error() const { return error_; }

  // The two steps of Next, for a caller that must act between them: returns true and fills
  // `entry` while the current buffer-full has entries left.
  bool NextInBuffer(DirEntry& entry);
  // Reads the next buffer-full over the current one, whose names are gone afterwards. Returns
  // false at the end of the listing or when reading fails (see error()).
  bool Refill();
  // Calls `visit(const DirEntry&)` for every entry of the current buffer-full, in order.
  template <typename Visit>
  void VisitBuffer(Visit&& visit) const;

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

namespace directory_records {
// Layout of a linux_dirent64 record: d_ino, d_off, d_reclen, d_type, d_name.
constexpr std::size_t kRecLenOffset = 16;
constexpr std::size_t kTypeOffset = 18;
constexpr std::size_t kNameOffset = 19;

inline bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}
}  // namespace directory_records

template <typename Visit>
void DirectoryReader::VisitBuffer(Visit&& visit) const {
  using namespace directory_records;
  std::size_t offset = 0;
  while (offset < filled_) {
    const char* record = buffer_ + offset;
    std::uint16_t length;
    std::memcpy(&length, record + kRecLenOffset, sizeof length);
    if (length == 0 || offset + length > filled_) return;  // Next reports it
    offset += length;
    DirEntry entry{record + kNameOffset, static_cast<unsigned char>(record[kTypeOffset])};
    if (!IsDotOrDotDot(entry.name)) visit(entry);
  }
}

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
