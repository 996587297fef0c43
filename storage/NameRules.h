// How the store and the INI document compare and keep names.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Returns the name with the ASCII letters A-Z turned into a-z; two names compare equal without
// regard to case exactly when their folded forms are equal, and folded forms sort in the
// store's name order. Other bytes (UTF-8 included) are kept as they are.
std::string FoldName(std::string_view name);

// Returns the first 32 characters of the name, counting UTF-8 code points so that no character
// is cut in two.
std::string KeepName(std::string_view name);

// Returns the text without leading and trailing bytes of code 0 to 32.
std::string_view TrimControls(std::string_view text);

}  // namespace vantrel
