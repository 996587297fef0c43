#include "engine/DirectoryReader.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace vantrel {
namespace {

using namespace directory_records;

// Shallow levels get room for a folder of a few hundred entries per call; deep ones (only
// reached by unusual trees) stay small so that thousands of levels cost little memory.
constexpr std::size_t kShallowLevels = 8;
constexpr std::size_t kShallowSize = 32 * 1024;
constexpr std::size_t kDeepSize = 4 * 1024;

}  // namespace

bool DirectoryReader::NextInBuffer(DirEntry& entry) {
  while (offset_ < filled_) {
    const char* record = buffer_ + offset_;
    std::uint16_t length;
    std::memcpy(&length, record + kRecLenOffset, sizeof length);
    if (length == 0 || offset_ + length > filled_) {  // a broken record: stop, do not loop
      error_ = EIO;
      ended_ = true;
      filled_ = 0;
      return false;
    }
    offset_ += length;
    const char* name = record + kNameOffset;
    if (IsDotOrDotDot(name)) continue;
    entry.name = name;
    entry.type = static_cast<unsigned char>(record[kTypeOffset]);
    return true;
  }
  return false;
}

bool DirectoryReader::Refill() {
  offset_ = 0;
  filled_ = 0;
  if (ended_) return false;
  const long n = fs_.GetDents(fd_, buffer_, size_);
  if (n <= 0) {
    error_ = n < 0 ? errno : 0;
    ended_ = true;
    return false;
  }
  filled_ = static_cast<std::size_t>(n);
  return true;
}

char* ListingBuffers::Get(std::size_t depth, std::size_t* size) {
  *size = depth < kShallowLevels ? kShallowSize : kDeepSize;
  if (depth >= buffers_.size()) buffers_.resize(depth + 1);
  if (!buffers_[depth]) buffers_[depth] = std::make_unique<char[]>(*size);
  return buffers_[depth].get();
}

}  // namespace vantrel
