// Case-insensitive drives (FAT, exFAT, ext4 folders with the casefold attribute) take two
// names that differ only in case for one name; these helpers let the passes see it coming.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Returns `name` with every letter in lower case: ASCII always, other letters of UTF-8 text as
// the C.UTF-8 character classes say. Bytes that are not UTF-8 are kept as they are.
std::string FoldCase(std::string_view name);

// Returns `name` with the case of its letters swapped, or an empty text when it holds no
// letter whose case can be swapped.
std::string SwapCase(std::string_view name);

}  // namespace vantrel
