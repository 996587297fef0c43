#include "engine/ResultLogStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/UnnamedFile.h"

namespace vantrel {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kHeaderSize = sizeof(std::uint64_t);

std::uint64_t LengthAt(const char* header) {
  std::uint64_t length;
  std::memcpy(&length, header, kHeaderSize);
  return length;
}

// Moves the whole records at the start of `data` into `lines`; returns the bytes they took.
std::size_t TakeRecords(const char* data, std::size_t size, std::vector<std::string>& lines) {
  std::size_t offset = 0;
  while (size - offset >= kHeaderSize) {
    const std::uint64_t length = LengthAt(data + offset);
    if (length > size - offset - kHeaderSize) break;
    lines.emplace_back(data + offset + kHeaderSize, static_cast<std::size_t>(length));
    offset += kHeaderSize + static_cast<std::size_t>(length);
  }
  return offset;
}

}  // namespace

ResultLogStore::ResultLogStore(std::string directory) : directory_(std::move(directory)) {}

ResultLogStore::~ResultLogStore() { CloseFile(); }

void ResultLogStore::OpenFile() {
  if (!directory_.empty()) {
    fd_ = OpenUnnamedFile(directory_, ".vantrel-log-");
  } else {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && *tmpdir != '\0') fd_ = OpenUnnamedFile(tmpdir, ".vantrel-log-");
    if (fd_ < 0) fd_ = OpenUnnamedFile("/tmp", ".vantrel-log-");
  }
  if (fd_ >= 0) buffer_.reset(new char[kBufferSize]);
}

void ResultLogStore::CloseFile() const {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buffer_.reset();
  buffered_ = 0;
  written_ = 0;
  readUpTo_ = 0;
}

void ResultLogStore::Append(std::string_view line) {
  if (!triedFile_) {
    triedFile_ = true;
    OpenFile();
  }
  ++count_;
  const std::size_t need = kHeaderSize + line.size();
  if (fd_ >= 0 && buffered_ + need > kBufferSize) Flush();
  if (fd_ < 0) {
    cache_.emplace_back(line);
    return;
  }
  const std::uint64_t length = line.size();
  if (need <= kBufferSize) {
    std::memcpy(buffer_.get() + buffered_, &length, kHeaderSize);
    std::memcpy(buffer_.get() + buffered_ + kHeaderSize, line.data(), line.size());
    buffered_ += need;
    return;
  }
  // Too long for the buffer (which Flush() left empty): straight to the file.
  char header[kHeaderSize];
  std::memcpy(header, &length, kHeaderSize);
  if (WriteAllAt(fd_, header, kHeaderSize, written_) &&
      WriteAllAt(fd_, line.data(), line.size(), written_ + kHeaderSize)) {
    written_ += need;
    return;
  }
  FallBackToMemory();
  cache_.emplace_back(line);
}

bool ResultLogStore::Flush() const {
  if (fd_ < 0) return false;
  if (buffered_ == 0) return true;
  if (WriteAllAt(fd_, buffer_.get(), buffered_, written_)) {
    written_ += buffered_;
    buffered_ = 0;
    return true;
  }
  FallBackToMemory();
  return false;
}

void ResultLogStore::FallBackToMemory() const {
  // Bytes past `written_` may hold half a record from the failed write; they are never read.
  ReadNewRecords();
  TakeRecords(buffer_.get(), buffered_, cache_);
  CloseFile();
}

bool ResultLogStore::ReadNewRecords() const {
  std::unique_ptr<char[]> chunk(new char[kBufferSize]);
  while (readUpTo_ < written_) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, written_ - readUpTo_));
    if (!ReadAllAt(fd_, chunk.get(), want, readUpTo_)) return false;
    std::size_t taken = TakeRecords(chunk.get(), want, cache_);
    if (taken == 0) {
      // A record longer than the chunk is read on its own.
      if (want < kHeaderSize) return false;
      const std::uint64_t length = LengthAt(chunk.get());
      if (length > written_ - readUpTo_ - kHeaderSize) return false;
      std::string line(static_cast<std::size_t>(length), '\0');
      if (!ReadAllAt(fd_, line.data(), line.size(), readUpTo_ + kHeaderSize)) return false;
      cache_.push_back(std::move(line));
      taken = kHeaderSize + static_cast<std::size_t>(length);
    }
    readUpTo_ += taken;
  }
  return true;
}

const std::vector<std::string>& ResultLogStore::Lines() const {
  if (fd_ >= 0 && Flush()) ReadNewRecords();
  return cache_;
}

void ResultLogStore::Clear() {
  CloseFile();
  std::vector<std::string>().swap(cache_);
  count_ = 0;
  triedFile_ = false;
}

}  // namespace vantrel
