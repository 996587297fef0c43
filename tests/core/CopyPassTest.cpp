// The copy pass on real trees: what is copied, what is logged and notified, and what stays.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/Masks.h"
#include "tests/core/SyncFixture.h"

namespace vantrel::test {
namespace {

const std::time_t kTen = UtcTime(2024, 5, 6, 10, 0, 0);  // 10:00:00 on a Monday

using CopyPassTest = SyncFixture;

TEST_F(CopyPassTest, CopiesMissingFileAndCreatesOnlyTheFoldersItNeeds) {
  tree_.WriteFile("one/a/b/c.txt", "hello");
  tree_.MakeFolder("one/empty/deeper");
  ASSERT_TRUE(sync_.Run());

  EXPECT_EQ(tree_.ReadFile("two/a/b/c.txt"), "hello");
  EXPECT_FALSE(tree_.Exists("two/empty"));
  const std::vector<std::string> expected = {CopyLine("a/b/c.txt")};
  EXPECT_EQ(sync_.ResultLog(), expected);
  EXPECT_EQ(progress_, expected);
  EXPECT_EQ(sync_.GetResultText(), CopyLine("a/b/c.txt") + "\r\n");
}

TEST_F(CopyPassTest, ComparesAtTwoSecondResolution) {
  struct Case {
    const char* name;
    std::time_t destination;
    long destinationNs;
    std::time_t source;
    long sourceNs;
    bool copied;
  };
  const Case cases[] = {
      {"equal", kTen, 0, kTen, 0, false},
      {"half-second-later", kTen, 0, kTen, 500000000, false},
      {"one-second-later", kTen, 0, kTen + 1, 0, false},
      {"two-seconds-later", kTen, 0, kTen + 2, 0, true},
      {"next-slot-from-odd-second", kTen + 1, 0, kTen + 2, 0, true},
      {"destination-newer", kTen + 60, 0, kTen, 0, false},
      {"days-newer", kTen, 0, kTen + 86400 * 3, 0, true},
  };
  for (const Case& c : cases) {
    tree_.WriteFile(std::string("one/") + c.name, "new");
    tree_.SetTime(std::string("one/") + c.name, c.source, c.sourceNs);
    tree_.WriteFile(std::string("two/") + c.name, "old");
    tree_.SetTime(std::string("two/") + c.name, c.destination, c.destinationNs);
  }
  sync_.Run();

  long notCopied = 0;
  for (const Case& c : cases) {
    const std::string name = std::string("two/") + c.name;
    EXPECT_EQ(tree_.ReadFile(name), c.copied ? "new" : "old") << c.name;
    const struct stat st = tree_.Stat(name);
    EXPECT_EQ(st.st_mtim.tv_sec, c.copied ? c.source : c.destination) << c.name;
    EXPECT_EQ(Count(CopyLine(c.name)), c.copied ? 1 : 0) << c.name;
    notCopied += c.copied ? 0 : 1;
  }
  EXPECT_EQ(Count("Checking files ..."), notCopied);
}

TEST_F(CopyPassTest, BidirectionalRunCopiesBothWaysAndNothingBack) {
  sync_.SetCopyMode(0);
  tree_.WriteFile("one/only-in-one.txt", "1");
  tree_.WriteFile("two/sub/only-in-two.txt", "2");
  tree_.WriteFile("one/both.txt", "older");
  tree_.SetTime("one/both.txt", kTen);
  tree_.WriteFile("two/both.txt", "newer");
  tree_.SetTime("two/both.txt", kTen + 10);
  sync_.Run();

  EXPECT_EQ(tree_.ReadFile("two/only-in-one.txt"), "1");
  EXPECT_EQ(tree_.ReadFile("one/sub/only-in-two.txt"), "2");
  EXPECT_EQ(tree_.ReadFile("one/both.txt"), "newer");
  EXPECT_EQ(tree_.Stat("one/both.txt").st_mtim.tv_sec, kTen + 10);
  ASSERT_EQ(sync_.ResultLog().size(), 3u);
  EXPECT_EQ(sync_.ResultLog()[0], CopyLine("only-in-one.txt"));
  EXPECT_EQ(Sorted({sync_.ResultLog()[1], sync_.ResultLog()[2]}),
            Sorted({CopyBackLine("sub/only-in-two.txt"), CopyBackLine("both.txt")}));

  sync_.Run();  // the trees agree now
  EXPECT_TRUE(sync_.ResultLog().empty());
  EXPECT_EQ(sync_.GetResultText(), "No files processed ... ");
}

TEST_F(CopyPassTest, WithoutSubfoldersOnlyTopFilesAreLookedAt) {
  sync_.SetIncludeSubfolders(false);
  tree_.WriteFile("one/top.txt", "t");
  tree_.WriteFile("one/sub/inner.txt", "i");
  tree_.WriteFile("one/sub/same.txt", "s");
  tree_.WriteFile("two/sub/same.txt", "s");
  sync_.Run();

  EXPECT_TRUE(tree_.Exists("two/top.txt"));
  EXPECT_FALSE(tree_.Exists("two/sub/inner.txt"));
  EXPECT_EQ(progress_, std::vector<std::string>{CopyLine("top.txt")});
}

TEST_F(CopyPassTest, HiddenEntriesTakePartOnlyWhenAllowed) {
  for (const bool processHidden : {false, true}) {
    SCOPED_TRACE(processHidden);
    TempTree fresh;
    fresh.WriteFile("one/.hidden-folder/inside.txt", "h");
    fresh.WriteFile("one/.hidden-file", "h");
    fresh.WriteFile("one/visible.txt", "v");
    TFolderSynchronizer sync(fresh.Path("p.VTPrj"));
    sync.SetFolder1(fresh.Path("one"));
    sync.SetFolder2(fresh.Path("two"));
    sync.SetCopyMode(1);
    sync.SetIncludeSubfolders(true);
    sync.SetProcessHidden(processHidden);
    sync.Run();
    EXPECT_TRUE(fresh.Exists("two/visible.txt"));
    EXPECT_EQ(fresh.Exists("two/.hidden-file"), processHidden);
    EXPECT_EQ(fresh.Exists("two/.hidden-folder/inside.txt"), processHidden);
    EXPECT_EQ(sync.ResultLog().size(), processHidden ? 3u : 1u);
  }
}

TEST_F(CopyPassTest, MasksChooseTheFiles) {
  struct Case {
    const char* include;
    const char* exclude;
    std::vector<std::string> copied;
  };
  const Case cases[] = {
      {"", "", {}},  // advanced options with an empty include list take nothing
      {"*.txt", "", {"a.txt", "b.txt"}},
      {"*.txt", "b*.*", {"a.txt"}},
      {"*.txt", "b*", {"a.txt", "b.txt"}},  // a mask without a dot matches no name with one
      {"*.*", "*.txt", {"c.doc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.include) + " / " + c.exclude);
    TempTree fresh;
    for (const char* name : {"a.txt", "b.txt", "c.doc"})
      fresh.WriteFile(std::string("one/") + name, "x");
    TFolderSynchronizer sync(fresh.Path("p.VTPrj"));
    std::vector<std::string> progress;
    sync.OnProgress = [&](TFolderSynchronizer&, const std::string& text) {
      progress.push_back(text);
    };
    sync.SetFolder1(fresh.Path("one"));
    sync.SetFolder2(fresh.Path("two"));
    sync.SetCopyMode(1);
    sync.SetAdvancedOptions(true);
    sync.SetIncludeText(c.include);
    sync.SetExcludeText(c.exclude);
    sync.Run();
    std::vector<std::string> copied;
    if (fresh.Exists("two")) copied = fresh.List("two");
    EXPECT_EQ(copied, c.copied);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), "Checking files ..."),
              static_cast<long>(3 - c.copied.size()));
  }
}

TEST_F(CopyPassTest, InvalidMaskEndsTheRunAfterEarlierCopies) {
  // The first pass copies a.txt; the second lists Folder 2 and reaches the invalid mask
  // with b.txt, which the first mask does not match.
  sync_.SetCopyMode(0);
  sync_.SetAdvancedOptions(true);
  sync_.SetIncludeText("a*.*,[abc");
  tree_.WriteFile("one/a.txt", "a");
  tree_.WriteFile("two/b.txt", "b");
  try {
    sync_.Run();
    FAIL() << "no exception";
  } catch (const EMaskException& e) {
    EXPECT_STREQ(e.what(), "'[abc.' is an invalid mask at (6)");
  }
  EXPECT_EQ(tree_.ReadFile("two/a.txt"), "a");
  EXPECT_FALSE(tree_.Exists("one/b.txt"));
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{CopyLine("a.txt")});
}

TEST_F(CopyPassTest, StopWritesTerminatedOncePerLevelThatStillMeetsAFile) {
  tree_.WriteFile("one/top.txt", "t");
  tree_.WriteFile("one/sub/mid.txt", "m");
  tree_.WriteFile("one/sub/deep/d1.txt", "1");
  tree_.WriteFile("one/sub/deep/d2.txt", "2");
  sync_.OnProgress = [this](TFolderSynchronizer& sender, const std::string& text) {
    progress_.push_back(text);
    if (text.find("/deep/d") != std::string::npos) sender.Terminate();
  };
  sync_.SetCopyMode(0);  // the second pass must do nothing after a stop
  sync_.Run();

  // Which levels still meet a file after the stop depends on the listing order.
  const auto after = [&](const char* folder, const char* entry, const char* other) {
    const std::vector<std::string> order = tree_.ListingOrder(folder);
    return std::find(order.begin(), order.end(), entry) <
           std::find(order.begin(), order.end(), other);
  };
  const long levels =
      1 + (after("one/sub", "deep", "mid.txt") ? 1 : 0) + (after("one", "sub", "top.txt") ? 1 : 0);
  EXPECT_EQ(std::count(sync_.ResultLog().begin(), sync_.ResultLog().end(),
                       std::string("Terminated by user")),
            levels);
  EXPECT_TRUE(sync_.Terminated());
  // Exactly one file of the deep level was copied, and every copy has its line.
  const std::vector<std::string> deep = tree_.List("two/sub/deep");
  EXPECT_EQ(deep.size(), 1u);
  long copies = 0;
  for (const std::string& line : sync_.ResultLog()) copies += line.starts_with("Copy file") ? 1 : 0;
  long files = 0;
  for (const std::string& entry : tree_.List("two")) files += entry.ends_with("/") ? 0 : 1;
  EXPECT_EQ(copies, files);
}

TEST_F(CopyPassTest, SourceFolderThatCannotBeReadIsReported) {
  BlockingFileSystem fs;
  fs.unreadable = {"closed"};
  fs.unlistable = {"broken"};
  sync_.SetFileSystem(&fs);
  tree_.WriteFile("one/closed/a.txt", "a");
  tree_.WriteFile("one/broken/b.txt", "b");
  tree_.WriteFile("one/fine/c.txt", "c");
  sync_.Run();
  EXPECT_EQ(Sorted(sync_.ResultLog()),
            Sorted({"Cannot read folder \"" + One("closed") + "\": Permission denied",
                    "Cannot read folder \"" + One("broken") + "\": Input/output error",
                    CopyLine("fine/c.txt")}));
}

TEST_F(CopyPassTest, FolderAtDestinationFailsThatCopyOnly) {
  tree_.WriteFile("one/x.txt", "file");
  tree_.WriteFile("one/y.txt", "y");
  tree_.WriteFile("two/x.txt/keep.txt", "kept");
  sync_.Run();

  EXPECT_EQ(Sorted(sync_.ResultLog()),
            Sorted({CannotCopyLine("x.txt", "Is a directory"), CopyLine("y.txt")}));
  EXPECT_EQ(tree_.ReadFile("two/x.txt/keep.txt"), "kept");
  EXPECT_TRUE(NoTemporaries());
}

TEST_F(CopyPassTest, CarriesPermissionBitsAndNanosecondTimes) {
  struct Case {
    const char* name;
    mode_t source;
    mode_t expected;
  };
  const Case cases[] = {
      {"plain", 0644, 0644},   {"private", 0600, 0600},        {"readonly", 0444, 0444},
      {"setuid", 04755, 0755}, {"setgid-sticky", 03775, 0775},
  };
  for (const Case& c : cases) {
    tree_.WriteFile(std::string("one/") + c.name, c.name, c.source);
    tree_.SetTime(std::string("one/") + c.name, kTen, 123456789);
  }
  tree_.WriteFile("two/readonly", "old", 0444);  // replaced, not written into
  tree_.SetTime("two/readonly", kTen - 100);
  sync_.Run();

  for (const Case& c : cases) {
    const struct stat st = tree_.Stat(std::string("two/") + c.name);
    EXPECT_EQ(st.st_mode & 07777, c.expected) << c.name;
    EXPECT_EQ(st.st_mtim.tv_sec, kTen) << c.name;
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789) << c.name;
    EXPECT_EQ(tree_.ReadFile(std::string("two/") + c.name), c.name);
  }
}

TEST_F(CopyPassTest, SymbolicLinksAreSystemEntriesCopiedAsLinks) {
  tree_.WriteFile("outside/target.txt", "outside");
  tree_.MakeLink("../outside/target.txt", "one/link");
  tree_.MakeLink("no such target", "one/dangling");
  tree_.SetTime("one/link", kTen, 5);
  sync_.Run();
  EXPECT_FALSE(tree_.Exists("two/link"));
  EXPECT_TRUE(sync_.ResultLog().empty());

  sync_.SetProcessSystem(true);
  sync_.Run();
  const struct stat st = tree_.Stat("two/link");
  ASSERT_TRUE(S_ISLNK(st.st_mode));
  char target[64] = {};
  ASSERT_GT(readlink(tree_.Path("two/link").c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "../outside/target.txt");
  EXPECT_EQ(st.st_mtim.tv_sec, kTen);
  EXPECT_EQ(st.st_mtim.tv_nsec, 5);
  EXPECT_TRUE(S_ISLNK(tree_.Stat("two/dangling").st_mode));
  EXPECT_EQ(sync_.ResultLog().size(), 2u);

  sync_.Run();  // equal stamps now
  EXPECT_TRUE(sync_.ResultLog().empty());
}

TEST_F(CopyPassTest, FifoNeverBlocksAndIsNeverCopied) {
  tree_.MakeFifo("one/pipe");
  tree_.WriteFile("one/file.txt", "f");
  sync_.Run();
  EXPECT_EQ(sync_.ResultLog(), std::vector<std::string>{CopyLine("file.txt")});

  sync_.SetProcessSystem(true);
  sync_.Run();
  EXPECT_EQ(sync_.ResultLog(),
            std::vector<std::string>{CannotCopyLine("pipe", "Operation not supported")});
  EXPECT_FALSE(tree_.Exists("two/pipe"));
}

TEST_F(CopyPassTest, NeverWritesThroughLinksInTheDestination) {
  tree_.WriteFile("outside/shared.txt", "outside");
  ASSERT_EQ(link(tree_.Path("outside/shared.txt").c_str(), tree_.Path("two/hard.txt").c_str()), 0);
  tree_.SetTime("two/hard.txt", kTen);
  tree_.MakeLink("../outside/shared.txt", "two/soft.txt");
  tree_.SetTime("two/soft.txt", kTen);
  tree_.MakeFolder("outside/dir");
  tree_.MakeLink("../outside/dir", "two/sub");
  for (const char* name : {"hard.txt", "soft.txt", "sub/inner.txt"}) {
    tree_.WriteFile(std::string("one/") + name, "new");
    tree_.SetTime(std::string("one/") + name, kTen + 10);
  }
  sync_.Run();

  EXPECT_EQ(tree_.ReadFile("outside/shared.txt"), "outside");
  EXPECT_FALSE(tree_.Exists("outside/dir/inner.txt"));
  EXPECT_EQ(tree_.ReadFile("two/hard.txt"), "new");
  EXPECT_TRUE(S_ISREG(tree_.Stat("two/soft.txt").st_mode));
  EXPECT_EQ(Count(CannotCopyLine("sub/inner.txt", "Not a directory")), 1);
  EXPECT_TRUE(S_ISLNK(tree_.Stat("two/sub").st_mode));
}

TEST_F(CopyPassTest, TopFoldersAreCreatedAndMayBeLinks) {
  tree_.MakeFolder("real");
  tree_.MakeLink("real", "link-to-real");
  sync_.SetFolder1(tree_.Path("link-to-real"));
  sync_.SetFolder2(tree_.Path("new/deeper/two") + "/");
  sync_.Run();
  EXPECT_TRUE(S_ISDIR(tree_.Stat("new/deeper/two").st_mode));

  tree_.WriteFile("real/f.txt", "f");
  sync_.Run();
  EXPECT_EQ(tree_.ReadFile("new/deeper/two/f.txt"), "f");
  EXPECT_EQ(sync_.ResultLog(),
            std::vector<std::string>{"Copy file \"" + tree_.Path("link-to-real") +
                                     "/f.txt\" to \"" + tree_.Path("new/deeper/two") + "/f.txt\""});
}

TEST_F(CopyPassTest, UnknownCopyModeRunsNoPass) {
  sync_.SetCopyMode(2);
  sync_.SetFolder2(tree_.Path("missing"));
  tree_.WriteFile("one/f.txt", "f");
  EXPECT_TRUE(sync_.Run());
  EXPECT_TRUE(tree_.Exists("missing"));
  EXPECT_FALSE(tree_.Exists("missing/f.txt"));
  EXPECT_EQ(sync_.GetResultText(), "No files processed ... ");
}

}  // namespace
}  // namespace vantrel::test
