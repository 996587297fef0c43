#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/Masks.h"

namespace vantrel {
namespace {

struct MatchCase {
  const char* mask;
  const char* name;
  bool matches;
};

TEST(FileMatchesMask, WorkedExamples) {
  const MatchCase cases[] = {
      {"*.*", "README", true},
      {"*.*", "report.txt", true},
      {"*.*", ".profile", true},
      {"*", "README", true},
      {"*", "report.txt", false},
      {"*", ".profile", false},
      {"*.", "Makefile", true},
      {"*.txt", "Notes.TXT", true},
      {"*.txt", "notes.txt.bak", false},
      {"*.txt", ".txt", true},
      {"readme", "README", true},
      {"readme", "readme.txt", false},
      {"a*", "abc", true},
      {"a*", "abc.txt", false},
      {"a*.*", "abc.txt", true},
      {"?", "a", true},
      {"?", "ab", false},
      {"*?", "x.y", false},
      {"*.t?t", "a.txt", true},
      {"*.t?t", "a.tt", false},
      {"*.t??", "a.t", false},
      {"[a-c]*.*", "Beta.doc", true},
      {"[a-c]*.*", "delta.doc", false},
      {"[!a-c]*.*", "delta.doc", true},
      {"*.[ch]", "main.C", true},
      {"*.[ch]", "main.cpp", false},
      {"*~*", "file.doc~", false},
      {"*.*~", "file.doc~", true},
      {"docs\\*.txt", "a.txt", true},
      {"*.txt;", "a.txt", false},
      {"", "a.txt", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileMatchesMask(c.mask, c.name), c.matches) << c.mask << " vs " << c.name;
  }
}

TEST(FileMatchesMask, PreparationAndMatchingDetails) {
  const MatchCase cases[] = {
      // A mask's folder part goes at a backslash, a colon or a slash; a name's only at a slash,
      // since ':' and '\\' are ordinary characters of Linux names.
      {"docs/*.txt", "a.txt", true},
      {"C:*.txt", "a.txt", true},
      {"*.txt", "sub/a.txt", true},
      {"*.txt", "sub\\a.doc", false},
      {"notes*.*", "notes\\2024.txt", true},
      {"backup*.*", "backup 12:30.tar", true},
      {"*.tar", "x:y\\z.tar", true},
      {"z*", "x:y\\z.tar", false},
      {"a/b", "x/b", true},
      // A star may take nothing, and "*?" is just "*".
      {"*?.txt", ".txt", true},
      {"x*?*y", "xy", true},
      // Retrying later positions after the leftmost fit fails.
      {"*a?c", "abcaxc", true},
      {"*ab*ab", "abxabab", true},
      {"*ab*ab", "abxaba", false},
      {"[a-c-e]*.*", "e.x", true},
      {"[a-c-e]*.*", "f.x", false},
      // In [a-] the bracket is the upper end of the range, so the set runs on to the next ].
      {"[z-a]", "Z", true},
      {"[z-a]", "b", false},
      {"[a-]x]", "x", true},
      {"[a-]x]", "]", true},
      {"[a-]x]", "^", false},
      {"]!-.", "]!-", true},
      // An empty item is the mask ".", which only a lone dot matches.
      {"", ".", true},
      {"?.", "a", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileMatchesMask(c.mask, c.name), c.matches) << c.mask << " vs " << c.name;
  }
}

TEST(FileMatchesMask, FoldsOnlyAsciiLettersAndTreatsUtf8CharactersAsOne) {
  const MatchCase cases[] = {
      {"*.ä", "x.Ä", false},
      {"*.Ä", "x.ä", false},
      {"*.ä", "X.ä", true},
      {"*.TXT", "a.txt", true},
      {"[a-z]*.*", "Zoo.txt", true},
      {"[a-z]*.*", "äb.txt", false},
      {"[!a-z]*.*", "äb.txt", true},
      {"?.txt", "ä.txt", true},
      {"??.txt", "ä.txt", false},
      {"?.txt", "€.txt", true},
      {"?.txt", "😀.txt", true},
      {"*ö*.*", "Größe.txt", true},
      {"*é.txt", "café.txt", true},
      {"*É.txt", "café.txt", false},
      // Bytes that form no valid sequence are characters of their own.
      {"?.txt", "\xC3.txt", true},
      {"??.txt", "\xC3\xA4\xA4.txt", true},
      {"\xC3?", "\xC3\xA4", false},
      {"*\xA4", "\xC3\xA4", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileMatchesMask(c.mask, c.name), c.matches) << c.mask << " vs " << c.name;
  }
}

std::optional<std::string> CompileError(std::string_view mask) {
  try {
    TMask m(mask);
    return std::nullopt;
  } catch (const EMaskException& e) {
    return std::string(e.what());
  }
}

TEST(TMask, InvalidMasksReportTextAndPosition) {
  struct Case {
    const char* mask;
    const char* message;
  };
  const Case cases[] = {
      {"[abc.", "'[abc.' is an invalid mask at (6)"},
      {"[].", "'[].' is an invalid mask at (2)"},
      {"[!]", "'[!]' is an invalid mask at (3)"},
      {"[-a].", "'[-a].' is an invalid mask at (2)"},
      {"x[!-a]", "'x[!-a]' is an invalid mask at (4)"},
      {"[a-", "'[a-' is an invalid mask at (4)"},
      {"[a-]", "'[a-]' is an invalid mask at (5)"},
      {"[", "'[' is an invalid mask at (2)"},
      // A set without a single-byte member is empty too.
      {"[!äö]", "'[!äö]' is an invalid mask at (7)"},
      {"[ä]", "'[ä]' is an invalid mask at (4)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompileError(c.mask), std::optional<std::string>(c.message)) << c.mask;
  }
}

TEST(FileMatchesMask, ReportsTheMaskAsPrepared) {
  const std::pair<const char*, const char*> cases[] = {
      {"[abc", "'[abc.' is an invalid mask at (6)"},
      {"[]", "'[].' is an invalid mask at (2)"},
      {"docs\\[abc", "'[abc.' is an invalid mask at (6)"},
      {"[-a]", "'[-a].' is an invalid mask at (2)"},
  };
  for (const auto& [mask, message] : cases) {
    try {
      FileMatchesMask(mask, "a.txt");
      ADD_FAILURE() << mask << " compiled";
    } catch (const EMaskException& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

std::string Repeat(const std::string& piece, int times) {
  std::string s;
  for (int k = 0; k < times; ++k) s += piece;
  return s;
}

TEST(TMask, AllowsThirtyStarRunsButNotThirtyOne) {
  struct Case {
    std::string mask;
    std::optional<std::size_t> error_at;
  };
  const std::vector<Case> cases = {
      {Repeat("*a", 30), std::nullopt},
      {Repeat("*a", 30) + "*", 62},      // the end state takes the 31st run
      {Repeat("*a", 31), 62},            // the 31st literal
      {Repeat("*a", 30) + "*[bc]", 65},  // the set's closing bracket
      {Repeat("*a", 30) + "*ä", 62},     // a multi-byte character's first byte
      {Repeat("**a", 30), std::nullopt},
      {Repeat("*?*a", 30), std::nullopt},
      {Repeat("*?*a", 30) + "*?", 123},
      {Repeat("a*", 30), std::nullopt},
  };
  for (const auto& c : cases) {
    const auto error = CompileError(c.mask);
    if (!c.error_at) {
      EXPECT_EQ(error, std::nullopt) << c.mask;
    } else {
      EXPECT_EQ(error,
                "'" + c.mask + "' is an invalid mask at (" + std::to_string(*c.error_at) + ")");
    }
  }
  // Thirty runs still match, and fail, as they should.
  const TMask many(Repeat("*a", 30));
  EXPECT_TRUE(many.Matches(Repeat("ba", 30)));
  EXPECT_FALSE(many.Matches(Repeat("ba", 29)));
  EXPECT_FALSE(many.Matches(Repeat("a", 29) + "b"));
}

TEST(TMask, MatchesTheTextAsGivenAndSurvivesCopies) {
  TMask star("*");
  EXPECT_TRUE(star.Matches(""));
  EXPECT_TRUE(star.Matches("a.txt"));
  TMask copy = star;
  star = TMask("a");
  EXPECT_TRUE(copy.Matches("x.y"));
  EXPECT_TRUE(star.Matches("A"));
  EXPECT_FALSE(star.Matches("A."));
  TMask moved = std::move(copy);
  EXPECT_TRUE(moved.Matches("anything"));
}

// Exhaustive backtracking over the mask text, for the subset of the language without sets.
bool ReferenceMatch(std::string_view mask, std::string_view name) {
  if (mask.empty()) return name.empty();
  const char m = mask[0];
  if (m == '*') {
    for (std::size_t k = 0; k <= name.size(); ++k) {
      if (ReferenceMatch(mask.substr(1), name.substr(k))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  const auto up = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
  if (m != '?' && up(m) != up(name[0])) return false;
  return ReferenceMatch(mask.substr(1), name.substr(1));
}

TEST(TMask, AgreesWithExhaustiveBacktracking) {
  std::mt19937 rng(12345);
  const std::string mask_chars = "ab.*?";
  const std::string name_chars = "abA.";
  for (int round = 0; round < 20000; ++round) {
    std::string mask, name;
    for (int k = std::uniform_int_distribution<int>(0, 8)(rng); k > 0; --k) {
      mask += mask_chars[std::uniform_int_distribution<std::size_t>(0, 4)(rng)];
    }
    for (int k = std::uniform_int_distribution<int>(0, 8)(rng); k > 0; --k) {
      name += name_chars[std::uniform_int_distribution<std::size_t>(0, 3)(rng)];
    }
    // A '?' right after a star run is dropped, so the reference sees the mask without it.
    std::string reduced;
    for (char c : mask) {
      if (c == '?' && !reduced.empty() && reduced.back() == '*') continue;
      reduced += c;
    }
    ASSERT_EQ(TMask(mask).Matches(name), ReferenceMatch(reduced, name)) << mask << " vs " << name;
  }
}

TEST(MatchesAnyMask, StopsAtTheFirstMatch) {
  EXPECT_FALSE(MatchesAnyMask("a.txt", {}));
  EXPECT_FALSE(MatchesAnyMask("a.txt", {""}));
  EXPECT_TRUE(MatchesAnyMask("a.txt", {"*.doc", "*.txt", "[abc"}));
  EXPECT_THROW(MatchesAnyMask("a.pdf", {"*.doc", "*.txt", "[abc"}), EMaskException);
}

struct FilterCase {
  const char* what;
  bool advanced;
  std::vector<std::string> include;
  std::vector<std::string> exclude;
  const char* name;
  bool taken;
};

TEST(FileNameFilter, DecidesLikeTheListsSay) {
  const FilterCase cases[] = {
      {"advanced off", false, {"*.doc"}, {"*.*"}, "a.txt", true},
      {"advanced off, invalid masks", false, {"[]"}, {"[-a]"}, "a.txt", true},
      {"no include matches", true, {"*.doc"}, {}, "a.txt", false},
      {"empty include list", true, {}, {}, "a.txt", false},
      {"include, no exclude", true, {"*.txt"}, {}, "a.txt", true},
      {"include, exclude misses", true, {"*.txt"}, {"b*"}, "a.txt", true},
      {"exclusion wins", true, {"*.txt"}, {"a*.*"}, "a.txt", false},
      {"star dot star takes dotless", true, {"*.*"}, {}, "README", true},
      {"prepared star dot star", true, {"dir\\*.*"}, {"*."}, "README", false},
      {"invalid include after a match", true, {"*.txt", "[abc"}, {}, "a.txt", true},
      {"invalid exclude never reached", true, {"*.doc"}, {"[]"}, "a.txt", false},
  };
  for (const auto& c : cases) {
    const FileNameFilter filter(c.advanced, c.include, c.exclude);
    EXPECT_EQ(filter.Takes(c.name), c.taken) << c.what;
    EXPECT_EQ(filter.Takes(c.name), c.taken) << c.what << " (again)";
  }
}

TEST(FileNameFilter, RaisesAnInvalidMaskEachTimeItIsReached) {
  const FileNameFilter filter(true, {"*.doc", "*.bak", "[abc"}, {"*.bak", "[-a]"});
  const std::pair<const char*, const char*> cases[] = {
      {"a.txt", "'[abc.' is an invalid mask at (6)"},
      {"a.doc", "'[-a].' is an invalid mask at (2)"},
      {"a.txt", "'[abc.' is an invalid mask at (6)"},
      {"a.doc", "'[-a].' is an invalid mask at (2)"},
  };
  for (const auto& [name, message] : cases) {
    try {
      filter.Takes(name);
      ADD_FAILURE() << name << " did not reach the invalid mask";
    } catch (const EMaskException& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
  // Names that are decided before the invalid masks are reached still are.
  EXPECT_FALSE(filter.Takes("x.bak"));
}

// The cached decision must equal compiling every mask afresh, exceptions included.
TEST(FileNameFilter, AgreesWithMatchingAfreshOnManyNames) {
  const std::vector<std::string> masks = {"*.txt",     "a*",   "*.*", "*",          "?b*.*",
                                          "[!a]*.t?t", "[abc", "",    "docs/*.doc", "*~*"};
  const std::vector<std::string> names = {"a.txt",  "b.TXT", "README", "abc", ".profile",
                                          "ab.doc", "x.txt", "cb.tat", "z~",  "file.doc~"};
  std::mt19937 rng(7);
  const auto pick = [&](std::size_t count) {
    std::vector<std::string> list;
    for (std::size_t k = 0; k < count; ++k) {
      list.push_back(masks[std::uniform_int_distribution<std::size_t>(0, masks.size() - 1)(rng)]);
    }
    return list;
  };
  for (int round = 0; round < 300; ++round) {
    const auto include = pick(round % 4);
    const auto exclude = pick(round % 3);
    const FileNameFilter filter(true, include, exclude);
    for (const auto& name : names) {
      std::optional<bool> expected;
      try {
        expected = MatchesAnyMask(name, include) && !MatchesAnyMask(name, exclude);
      } catch (const EMaskException&) {
      }
      std::optional<bool> got;
      try {
        got = filter.Takes(name);
      } catch (const EMaskException&) {
      }
      ASSERT_EQ(got, expected) << name << " in round " << round;
    }
  }
}

}  // namespace
}  // namespace vantrel
