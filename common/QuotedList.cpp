#include "common/QuotedList.h"

#include <utility>

namespace vantrel {
namespace {

bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

}  // namespace

std::vector<std::string> SplitQuotedList(std::string_view text, char separator,
                                         UnclosedQuote unclosed) {
  std::vector<std::string> items;
  const std::size_t n = text.size();
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < n && IsBlank(text[i])) ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (text[i] == '"') {
      const std::size_t open = ++i;
      bool closed = false;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        item += text[i++];
      }
      if (!closed && unclosed == UnclosedQuote::kRaw) item.assign(text.substr(open));
    } else {
      const std::size_t start = i;
      while (i < n && !IsBlank(text[i]) && text[i] != separator) ++i;
      item.assign(text.substr(start, i - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (i < n && text[i] == separator) {
      ++i;
      if (i == n) items.emplace_back();
      skipBlanks();
    }
  }
  return items;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
  return SplitQuotedList(text, ',', UnclosedQuote::kUnquoted);
}

std::string JoinCommaText(const std::vector<std::string>& items) {
  if (items.size() == 1 && items[0].empty()) return "\"\"";
  std::string text;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k > 0) text += ',';
    const std::string& item = items[k];
    bool quote = false;
    for (const char c : item) {
      if (IsBlank(c) || c == '"' || c == ',') {
        quote = true;
        break;
      }
    }
    if (!quote) {
      text += item;
      continue;
    }
    text += '"';
    for (const char c : item) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

}  // namespace vantrel
