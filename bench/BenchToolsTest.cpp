#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchTestSupport.h"
#include "bench/FloorSync.h"
#include "bench/TimedRun.h"
#include "bench/TreeTools.h"

namespace vantrel::bench {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::SetTime;
using testing::StatOf;
using testing::WriteFile;
using test::TempTree;

struct Listing {
  std::vector<std::string> files;    // relative paths
  std::vector<std::string> folders;  // relative paths
  std::map<std::string, off_t> sizes;
  int deepest = 0;
};

Listing List(const std::string& root) {
  static Listing* current;
  static std::size_t prefix;
  Listing listing;
  current = &listing;
  prefix = root.size() + 1;
  ::nftw(
      root.c_str(),
      [](const char* p, const struct stat* st, int flag, struct FTW* ftw) {
        if (ftw->level == 0) return 0;
        std::string rel = std::string(p).substr(prefix);
        if (flag == FTW_D) {
          current->folders.push_back(rel);
          current->deepest = std::max(current->deepest, ftw->level);
        } else {
          current->files.push_back(rel);
          current->sizes[rel] = st->st_size;
        }
        return 0;
      },
      16, FTW_PHYS);
  std::sort(listing.files.begin(), listing.files.end());
  std::sort(listing.folders.begin(), listing.folders.end());
  return listing;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Returns true iff `text` is well-formed UTF-8 (no overlongs checked; enough for names).
bool ValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    i += extra + 1;
  }
  return true;
}

TEST(GenerateSmallFileTree, MakesTheRequestedShape) {
  TempTree scratch;
  const long files = 600;
  TreeCounts counts = GenerateSmallFileTree(scratch.Path("t1"), files, 7);
  Listing listing = List(scratch.Path("t1"));

  EXPECT_EQ(counts.files, files);
  EXPECT_EQ(static_cast<long>(listing.files.size()), files);
  EXPECT_EQ(static_cast<long>(listing.folders.size()), counts.folders);
  // One folder per hundred files, nested three levels deep.
  EXPECT_EQ(counts.folders, 6);
  EXPECT_EQ(listing.deepest, 3);

  long long bytes = 0;
  int withSpace = 0, nonAscii = 0;
  for (const auto& file : listing.files) {
    off_t size = listing.sizes[file];
    EXPECT_GE(size, 1024) << file;
    EXPECT_LE(size, 16384) << file;
    bytes += size;
    std::string name = BaseName(file);
    EXPECT_NE(name[0], '.') << file;
    EXPECT_TRUE(ValidUtf8(name)) << file;
    withSpace += name.find(' ') != std::string::npos;
    nonAscii += std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
  }
  EXPECT_EQ(bytes, counts.bytes);
  EXPECT_EQ(withSpace, files);
  EXPECT_GT(nonAscii, files / 4);
  EXPECT_LT(nonAscii, files);
}

TEST(GenerateSmallFileTree, IsDeterministicInTheSeed) {
  TempTree scratch;
  GenerateSmallFileTree(scratch.Path("a"), 200, 11);
  GenerateSmallFileTree(scratch.Path("b"), 200, 11);
  GenerateSmallFileTree(scratch.Path("c"), 200, 12);
  EXPECT_TRUE(VerifyCopy(scratch.Path("a"), scratch.Path("b"), true).ok());
  EXPECT_TRUE(VerifyCopy(scratch.Path("b"), scratch.Path("a"), true).ok());
  EXPECT_FALSE(VerifyCopy(scratch.Path("a"), scratch.Path("c"), false).ok());
}

TEST(GenerateSmallFileTree, RefusesAnExistingFolder) {
  TempTree scratch;
  EXPECT_THROW(GenerateSmallFileTree(scratch.root(), 10, 1), std::runtime_error);
  EXPECT_THROW(GenerateLargeFileTree(scratch.root(), 1, 10, 1), std::runtime_error);
}

TEST(GenerateLargeFileTree, WritesEveryByte) {
  TempTree scratch;
  const long long size = 3 * 1024 * 1024 + 5;  // not a multiple of the write chunk
  TreeCounts counts = GenerateLargeFileTree(scratch.Path("t2"), 3, size, 5);
  Listing listing = List(scratch.Path("t2"));
  ASSERT_EQ(listing.files.size(), 3u);
  EXPECT_EQ(counts.bytes, 3 * size);
  for (const auto& file : listing.files) EXPECT_EQ(listing.sizes[file], size) << file;
  // Different files carry different data.
  EXPECT_NE(ReadFile(scratch.Path("t2/" + listing.files[0])).substr(0, 4096),
            ReadFile(scratch.Path("t2/" + listing.files[1])).substr(0, 4096));
}

TEST(MakeFilesNewer, ChangesOneFileInAHundredTheSameWayEveryTime) {
  TempTree scratch;
  GenerateSmallFileTree(scratch.Path("old"), 300, 3);
  GenerateSmallFileTree(scratch.Path("new"), 300, 3);
  GenerateSmallFileTree(scratch.Path("again"), 300, 3);
  EXPECT_EQ(MakeFilesNewer(scratch.Path("new"), 9), 3);
  EXPECT_EQ(MakeFilesNewer(scratch.Path("again"), 9), 3);
  EXPECT_TRUE(VerifyCopy(scratch.Path("new"), scratch.Path("again"), true).ok());

  // Exactly the changed files are newer than their originals, by more than the 2 s step.
  FloorSync floor;
  floor.Unidirectional(scratch.Path("new"), scratch.Path("old"));
  EXPECT_EQ(floor.counts().filesCopied, 3);
  EXPECT_EQ(floor.counts().filesLooked, 300);
  EXPECT_TRUE(VerifyCopy(scratch.Path("new"), scratch.Path("old"), true).ok());
}

TEST(AddExtraEntries, AddsWhatTheSourceLacks) {
  TempTree scratch;
  GenerateSmallFileTree(scratch.Path("source"), 500, 4);
  GenerateSmallFileTree(scratch.Path("destination"), 500, 4);
  Listing before = List(scratch.Path("destination"));
  ExtraCounts extras = AddExtraEntries(scratch.Path("destination"), 8);
  Listing after = List(scratch.Path("destination"));

  EXPECT_EQ(extras.files, 5);
  EXPECT_EQ(extras.folders, 1);
  // Each extra folder holds five files and a sub-folder with two more.
  EXPECT_EQ(after.files.size(), before.files.size() + 5 + 7);
  EXPECT_EQ(after.folders.size(), before.folders.size() + 2);
  EXPECT_TRUE(VerifyCopy(scratch.Path("source"), scratch.Path("destination"), false).ok());
  EXPECT_FALSE(VerifyCopy(scratch.Path("source"), scratch.Path("destination"), true).ok());
}

TEST(CloneTree, CopiesOrLinksEverythingWithItsTimes) {
  TempTree scratch;
  GenerateSmallFileTree(scratch.Path("master"), 300, 13);
  ASSERT_EQ(::mkdir(scratch.Path("master/empty").c_str(), 0750), 0);
  SetTime(scratch.Path("master/empty"), 1600000000, 5);
  SetTime(scratch.Path("master"), 1600000002);
  for (bool links : {false, true}) {
    std::string clone = scratch.Path(links ? "links" : "copy");
    TreeCounts counts = CloneTree(scratch.Path("master"), clone, links);
    EXPECT_EQ(counts.files, 300);
    EXPECT_TRUE(VerifyCopy(scratch.Path("master"), clone, true).ok()) << clone;
    // Folders keep mode and time (set after their contents), so the two fingerprints match.
    EXPECT_EQ(StatOf(clone + "/empty").st_mode & 07777, 0750u);
    EXPECT_EQ(StatOf(clone + "/empty").st_mtim.tv_nsec, 5);
    EXPECT_EQ(Fingerprint(clone), Fingerprint(scratch.Path("master"))) << clone;
    Listing listing = List(clone);
    struct stat original = StatOf(scratch.Path("master/" + listing.files[0]));
    struct stat copied = StatOf(clone + "/" + listing.files[0]);
    EXPECT_EQ(copied.st_ino == original.st_ino, links) << clone;
  }
  EXPECT_THROW(CloneTree(scratch.Path("master"), scratch.Path("copy"), false), std::runtime_error);
}

TEST(Fingerprint, ChangesWithAnyChangeToTheTree) {
  struct Case {
    const char* what;
    std::function<void(const std::string& root, const std::string& file)> change;
  };
  const Case cases[] = {
      {"one byte in place",
       [](const std::string&, const std::string& file) {
         struct stat st = StatOf(file);
         std::string data = ReadFile(file);
         data[0] ^= 1;
         WriteFile(file, data);
         SetTime(file, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
       }},
      {"mode", [](const std::string&, const std::string& file) { ::chmod(file.c_str(), 0640); }},
      {"time", [](const std::string&, const std::string& file) { SetTime(file, 1600000000); }},
      {"rename",
       [](const std::string&, const std::string& file) {
         ::rename(file.c_str(), (file + " ").c_str());
       }},
      {"new empty folder",
       [](const std::string& root, const std::string&) { ::mkdir((root + "/new").c_str(), 0755); }},
  };
  for (const auto& c : cases) {
    TempTree scratch;
    GenerateSmallFileTree(scratch.Path("t"), 100, 17);
    const std::uint64_t before = Fingerprint(scratch.Path("t"));
    EXPECT_EQ(Fingerprint(scratch.Path("t")), before) << c.what;
    Listing listing = List(scratch.Path("t"));
    std::string root = scratch.Path("t");
    std::string file = root + "/" + listing.files[listing.files.size() / 2];
    // Put the folders' times back so that only the change itself can show.
    const std::string parent = file.substr(0, file.rfind('/'));
    struct stat parentBefore = StatOf(parent), rootBefore = StatOf(root);
    c.change(root, file);
    SetTime(parent, parentBefore.st_mtim.tv_sec, parentBefore.st_mtim.tv_nsec);
    SetTime(root, rootBefore.st_mtim.tv_sec, rootBefore.st_mtim.tv_nsec);
    EXPECT_NE(Fingerprint(scratch.Path("t")), before) << c.what;
  }
}

// Each case spoils a faithful copy in one way that VerifyCopy must catch.
TEST(VerifyCopy, FindsEveryKindOfDifference) {
  struct Case {
    const char* what;
    std::function<void(const std::string& file, const std::string& root)> spoil;
    bool caughtWithoutExact;
  };
  const Case cases[] = {
      {"nothing", [](const std::string&, const std::string&) {}, true},
      {"one byte",
       [](const std::string& file, const std::string&) {
         struct stat st = StatOf(file);
         std::string data = ReadFile(file);
         data[data.size() / 2] ^= 1;
         WriteFile(file, data);
         SetTime(file, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
       },
       true},
      {"missing file", [](const std::string& file, const std::string&) { ::unlink(file.c_str()); },
       true},
      {"mode", [](const std::string& file, const std::string&) { ::chmod(file.c_str(), 0600); },
       true},
      {"time",
       [](const std::string& file, const std::string&) {
         SetTime(file, StatOf(file).st_mtim.tv_sec + 2);
       },
       true},
      {"extra file",
       [](const std::string&, const std::string& root) { WriteFile(root + "/stray", "x"); },
       false},
  };
  for (const auto& c : cases) {
    TempTree scratch;
    ASSERT_EQ(::mkdir(scratch.Path("s").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(scratch.Path("d").c_str(), 0755), 0);
    for (const char* root : {"s", "d"}) {
      std::string file = scratch.Path(root) + "/file.txt";
      WriteFile(file, std::string(5000, 'a'));
      ::chmod(file.c_str(), 0644);
      SetTime(file, 1700000000);
    }
    c.spoil(scratch.Path("d/file.txt"), scratch.Path("d"));
    const bool faithful = std::string(c.what) == "nothing";
    EXPECT_EQ(VerifyCopy(scratch.Path("s"), scratch.Path("d"), false).ok(),
              faithful || !c.caughtWithoutExact)
        << c.what;
    EXPECT_EQ(VerifyCopy(scratch.Path("s"), scratch.Path("d"), true).ok(), faithful) << c.what;
  }
}

TEST(VerifyCopy, AcceptsTimesWithinOneTwoSecondStep) {
  TempTree scratch;
  ASSERT_EQ(::mkdir(scratch.Path("s").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(scratch.Path("d").c_str(), 0755), 0);
  WriteFile(scratch.Path("s/f"), "same");
  WriteFile(scratch.Path("d/f"), "same");
  ::chmod(scratch.Path("s/f").c_str(), 0644);
  ::chmod(scratch.Path("d/f").c_str(), 0644);
  SetTime(scratch.Path("s/f"), 1700000000, 900000000);
  SetTime(scratch.Path("d/f"), 1700000001);
  EXPECT_TRUE(VerifyCopy(scratch.Path("s"), scratch.Path("d"), true).ok());
}

TEST(RunTimed, ReportsExitStatusTimeAndOutput) {
  TempTree scratch;
  std::string log = scratch.Path("log");
  TimedResult ok = RunTimed({"sh", "-c", "echo out; echo err >&2; sleep 0.2"}, false, log);
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_GE(ok.seconds, 0.2);
  EXPECT_LT(ok.seconds, 5.0);
  EXPECT_GT(ok.maxRssKiB, 0);
  EXPECT_EQ(ReadFile(log), "out\nerr\n");

  EXPECT_EQ(RunTimed({"sh", "-c", "exit 3"}, true, log).exitCode, 3);
  EXPECT_EQ(RunTimed({"sh", "-c", "kill -9 $$"}, false, log).exitCode, 128 + 9);
  EXPECT_THROW(RunTimed({"/nonexistent/program"}, false, log), std::runtime_error);
  EXPECT_THROW(RunTimed({}, false, log), std::runtime_error);
}

TEST(RunTimed, MeasuresThePeakOfTheProgram) {
  // The shell holds a 48 MB text; a bare `true` holds next to nothing.
  TimedResult big = RunTimed(
      {"sh", "-c", "x=$(head -c 48000000 /dev/zero | tr '\\0' a); test ${#x} -eq 48000000"},
      false, "");
  EXPECT_EQ(big.exitCode, 0);
  EXPECT_GE(big.maxRssKiB, 46000);
  TimedResult small = RunTimed({"true"}, false, "");
  EXPECT_EQ(small.exitCode, 0);
  EXPECT_LT(small.maxRssKiB, 20000);
}

}  // namespace
}  // namespace vantrel::bench
