// Lists written as one line of text: the masks the user types as comma text, and the fields
// of a value in the value files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// What an item whose quotation mark is never closed stands for.
enum class UnclosedQuote {
  kUnquoted,  // its characters, "" read as one quotation mark (as the user types)
  kRaw,       // everything after the quotation mark, as it stands (as the value files hold it)
};

// Splits `text` into items at `separator`. Blanks (bytes 1 to 32) around an item are dropped
// and also end an unquoted one; an item in quotation marks keeps its blanks and separators,
// with "" standing for one quotation mark. A separator at the very end adds an empty item.
std::vector<std::string> SplitQuotedList(std::string_view text, char separator,
                                         UnclosedQuote unclosed);

// Splits comma text into a list of items (quotes, blanks and empty items as the user types).
std::vector<std::string> SplitCommaText(std::string_view text);

// Joins a list into comma text; splitting the result gives the list back.
std::string JoinCommaText(const std::vector<std::string>& items);

}  // namespace vantrel
