// The result log store: lines come back exactly as written, from its file or from memory.
#include "engine/ResultLogStore.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

namespace vantrel::test {
namespace {

using namespace std::string_literals;

std::string NumberedLine(std::size_t i) {
  return "Copy file \"/src/folder " + std::to_string(i) + "/f.txt\" to \"/dst/" +
         std::to_string(i * 7) + "\"";
}

std::vector<std::string> OddLines() {
  return {
      ""s,
      "plain"s,
      "with\nnewline\n"s,
      "with\r\ncrlf"s,
      "with\0nul\0"s,
      "\0"s,
      "UTF-8 \xC3\xA4\xE2\x82\xAC name"s,
      std::string(64 * 1024 - 8, 'x'),  // exactly one full buffer with its length
      std::string(64 * 1024, 'y'),      // longer than the buffer
      std::string(300 * 1024, '\n'),    // longer than a read chunk
      "after the long ones"s,
  };
}

TEST(ResultLogStoreTest, GivesBackEveryLineExactlyAndInOrder) {
  for (const bool memory : {false, true}) {
    SCOPED_TRACE(memory ? "in memory" : "in a file");
    ResultLogStore store(memory ? "/nonexistent/folder/for/the/log" : "");
    const std::vector<std::string> lines = OddLines();
    for (const std::string& line : lines) store.Append(line);
    EXPECT_EQ(store.UsesFile(), !memory);
    EXPECT_EQ(store.size(), lines.size());
    EXPECT_EQ(store.Lines(), lines);
    EXPECT_EQ(store.Lines(), lines);  // reading twice does not repeat them
  }
}

TEST(ResultLogStoreTest, ReadsBackWhileLinesKeepComing) {
  ResultLogStore store;
  std::vector<std::string> expected;
  const std::vector<std::string>* first = &store.Lines();
  EXPECT_TRUE(first->empty());
  // Reads in between land inside and at the edges of the buffer and of long records.
  const std::size_t steps[] = {1, 3, 500, 1, 20000, 7, 100000};
  std::size_t next = 0;
  for (const std::size_t step : steps) {
    for (std::size_t i = 0; i < step; ++i, ++next) {
      expected.push_back(next % 997 == 0 ? std::string(70 * 1024, 'L') : NumberedLine(next));
      store.Append(expected.back());
    }
    ASSERT_EQ(store.size(), expected.size());
    const std::vector<std::string>& lines = store.Lines();
    EXPECT_EQ(&lines, first);
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_TRUE(lines == expected) << "after " << expected.size() << " lines";
  }
  EXPECT_TRUE(store.UsesFile());
}

TEST(ResultLogStoreTest, ClearDropsEverythingAndStartsOver) {
  for (const char* directory : {"", "/nonexistent/folder"}) {
    SCOPED_TRACE(directory);
    ResultLogStore store(directory);
    for (std::size_t i = 0; i < 5000; ++i) store.Append(NumberedLine(i));
    EXPECT_EQ(store.Lines().size(), 5000u);
    for (std::size_t i = 0; i < 10; ++i) store.Append("unread");
    store.Clear();
    EXPECT_TRUE(store.empty());
    EXPECT_FALSE(store.UsesFile());
    EXPECT_TRUE(store.Lines().empty());
    store.Append("second run");
    EXPECT_EQ(store.Lines(), std::vector<std::string>{"second run"});
  }
}

// A file that stops growing (a full disk) must not lose lines: they move to memory.
TEST(ResultLogStoreTest, MovesToMemoryWhenTheFileCannotGrow) {
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 200 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

  ResultLogStore store;
  std::vector<std::string> expected;
  bool usedFile = false;
  for (std::size_t i = 0; i < 20000; ++i) {
    expected.push_back(i == 1500 ? std::string(100 * 1024, 'z') : NumberedLine(i));
    store.Append(expected.back());
    usedFile = usedFile || store.UsesFile();
    if (i == 1000) {
      EXPECT_EQ(store.Lines().size(), 1001u);
    }
  }
  const bool stillUsesFile = store.UsesFile();
  const std::vector<std::string> lines = store.Lines();

  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(usedFile);
  EXPECT_FALSE(stillUsesFile);
  EXPECT_EQ(store.size(), expected.size());
  EXPECT_TRUE(lines == expected);
  store.Append("more");
  EXPECT_EQ(store.Lines().back(), "more");
}

}  // namespace
}  // namespace vantrel::test
