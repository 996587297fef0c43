#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/MessageHook.h"
#include "storage/FloatText.h"
#include "storage/IniDocument.h"
#include "storage/inisaver.h"
#include "tests/core/StorageTestSupport.h"

namespace vantrel {
namespace {

using storetest::ErrorOf;
using Strings = std::vector<std::string>;

// One line per entry, folders indented below their line, so a whole tree compares as text.
std::string Dump(const TBaseDataSaver& store, const std::string& indent = "") {
  std::string out;
  for (int i = 0; i < store.Count(); ++i) {
    const std::string name = store.EntryName(i);
    out += indent + name + "=";
    switch (store.EntryType(i)) {
      case TDataType::dtInteger:
        out += "int " + std::to_string(store.GetInteger(name, 0)) + "\n";
        break;
      case TDataType::dtFloat: {
        std::ostringstream number;
        number.precision(17);
        number << store.GetFloat(name, 0);
        out += "float " + number.str() + "\n";
        break;
      }
      case TDataType::dtString:
        out += "str <" + store.GetString(name, "") + ">\n";
        break;
      case TDataType::dtStringList: {
        Strings items;
        store.GetStringList(name, items);
        out += "list";
        for (const auto& item : items) out += " <" + item + ">";
        out += "\n";
        break;
      }
      case TDataType::dtFolder:
        out += "folder\n" + Dump(*store.FindFolder(name), indent + "  ");
        break;
    }
  }
  return out;
}

std::string DumpOfText(const std::string& text) {
  tinidatasaver store;
  std::istringstream in(text);
  store.LoadFromStream(in);
  return Dump(store);
}

std::string TextOf(tinidatasaver& store) {
  std::ostringstream out;
  store.SaveToStream(out);
  return out.str();
}

// Collects the messages the storage shows instead of printing them.
class MessageCapture {
 public:
  MessageCapture()
      : previous_(SetMessageHook([this](const std::string& m) { messages_.push_back(m); })) {}
  ~MessageCapture() { SetMessageHook(previous_); }
  const Strings& messages() const { return messages_; }

 private:
  Strings messages_;
  MessageHook previous_;
};

const char kExampleText[] =
    "[Root]\r\n"
    "label=STRING|\"Say \"\"hi\"\"\"\r\n"
    "limit=INTEGER|-5\r\n"
    "names=STRINGLIST\r\n"
    "view=FOLDER\r\n"
    "\r\n"
    "[\\names]\r\n"
    "s1=alpha\r\n"
    "s2=beta gamma\r\n"
    "\r\n"
    "[view]\r\n"
    "tags=STRINGLIST\r\n"
    "zoom=FLOAT|1.5\r\n"
    "\r\n"
    "[view\\tags]\r\n"
    "s1=x\r\n"
    "\r\n";

void FillExample(TBaseDataSaver& store) {
  // Written out of order on purpose: the file lists entries by name.
  store.WriteFloat("view\\zoom", 1.5);
  store.WriteStringList("names", {"alpha", "beta gamma"});
  store.WriteString("label", "Say \"hi\"");
  store.WriteStringList("view\\tags", {"x"});
  store.WriteInteger("limit", -5);
}

TEST(IniSaver, WritesTheExampleStoreByteForByte) {
  test::TempTree folder;
  tinidatasaver store;
  FillExample(store);
  store.SetFileName(folder.Path("example.ini"));
  EXPECT_TRUE(store.SaveToFile());
  EXPECT_EQ(storetest::ReadBytes(folder.Path("example.ini")), kExampleText);
  EXPECT_EQ(TextOf(store), kExampleText);

  tinidatasaver loaded;
  loaded.SetFileName(folder.Path("example.ini"));
  EXPECT_TRUE(loaded.LoadFromFile());
  EXPECT_EQ(Dump(loaded), Dump(store));
  EXPECT_EQ(Dump(loaded),
            "label=str <Say \"hi\">\n"
            "limit=int -5\n"
            "names=list <alpha> <beta gamma>\n"
            "view=folder\n"
            "  tags=list <x>\n"
            "  zoom=float 1.5\n");
  EXPECT_EQ(TextOf(loaded), kExampleText);
}

TEST(IniSaver, EmptyStoreEmptyListAndEmptyFolder) {
  tinidatasaver empty;
  EXPECT_EQ(TextOf(empty), "");

  tinidatasaver store;
  store.WriteStringList("none", {});
  store.AddFolder("hollow");
  const std::string text = TextOf(store);
  EXPECT_EQ(text, "[Root]\r\nhollow=FOLDER\r\nnone=STRINGLIST\r\n\r\n");
  EXPECT_EQ(DumpOfText(text), "hollow=folder\nnone=list\n");
}

TEST(IniSaver, TextsComeBackUnchanged) {
  const std::string texts[] = {
      "",        "\"",       "\"\"quoted\"\"", "a|b|c", "  leading and trailing  ", "NONE",
      "tab\tin", "STRING|x", "[Root]",         "=;",    "\xC3\xA9t\xC3\xA9",        "\x01\x1F"};
  for (const auto& text : texts) {
    tinidatasaver store;
    store.WriteString("t", text);
    const std::string saved = TextOf(store);
    tinidatasaver loaded;
    std::istringstream in(saved);
    EXPECT_TRUE(loaded.LoadFromStream(in));
    EXPECT_EQ(loaded.ReadString("t", "(missing)"), text) << saved;
  }
}

TEST(IniSaver, ListItemsLoseOuterBlanksOnly) {
  tinidatasaver store;
  store.WriteStringList("l", {"  inner  blanks \t", "\"q\"", "a=b", ";not a comment", ""});
  EXPECT_EQ(DumpOfText(TextOf(store)),
            "l=list <inner  blanks> <\"q\"> <a=b> <;not a comment> <>\n");
}

TEST(FloatText, FormatsFifteenSignificantDigits) {
  const struct {
    double value;
    const char* dot;
    const char* comma;
  } cases[] = {
      {0, "0", "0"},
      {1.5, "1.5", "1,5"},
      {-5, "-5", "-5"},
      {100, "100", "100"},
      {1e20, "1E20", "1E20"},
      {1e-7, "1E-7", "1E-7"},
      {1.5e-7, "1.5E-7", "1,5E-7"},
      {0.00001, "0.00001", "0,00001"},
      {0.000012345, "0.000012345", "0,000012345"},
      {0.1, "0.1", "0,1"},
      {1.0 / 3, "0.333333333333333", "0,333333333333333"},
      {123456789012345.0, "123456789012345", "123456789012345"},
      {1234567890123456.0, "1.23456789012346E15", "1,23456789012346E15"},
      {999999999999999.9, "1E15", "1E15"},
      {-2.5e300, "-2.5E300", "-2,5E300"},
      {std::numeric_limits<double>::infinity(), "INF", "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF", "-INF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatFloat(c.value, "."), c.dot);
    EXPECT_EQ(FormatFloat(c.value, ","), c.comma);
    // What is written reads back as the same 15-digit value.
    const auto back = ParseFloat(c.comma, ",");
    ASSERT_TRUE(back.has_value()) << c.comma;
    EXPECT_EQ(FormatFloat(*back, "."), c.dot);
  }
  EXPECT_EQ(FormatFloat(std::nan(""), "."), "NAN");
  EXPECT_TRUE(std::isnan(*ParseFloat("NAN", ".")));
}

TEST(FloatText, ParsesOnlyNumbersWithTheGivenSeparator) {
  EXPECT_EQ(ParseFloat("2.5", "."), 2.5);
  EXPECT_EQ(ParseFloat("2,5", ","), 2.5);
  EXPECT_EQ(ParseFloat("-.5", "."), -0.5);
  EXPECT_EQ(ParseFloat("+3.", "."), 3.0);
  EXPECT_EQ(ParseFloat("1e3", "."), 1000.0);
  EXPECT_EQ(ParseFloat("1,25E-2", ","), 0.0125);
  for (const char* bad : {"", "2,5", "1.2.3", "e5", "1E", "1E+", ".", "-", "0x10", "1 ", "1E999"}) {
    EXPECT_FALSE(ParseFloat(bad, ".").has_value()) << bad;
  }
  EXPECT_FALSE(ParseFloat("2.5", ",").has_value());

  EXPECT_EQ(ParseInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ParseInteger("+2147483647"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(ParseInteger("007"), 7);
  for (const char* bad : {"", "+", "-", "2147483648", "1.0", "$10", "+-1", "12a", "0x1"}) {
    EXPECT_FALSE(ParseInteger(bad).has_value()) << bad;
  }
}

TEST(IniSaver, FloatsFollowTheDecimalSeparatorOfTheLocale) {
  tinidatasaver store;
  store.WriteFloat("zoom", 2.25);
  const std::string sep = DecimalSeparator();
  EXPECT_EQ(TextOf(store), "[Root]\r\nzoom=FLOAT|2" + sep + "25\r\n\r\n");

  const std::string saved = setlocale(LC_NUMERIC, nullptr);
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
    if (setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string text = TextOf(store);
  const std::string loaded = DumpOfText("[Root]\r\nz=FLOAT|-1,5E3\r\n");
  const std::string refused = ErrorOf([] { DumpOfText("[Root]\r\nz=FLOAT|1.5\r\n"); });
  setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text, "[Root]\r\nzoom=FLOAT|2,25\r\n\r\n");
  EXPECT_EQ(loaded, "z=float -1500\n");
  EXPECT_EQ(refused, "'1.5' is not a valid floating point value");
}

TEST(IniSaver, ReadingRules) {
  MessageCapture capture;
  const struct {
    const char* what;
    std::string text;
    const char* dump;
  } cases[] = {
      {"lone CR and lone LF end lines", "[Root]\ra=INTEGER|1\nb=INTEGER|2\r\n\n\rc=INTEGER|3",
       "a=int 1\nb=int 2\nc=int 3\n"},
      {"NUL ends the text", std::string("[Root]\r\na=INTEGER|1\r\n\0b=INTEGER|2\r\n", 35),
       "a=int 1\n"},
      {"trimming of codes 0-32", " \t[Root]\x01 \r\n\t a \x1F= INTEGER | 5 \x7F\r\n", "a=int 5\n"},
      {"blanks inside brackets", "[ Root ]\r\nA=integer|5\r\n", "A=int 5\n"},
      {"comments and lines before the first section",
       "a=INTEGER|9\r\n;[Root]\r\n[Root]\r\n;b=INTEGER|1\r\n  ;c=INTEGER|2\r\nd=INTEGER|3\r\n",
       "d=int 3\n"},
      {"section names without regard to case", "[ROOT]\r\na=INTEGER|1\r\n[root]\r\nb=INTEGER|2",
       "b=int 2\n"},
      {"the later of two sections wins",
       "[Root]\r\na=INTEGER|1\r\n[x]\r\n[Root]\r\nb=INTEGER|2\r\n", "b=int 2\n"},
      {"later line of a key wins, listed twice", "[Root]\r\nk=INTEGER|1\r\nK=INTEGER|2\r\n",
       "k=int 2\n"},
      {"lower-case tags, blanks around the bar",
       "[Root]\r\ni=integer  |\t-7\r\nf=Float|0.5\r\ns=string | \"x y\"\r\n",
       "f=float 0.5\ni=int -7\ns=str <x y>\n"},
      {"unquoted text ends at a blank", "[Root]\r\ns=STRING|abc def\r\n", "s=str <abc>\n"},
      {"a quote runs to the next lone quote", "[Root]\r\ns=STRING|\"a|b \"\"c\"\"\"tail\r\n",
       "s=str <a|b \"c\">\n"},
      {"an unclosed quote takes the rest", "[Root]\r\ns=STRING|\"open \"\" end\r\n",
       "s=str <open \"\" end>\n"},
      {"a bar at the end adds an empty field", "[Root]\r\ns=STRING|\r\n", "s=str <>\n"},
      {"NONE is skipped, quoted NONE is text",
       "[Root]\r\na=NONE\r\nb=STRING|\"NONE\"\r\nc=none\r\n", "b=str <NONE>\n"},
      {"a line without = is skipped", "[Root]\r\njunk\r\na=INTEGER|1\r\n", "a=int 1\n"},
      {"list items in line order, trimmed",
       "[Root]\r\nl=STRINGLIST|ignored\r\n[\\l]\r\ns2=second\r\ns1=  first  \r\ns9=\r\nbare\r\n",
       "l=list <second> <first> <> <>\n"},
      {"a missing list section is an empty list", "[Root]\r\nl=STRINGLIST\r\n", "l=list\n"},
      {"list keys of the same name read the later line",
       "[Root]\r\nl=STRINGLIST\r\n[\\L]\r\ns1=a\r\nS1=b\r\n", "l=list <b> <b>\n"},
      {"a folder reads its own section",
       "[Root]\r\nv=FOLDER\r\n[V]\r\nz=FLOAT|2\r\nw=FOLDER\r\n[v\\w]\r\nd=INTEGER|4\r\n",
       "v=folder\n  w=folder\n    d=int 4\n  z=float 2\n"},
      {"a key with a backslash lands in a folder", "[Root]\r\na\\b=STRING|x\r\n",
       "a=folder\n  b=str <x>\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(DumpOfText(c.text), c.dump) << c.what;
}

TEST(IniSaver, UnknownTagIsShownAndCountsAsMissing) {
  MessageCapture capture;
  tinidatasaver store;
  std::istringstream in("[Root]\r\na=BOOL|1\r\nb=INTEGER|2\r\nc=\"quoted tag\"|x\r\n");
  EXPECT_FALSE(store.LoadFromStream(in));
  EXPECT_EQ(Dump(store), "b=int 2\n");
  EXPECT_EQ(capture.messages(), (Strings{"Unknown type 'BOOL'", "Unknown type 'quoted tag'"}));
}

TEST(IniSaver, MalformedValuesStopTheLoadWithTheirMessage) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"k=", "List index out of bounds (0)"},
      {"k=INTEGER", "List index out of bounds (1)"},
      {"k=FLOAT", "List index out of bounds (1)"},
      {"k=STRING", "List index out of bounds (1)"},
      {"k=INTEGER|x", "'x' is not a valid integer value"},
      {"k=INTEGER|2147483648", "'2147483648' is not a valid integer value"},
      {"k=INTEGER|", "'' is not a valid integer value"},
      {"k=FLOAT|1.2.3", "'1.2.3' is not a valid floating point value"},
      // The store already holds s as a text.
      {"s=INTEGER|1", "It's not a integer \"s\""},
      {"S=STRINGLIST", "It's not a stringList \"S\""},
      {"s\\x=INTEGER|1", "Cannot write \"s\\x\""},
      {"s=FOLDER", "String list does not allow duplicates"},
      {"c:d=INTEGER|1", "Invalid name \"c:d\""},
      {"root=FOLDER", "Invalid name \"root\""},
  };
  for (const auto& c : cases) {
    tinidatasaver store;
    store.WriteString("s", "text");
    std::istringstream in(std::string("[Root]\r\na=INTEGER|1\r\n") + c.line +
                          "\r\nz=INTEGER|2\r\n");
    EXPECT_EQ(ErrorOf([&] { store.LoadFromStream(in); }), c.message) << c.line;
    // What came before stays, nothing after is read.
    EXPECT_EQ(Dump(store), "a=int 1\ns=str <text>\n") << c.line;
  }
}

TEST(IniSaver, LoadingKeepsEntriesTheFileDoesNotName) {
  tinidatasaver store;
  store.WriteInteger("mine", 1);
  store.WriteInteger("both", 1);
  std::istringstream in("[Root]\r\nboth=INTEGER|2\r\ntheirs=INTEGER|3\r\n");
  EXPECT_TRUE(store.LoadFromStream(in));
  EXPECT_EQ(Dump(store), "both=int 2\nmine=int 1\ntheirs=int 3\n");
}

// An entry type the file has no tag for is reported and left out; the rest is saved.
class StoreWithOddEntry : public tinidatasaver {
 public:
  StoreWithOddEntry() { AddEntry("odd", static_cast<TDataType>(9)); }
};

TEST(IniSaver, UnknownEntryTypeIsShownAndSkippedOnSave) {
  MessageCapture capture;
  StoreWithOddEntry store;
  store.WriteInteger("n", 1);
  std::ostringstream out;
  EXPECT_FALSE(store.SaveToStream(out));
  EXPECT_EQ(out.str(), "[Root]\r\nn=INTEGER|1\r\n\r\n");
  EXPECT_EQ(capture.messages(), (Strings{"Unknown vaiable type \"odd\""}));
}

TEST(IniSaver, StreamsWorkFromTheCurrentPosition) {
  tinidatasaver store;
  FillExample(store);
  std::ostringstream out;
  out << "prefix";
  EXPECT_TRUE(store.SaveToStream(out));
  EXPECT_EQ(out.str(), std::string("prefix") + kExampleText);

  std::istringstream in(std::string("[Root]\r\nskipped=INTEGER|1\r\n") + kExampleText);
  in.seekg(27);  // past the first two lines
  tinidatasaver loaded;
  EXPECT_TRUE(loaded.LoadFromStream(in));
  EXPECT_EQ(Dump(loaded), Dump(store));

  // A folder store does not stream on its own once its holder has used it.
  std::ostringstream folderOut;
  EXPECT_FALSE(store.FindFolder("view")->SaveToStream(folderOut));
  EXPECT_EQ(folderOut.str(), "");
}

TEST(IniSaver, SurvivesHostileInput) {
  MessageCapture capture;
  // Every truncation of a valid file loads what it can or fails with a message.
  const std::string full = kExampleText;
  for (std::size_t n = 0; n <= full.size(); ++n) {
    tinidatasaver store;
    std::istringstream in(full.substr(0, n));
    try {
      store.LoadFromStream(in);
    } catch (const std::runtime_error&) {
    }
  }

  // A one-megabyte line.
  const std::string huge(1 << 20, 'x');
  EXPECT_EQ(DumpOfText("[Root]\r\nbig=STRING|\"" + huge + "\"\r\nn=INTEGER|1\r\n"),
            "big=str <" + huge + ">\nn=int 1\n");
  EXPECT_EQ(DumpOfText("[Root]\r\n" + huge + "\r\nn=INTEGER|1\r\n"), "n=int 1\n");

  // Junk: pseudo-random bytes, with and without a section to land in.
  std::uint32_t seed = 12345;
  for (int round = 0; round < 50; ++round) {
    std::string junk = round % 2 == 0 ? "[Root]\r\n" : "";
    for (int i = 0; i < 4096; ++i) {
      seed = seed * 1103515245u + 12345u;
      junk += static_cast<char>(seed >> 24);
    }
    tinidatasaver store;
    std::istringstream in(junk);
    try {
      store.LoadFromStream(in);
    } catch (const std::runtime_error&) {
    }
  }

  // Folders nested as deep as allowed load; a file nesting deeper stops with a message.
  const auto nested = [](int levels) {
    std::string text = "[Root]\r\na=FOLDER\r\n";
    std::string section = "a";
    for (int level = 1; level < levels; ++level) {
      text += "[" + section + "]\r\na=FOLDER\r\n";
      section += "\\a";
    }
    return text + "[" + section + "]\r\nend=INTEGER|1\r\n";
  };
  const int most = tinidatasaver::kMaxFolderDepth;
  tinidatasaver deep;
  std::istringstream deepIn(nested(most));
  EXPECT_TRUE(deep.LoadFromStream(deepIn));
  std::string path;
  for (int level = 0; level < most; ++level) path += "a\\";
  EXPECT_EQ(deep.ReadInteger(path + "end", 0), 1);
  EXPECT_EQ(ErrorOf([&] { deep.WriteInteger(path + "a\\x", 1); }), "Invalid name \"a\"");

  tinidatasaver deeper;
  std::istringstream deeperIn(nested(1000));
  EXPECT_EQ(ErrorOf([&] { deeper.LoadFromStream(deeperIn); }), "Invalid name \"a\"");
  EXPECT_NE(deeper.FindFolder(path), nullptr);
}

TEST(IniSaver, ManyKeysInReverseOrderLoadQuickly) {
  std::string text = "[Root]\r\nl=STRINGLIST\r\n";
  for (int i = 100000; i > 0; --i) text += "k" + std::to_string(i) + "=INTEGER|1\r\n";
  text += "[\\l]\r\n";
  for (int i = 0; i < 100000; ++i) text += "s=item\r\n";
  tinidatasaver store;
  std::istringstream in(text);
  EXPECT_TRUE(store.LoadFromStream(in));
  EXPECT_EQ(store.Count(), 100001);
  Strings items;
  store.ReadStringList("l", items);
  EXPECT_EQ(items.size(), 100000u);
}

TEST(IniDocument, WritingReplacesTheLaterLineInPlace) {
  IniDocument doc("[A]\r\nk=1\r\nbare\r\nK=2\r\nz=3\r\n[b]\r\n");
  doc.WriteString("a", "k", "new");
  doc.WriteString("A", "added", "4");
  doc.WriteString("c", "x", "5");
  EXPECT_EQ(doc.ReadString("a", "K", "?"), "new");
  EXPECT_EQ(doc.ReadString("a", "", "default"), "default");  // a bare line has no value
  EXPECT_EQ(doc.Text(),
            "[A]\r\nk=1\r\nbare\r\nK=new\r\nz=3\r\nadded=4\r\n\r\n"
            "[b]\r\n\r\n"
            "[c]\r\nx=5\r\n\r\n");
  doc.Clear();
  EXPECT_EQ(doc.Text(), "");
  EXPECT_EQ(doc.SectionLines("a"), nullptr);
}

}  // namespace
}  // namespace vantrel
