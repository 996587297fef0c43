#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/QuotedList.h"

namespace vantrel {
namespace {

using List = std::vector<std::string>;

TEST(CommaText, WorkedExamples) {
  struct Case {
    std::string typed;
    List list;
    std::string shown;
  };
  const Case cases[] = {
      {"*.txt, *.doc", {"*.txt", "*.doc"}, "*.txt,*.doc"},
      {"   *.txt   ,   *.doc   ", {"*.txt", "*.doc"}, "*.txt,*.doc"},
      {"*.txt *.doc", {"*.txt", "*.doc"}, "*.txt,*.doc"},
      {"*.txt; *.doc", {"*.txt;", "*.doc"}, "*.txt;,*.doc"},
      {"My Files*.txt", {"My", "Files*.txt"}, "My,Files*.txt"},
      {"\"My Files*.txt\"", {"My Files*.txt"}, "\"My Files*.txt\""},
      {"a,,b", {"a", "", "b"}, "a,,b"},
      {"a,", {"a", ""}, "a,"},
      {",", {"", ""}, ","},
      {"\"\"", {""}, "\"\""},
      {"", {}, ""},
      {"  \t ", {}, ""},
  };
  for (const auto& c : cases) {
    const List list = SplitCommaText(c.typed);
    EXPECT_EQ(list, c.list) << "[" << c.typed << "]";
    EXPECT_EQ(JoinCommaText(list), c.shown) << "[" << c.typed << "]";
  }
}

TEST(CommaText, SplitsQuotesAndBlanksAsTyped) {
  const std::pair<std::string, List> cases[] = {
      {"\"a\"\"b\",c", {"a\"b", "c"}},
      {"\"a\"b", {"a", "b"}},  // text right after the closing quote starts a new item
      {"\"open, never closed", {"open, never closed"}},
      {"x,\"", {"x", ""}},
      {"a\tb\nc", {"a", "b", "c"}},
      {"a, ", {"a"}},  // the comma is not the last character, so no empty item follows
      {",a", {"", "a"}},
      {"a,,", {"a", "", ""}},
      {"\xC3\xA4.txt,\xE2\x82\xAC", {"\xC3\xA4.txt", "\xE2\x82\xAC"}},
  };
  for (const auto& [typed, list] : cases) {
    EXPECT_EQ(SplitCommaText(typed), list) << "[" << typed << "]";
  }
}

TEST(CommaText, JoinedTextSplitsBackIntoTheSameList) {
  const List lists[] = {
      {},
      {""},
      {"", ""},
      {"", "", ""},
      {"a", ""},
      {"", "a"},
      {"a", "", "b", ""},
      {" "},
      {"\""},
      {"\"\""},
      {"a\"b", "c,d", "e f", "\tg"},
      {",", ",,"},
      {"\"quoted\"", "x"},
      {"My Files*.txt", "*.doc"},
      {"trailing ", " leading"},
      {"line\r\nbreak"},
      {"\x01", "\x7f"},
      {"größe*.txt", "*.€"},
  };
  for (const auto& list : lists) {
    const std::string text = JoinCommaText(list);
    EXPECT_EQ(SplitCommaText(text), list) << "[" << text << "]";
  }
}

// The value files split their fields at '|' with the same rules; only an unclosed quote reads
// differently. A NUL byte is no blank: it stays in its item and the split goes on past it.
TEST(QuotedList, BarSeparatedFieldsOfTheValueFiles) {
  struct Case {
    std::string text;
    List raw;
    List unquoted;
  };
  const Case cases[] = {
      {"STRING|\"a|b \"\"c\"\"\"", {"STRING", "a|b \"c\""}, {"STRING", "a|b \"c\""}},
      {"STRING|\"open \"\" end", {"STRING", "open \"\" end"}, {"STRING", "open \" end"}},
      {" INTEGER | 5 |", {"INTEGER", "5", ""}, {"INTEGER", "5", ""}},
      {"a,b|c", {"a,b", "c"}, {"a,b", "c"}},
      {std::string("x\0y|z", 5), {std::string("x\0y", 3), "z"}, {std::string("x\0y", 3), "z"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitQuotedList(c.text, '|', UnclosedQuote::kRaw), c.raw) << "[" << c.text << "]";
    EXPECT_EQ(SplitQuotedList(c.text, '|', UnclosedQuote::kUnquoted), c.unquoted)
        << "[" << c.text << "]";
  }
}

}  // namespace
}  // namespace vantrel
