// Comma text: whatever the user types, the list it gives must survive being shown back and
// typed again; and any list must survive joining and splitting.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/QuotedList.h"
#include "tools/fuzz/FuzzCheck.h"

using vantrel::JoinCommaText;
using vantrel::SplitCommaText;
using vantrel::fuzz::Escaped;
using vantrel::fuzz::Fail;

namespace {

// The input read as a typed text.
void CheckTypedText(std::string_view text) {
  const std::vector<std::string> list = SplitCommaText(text);
  const std::string joined = JoinCommaText(list);
  const std::vector<std::string> again = SplitCommaText(joined);
  if (again != list) {
    Fail("split(join(split(x))) != split(x) for x = " + Escaped(text) + ": " + Escaped(list) +
         " joined to " + Escaped(joined) + " splits to " + Escaped(again));
  }
  // The joined form is the canonical one: showing it back does not change it.
  if (JoinCommaText(again) != joined) {
    Fail("join is not stable for x = " + Escaped(text) + ": " + Escaped(joined) + " then " +
         Escaped(JoinCommaText(again)));
  }
}

// The input read as a list of items separated by NUL bytes.
void CheckList(std::string_view bytes) {
  std::vector<std::string> list;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = bytes.find('\0', start);
    list.emplace_back(bytes.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const std::string joined = JoinCommaText(list);
  const std::vector<std::string> back = SplitCommaText(joined);
  if (back != list) {
    Fail("split(join(L)) != L for L = " + Escaped(list) + ": joined to " + Escaped(joined) +
         " splits to " + Escaped(back));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckTypedText(bytes);
  CheckList(bytes);
  return 0;
}
