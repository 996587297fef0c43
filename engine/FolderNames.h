// The names of one folder with their listed types, read in one go, for the removal pass's
// many "is it there?" questions about the counterpart folder: one listing costs far less than
// one lookup per name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/FileSystem.h"

namespace vantrel {

class FolderNames {
 public:
  // More names than this are not held; the caller looks names up one by one instead.
  static constexpr std::size_t kMaximum = 1 << 16;

  // Reads the whole listing of `dirfd` (a folder opened for reading) through `buffer`.
  // Returns true iff it was read completely and holds at most kMaximum names; otherwise
  // holds nothing.
  bool Read(FileSystem& fs, int dirfd, char* buffer, std::size_t size);
  // Forgets the names, keeping the memory for the next folder.
  void Clear();
  // Returns the listed type of `name` (DT_REG, DT_DIR, ..., DT_UNKNOWN), or -1 when the
  // listing does not hold it.
  int TypeOf(std::string_view name) const;
  // Returns a held name that differs from `name` only in case, or an empty view. The first
  // call after a Read folds every held name once.
  std::string_view CaseVariantOf(std::string_view name) const;

 private:
  void Insert(std::string_view name, unsigned char type);

  std::string arena_;                  // each name followed by '\0' and its type
  std::vector<std::uint32_t> slots_;   // open addressing: 0 is free, else arena offset + 1
  std::size_t count_ = 0;
  mutable std::unordered_map<std::string, std::uint32_t> folded_;  // folded name: arena offset
  mutable bool foldedBuilt_ = false;
};

}  // namespace vantrel
