// Bytes appended by one writer and read back at any offset, kept in an unnamed temporary file
// so that a long list costs the process only two small buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

// When no temporary file can be made, or writing to it fails, the bytes are kept in memory
// instead; nothing is lost either way. Not thread-safe.
class SpillFile {
 public:
  // `directory` is where the file is made; empty means $TMPDIR, else /tmp. Where a file
  // system cannot make unnamed files, the file is named `prefix` plus random letters for the
  // moment between its creation and its removal.
  explicit SpillFile(std::string directory = std::string(), const char* prefix = ".vantrel-plan-");
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  void Append(std::string_view bytes);
  // Drops everything and releases the file.
  void Clear();
  std::uint64_t size() const { return size_; }

  // Copies `length` bytes at `offset` (which must lie within size()) to `out`. Reads go
  // through a window, so reading neighbouring offsets costs few system calls. Returns false
  // when the file cannot be read back.
  bool ReadAt(std::uint64_t offset, std::size_t length, char* out) const;

  bool UsesFile() const { return fd_ >= 0; }

 private:
  bool Flush();
  void FallBackToMemory();

  std::string directory_;
  const char* prefix_;
  bool triedFile_ = false;
  int fd_ = -1;
  std::uint64_t size_ = 0;     // bytes appended
  std::uint64_t written_ = 0;  // bytes in the file
  std::unique_ptr<char[]> buffer_;
  std::size_t buffered_ = 0;
  std::string memory_;  // everything, when there is no file
  mutable std::unique_ptr<char[]> window_;
  mutable std::uint64_t windowStart_ = 0;
  mutable std::size_t windowLength_ = 0;
};

}  // namespace vantrel
