#include "engine/ResultLogStore.h"

#include <cstring>
#include <utility>

namespace vantrel {
namespace {

constexpr std::size_t kHeaderSize = sizeof(std::uint64_t);

}  // namespace

ResultLogStore::ResultLogStore(std::string directory)
    : records_(std::move(directory), ".vantrel-log-") {}

void ResultLogStore::Append(std::string_view line) {
  ++count_;
  if (inMemory_) {
    cache_.emplace_back(line);
    return;
  }
  const std::uint64_t length = line.size();
  char header[kHeaderSize];
  std::memcpy(header, &length, kHeaderSize);
  records_.Append(std::string_view(header, kHeaderSize));
  records_.Append(line);
  if (!records_.UsesFile()) {
    // The records are in memory now: as strings they need not be kept twice.
    ReadNewRecords();
    records_.Clear();
    readUpTo_ = 0;
    inMemory_ = true;
  }
}

bool ResultLogStore::ReadNewRecords() const {
  // A record is whole once Append() returns, so only a file that cannot be read back stops
  // this early.
  while (readUpTo_ < records_.size() && cache_.size() < count_) {
    char header[kHeaderSize];
    if (!records_.ReadAt(readUpTo_, kHeaderSize, header)) return false;
    std::uint64_t length;
    std::memcpy(&length, header, kHeaderSize);
    if (length > records_.size() - readUpTo_ - kHeaderSize) return false;
    std::string line(static_cast<std::size_t>(length), '\0');
    if (!records_.ReadAt(readUpTo_ + kHeaderSize, line.size(), line.data())) return false;
    cache_.push_back(std::move(line));
    readUpTo_ += kHeaderSize + length;
  }
  return true;
}

const std::vector<std::string>& ResultLogStore::Lines() const {
  if (!inMemory_) ReadNewRecords();
  return cache_;
}

void ResultLogStore::Clear() {
  records_.Clear();
  std::vector<std::string>().swap(cache_);
  count_ = 0;
  inMemory_ = false;
  readUpTo_ = 0;
}

}  // namespace vantrel
