#include "common/CoreApi.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "tests/core/TempTree.h"

namespace vantrel {
namespace {

struct PathCase {
  const char* path;
  const char* expected;
};

TEST(AddTrailingSeparator, WindowsSamples) {
  const PathCase cases[] = {
      {"", ""},           {"C", "C:\\"},           {"c", "c:\\"},
      {"C:", "C:\\"},     {"C:\\", "C:\\"},        {"D:\\Data", "D:\\Data\\"},
      {"D:\\Data\\", "D:\\Data\\"}, {"D:/Data/", "D:/Data/\\"}, {"7", "7\\"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AddTrailingSeparator(c.path, PathStyle::Windows), c.expected) << c.path;
  }
}

TEST(RemoveTrailingSeparator, WindowsSamples) {
  const PathCase cases[] = {
      {"", ""},
      {"\\", "\\"},
      {"C:\\", "C:\\"},
      {"C:/", "C:/"},
      {"D:\\Data\\", "D:\\Data"},
      {"D:\\Data\\\\", "D:\\Data\\"},
      {"D:/Data/", "D:/Data"},
      {"D:\\Data", "D:\\Data"},
      {"a\\b\\", "a\\b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RemoveTrailingSeparator(c.path, PathStyle::Windows), c.expected) << c.path;
  }
}

TEST(TrailingSeparator, PosixSamples) {
  const PathCase add[] = {{"", ""}, {"/", "/"}, {"/home", "/home/"}, {"/home/", "/home/"},
                          {"C", "C/"}, {"a\\", "a\\/"}};
  for (const auto& c : add) EXPECT_EQ(AddTrailingSeparator(c.path), c.expected) << c.path;
  const PathCase remove[] = {{"", ""},         {"/", "/"},       {"/home/", "/home"},
                             {"/home", "/home"}, {"/a//", "/a/"}, {"C:\\", "C:\\"},
                             {"x/", "x"}};
  for (const auto& c : remove) EXPECT_EQ(RemoveTrailingSeparator(c.path), c.expected) << c.path;
}

TEST(RandomString, LengthAndAlphabet) {
  EXPECT_EQ(RandomString(0), "");
  EXPECT_EQ(RandomString(-3), "");
  for (int i = 0; i < 200; ++i) {
    const std::string s = RandomString(8);
    ASSERT_EQ(s.size(), 8u);
    for (char c : s) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) << s;
  }
  const std::string onlyX = RandomString(5, "x");
  EXPECT_EQ(onlyX, "xxxxx");
}

TEST(RandomString, DrawsEveryCharacterOfTheAlphabet) {
  std::set<char> seen;
  for (int i = 0; i < 400; ++i) {
    for (char c : RandomString(8, "ABCD")) seen.insert(c);
  }
  EXPECT_EQ(seen, (std::set<char>{'A', 'B', 'C', 'D'}));
}

class TempFolder : public ::testing::Test {
 protected:
  test::TempTree tree_;
  const std::string dir_ = tree_.root();
};

TEST_F(TempFolder, UniqueRandomFileNameFollowsThePattern) {
  const std::string name = UniqueRandomFileName(dir_, "%s.VTPrj");
  ASSERT_EQ(name.size(), 14u);
  EXPECT_EQ(name.substr(8), ".VTPrj");
  struct stat st {};
  EXPECT_NE(lstat((dir_ + "/" + name).c_str(), &st), 0);
}

TEST_F(TempFolder, FileLastWriteTimeUsesDosResolution) {
  const std::string file = dir_ + "/f.txt";
  std::ofstream(file) << "x";
  // 2024-03-05 10:00:01 UTC: rounds down to 10:00:00.
  timespec times[2] = {{1709632801, 500000000}, {1709632801, 500000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  const double expected = 45356.0 + 10.0 / 24.0;  // 2024-03-05 is day 45356
  EXPECT_DOUBLE_EQ(FileLastWriteTime(file), expected);
  EXPECT_EQ(FileLastWriteTime(dir_), 0.0);
  EXPECT_EQ(FileLastWriteTime(dir_ + "/missing"), 0.0);
  // Before 1980 there is no DOS stamp.
  timespec old[2] = {{100, 0}, {100, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
  EXPECT_EQ(FileLastWriteTime(file), 0.0);
}

TEST(DosStamp, FollowsTheLocalTimeZone) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC-2", 1);  // two hours east of UTC
  tzset();
  const std::uint32_t east = DosStampFromTime(1709632800);
  setenv("TZ", "UTC", 1);
  tzset();
  const std::uint32_t utc = DosStampFromTime(1709632800);
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
  EXPECT_EQ((east >> 11) & 0x1F, 12u);
  EXPECT_EQ((utc >> 11) & 0x1F, 10u);
  EXPECT_EQ(DosStampFromTime(1709632800), DosStampFromTime(1709632801));
  EXPECT_LT(DosStampFromTime(1709632801), DosStampFromTime(1709632802));
}

TEST(GetSpecialFolder, DataFolderFromTheEnvironment) {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = xdg ? xdg : "";
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";

  setenv("XDG_DATA_HOME", "/srv/data", 1);
  EXPECT_EQ(GetSpecialFolder(26), "/srv/data/");
  setenv("XDG_DATA_HOME", "relative/data", 1);  // not absolute: ignored
  setenv("HOME", "/home/ann", 1);
  EXPECT_EQ(GetSpecialFolder(26), "/home/ann/.local/share/");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(GetSpecialFolder(26), "/home/ann/.local/share/");
  EXPECT_EQ(GetSpecialFolder(5), "");

  if (xdg) setenv("XDG_DATA_HOME", savedXdg.c_str(), 1); else unsetenv("XDG_DATA_HOME");
  if (home) setenv("HOME", savedHome.c_str(), 1); else unsetenv("HOME");
}

}  // namespace
}  // namespace vantrel
