#include "engine/FolderNames.h"

#include <algorithm>
#include <functional>

#include "engine/CaseFolding.h"
#include "engine/DirectoryReader.h"

namespace vantrel {
namespace {

std::size_t HashOf(std::string_view name) { return std::hash<std::string_view>()(name); }

}  // namespace

void FolderNames::Clear() {
  arena_.clear();
  count_ = 0;
  folded_.clear();
  foldedBuilt_ = false;
  // A table grown for one large folder is not swept again for every small one after it.
  if (slots_.size() > 4096) {
    slots_.clear();
  } else {
    std::fill(slots_.begin(), slots_.end(), 0);
  }
}

bool FolderNames::Read(FileSystem& fs, int dirfd, char* buffer, std::size_t size) {
  Clear();
  DirectoryReader reader(fs, dirfd, buffer, size);
  DirEntry entry;
  while (reader.Next(entry)) {
    if (count_ == kMaximum) break;
    Insert(entry.name, entry.type);
  }
  if (reader.error() != 0 || count_ == kMaximum) {
    Clear();
    return false;
  }
  return true;
}

void FolderNames::Insert(std::string_view name, unsigned char type) {
  // Kept at most half full, so that a search ends soon at a free slot.
  if (2 * (count_ + 1) > slots_.size()) {
    std::vector<std::uint32_t> old;
    old.swap(slots_);
    slots_.assign(std::max<std::size_t>(64, 2 * old.size()), 0);
    for (std::uint32_t slot : old) {
      if (slot == 0) continue;
      const std::string_view held(arena_.data() + slot - 1);
      std::size_t i = HashOf(held) & (slots_.size() - 1);
      while (slots_[i] != 0) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = slot;
    }
  }
  const std::uint32_t slot = static_cast<std::uint32_t>(arena_.size() + 1);
  arena_.append(name).push_back('\0');
  arena_.push_back(static_cast<char>(type));
  std::size_t i = HashOf(name) & (slots_.size() - 1);
  while (slots_[i] != 0) i = (i + 1) & (slots_.size() - 1);
  slots_[i] = slot;
  ++count_;
}

int FolderNames::TypeOf(std::string_view name) const {
  if (count_ == 0) return -1;
  std::size_t i = HashOf(name) & (slots_.size() - 1);
  for (; slots_[i] != 0; i = (i + 1) & (slots_.size() - 1)) {
    const char* held = arena_.data() + slots_[i] - 1;
    if (name == held) return static_cast<unsigned char>(held[name.size() + 1]);
  }
  return -1;
}

}  // namespace vantrel

namespace vantrel {

std::string_view FolderNames::CaseVariantOf(std::string_view name) const {
  if (!foldedBuilt_) {
    foldedBuilt_ = true;
    for (std::size_t offset = 0; offset < arena_.size();) {
      const std::string_view held(arena_.data() + offset);
      folded_.try_emplace(FoldCase(held), static_cast<std::uint32_t>(offset));
      offset += held.size() + 2;  // the name, its '\0' and its type
    }
  }
  const auto found = folded_.find(FoldCase(name));
  if (found == folded_.end()) return {};
  const std::string_view held(arena_.data() + found->second);
  return held == name ? std::string_view() : held;
}

}  // namespace vantrel
