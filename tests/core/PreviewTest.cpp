// The preview: the plan is what an immediately following run does, in order; the summary
// agrees with the log; a preview changes nothing in either tree.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/ModalResult.h"
#include "tests/core/SyncFixture.h"

namespace vantrel::test {
namespace {

struct Seen {
  ActionKind kind;
  bool toFolder1;
  std::string path;
  std::string source;
  std::uint64_t size;
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& a) {
  return out << int(a.kind) << (a.toFolder1 ? " <- " : " -> ") << a.path << " from '" << a.source
             << "' " << a.size;
}

// Everything the tests compare of an entry: kind and mode, size, contents, both times.
struct EntryState {
  mode_t mode;
  off_t size;
  std::int64_t mtimeNs;
  std::int64_t atimeNs;
  std::string contents;
  bool operator==(const EntryState&) const = default;
};

class PreviewTest : public SyncFixture {
 protected:
  // A random pair of trees: files on one side or both (older, newer, equal), folders on one
  // side only, hidden names, names the masks skip, a few levels deep.
  void Generate(unsigned seed) {
    std::mt19937 random(seed);
    const std::time_t base = UtcTime(2021, 3, 4, 10, 0, 0);
    const char* folders[] = {"", "a", "a/b", "c", "only1", "only1/deep", "only2", "only2/x"};
    const char* names[] = {"f.txt", "g.dat", "skip.txt", ".hidden.txt", "h.txt", "k.bin"};
    for (const char* folder : folders) {
      const std::string prefix = *folder ? std::string(folder) + "/" : std::string();
      const bool in1 = std::string(folder).rfind("only2", 0) != 0;
      const bool in2 = std::string(folder).rfind("only1", 0) != 0;
      for (const char* name : names) {
        const std::string relative = prefix + name;
        const int where = static_cast<int>(random() % 4);  // none, 1, 2, both
        const std::string body(static_cast<std::size_t>(random() % 300), char('a' + random() % 26));
        const std::time_t time = base + 2 * static_cast<std::time_t>(random() % 5);
        if ((where & 1) && in1) {
          tree_.WriteFile("one/" + relative, "1" + body);
          tree_.SetTime("one/" + relative, time);
        }
        if ((where & 2) && in2) {
          tree_.WriteFile("two/" + relative, "2" + body + body);
          tree_.SetTime("two/" + relative, base + 2 * static_cast<std::time_t>(random() % 5));
        }
      }
    }
  }

  std::map<std::string, EntryState> Snapshot() const {
    std::map<std::string, EntryState> all;
    for (const char* top : {"one", "two"}) {
      for (const std::string& entry : tree_.List(top)) {
        const std::string relative = std::string(top) + "/" + entry;
        const struct stat st = tree_.Stat(relative);
        EntryState state{st.st_mode, S_ISDIR(st.st_mode) ? 0 : st.st_size,
                         std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec,
                         std::int64_t{st.st_atim.tv_sec} * 1000000000 + st.st_atim.tv_nsec,
                         S_ISREG(st.st_mode) ? tree_.ReadFile(relative) : std::string()};
        // Reading a file may move its access time; that reading is the test's, not the run's.
        const struct stat again = tree_.Stat(relative);
        state.atimeNs = std::int64_t{again.st_atim.tv_sec} * 1000000000 + again.st_atim.tv_nsec;
        all.emplace(relative, state);
      }
    }
    return all;
  }

  static std::vector<Seen> PlanOf(const TFolderSynchronizer& sync) {
    std::vector<Seen> plan;
    PlannedAction action;
    for (std::size_t i = 0; i < sync.Plan().size(); ++i) {
      EXPECT_TRUE(sync.Plan().Get(i, action));
      plan.push_back({action.kind, action.toFolder1, action.path, action.source, action.size});
    }
    return plan;
  }

  static long Lines(const std::vector<std::string>& log, const std::string& start) {
    return std::count_if(log.begin(), log.end(),
                         [&](const std::string& line) { return line.rfind(start, 0) == 0; });
  }
};

struct Mode {
  const char* name;
  int copyMode;
  bool exact;
  bool advanced;
  bool subfolders;
};

TEST_F(PreviewTest, PlanIsWhatTheNextRunDoesAndChangesNothing) {
  const Mode modes[] = {
      {"bidirectional", 0, false, false, true},
      {"unidirectional", 1, false, false, true},
      {"exact copy", 1, true, false, true},
      {"exact copy, masks", 1, true, true, true},
      {"bidirectional, masks", 0, false, true, true},
      {"exact copy, top only", 1, true, false, false},
  };
  std::set<int> kindsSeen;  // the generated pairs must call for every kind of action
  bool copiedBack = false;
  for (const Mode& mode : modes) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(std::string(mode.name) + ", seed " + std::to_string(seed));
      TempTree::RemoveAll(tree_.Path("one"));
      TempTree::RemoveAll(tree_.Path("two"));
      tree_.MakeFolder("one");
      tree_.MakeFolder("two");
      Generate(seed * 7919u + static_cast<unsigned>(mode.copyMode));
      sync_.SetCopyMode(mode.copyMode);
      sync_.SetExactCopy(mode.exact);
      sync_.SetAdvancedOptions(mode.advanced);
      sync_.SetIncludeText("*.txt,*.dat");
      sync_.SetExcludeText("skip*");
      sync_.SetIncludeSubfolders(mode.subfolders);
      sync_.SetProcessHidden(seed % 2 == 0);
      ScriptedConfirmer nobody({});
      sync_.OnConfirmRemoval = nobody.Handler();  // a preview asks nothing

      const auto before = Snapshot();
      std::vector<std::string> told;  // the lines as the run tells them, none from a preview
      sync_.OnResultLine = [&told](const std::string& line) { told.push_back(line); };
      ASSERT_TRUE(sync_.Preview());
      EXPECT_TRUE(told.empty());
      EXPECT_EQ(Snapshot(), before);
      const std::vector<Seen> plan = PlanOf(sync_);
      const RunSummary planned = sync_.Summary();
      const std::vector<std::string> previewLog = sync_.PreviewLog();

      std::vector<Seen> done;
      sync_.OnAction = [&](const RunAction& a, int error) {
        EXPECT_EQ(error, 0) << a.path;
        done.push_back({a.kind, a.toFolder1, std::string(a.path), std::string(a.source), a.size});
      };
      ScriptedConfirmer yes({mrYesToAll});
      sync_.OnConfirmRemoval = yes.Handler();
      ASSERT_TRUE(sync_.Run());
      sync_.OnAction = nullptr;
      EXPECT_EQ(done, plan);
      EXPECT_EQ(previewLog, sync_.ResultLog());
      EXPECT_EQ(told, sync_.ResultLog());
      sync_.OnResultLine = nullptr;

      // The summary against the log and the trees as they were.
      const RunSummary& ran = sync_.Summary();
      const auto& log = sync_.ResultLog();
      EXPECT_EQ(ran.FilesCopied(), static_cast<std::uint64_t>(Lines(log, "Copy file ")));
      EXPECT_EQ(ran.toFolder1.files,
                static_cast<std::uint64_t>(Lines(log, "Copy file \"" + Two(""))));
      EXPECT_EQ(ran.filesRemoved, static_cast<std::uint64_t>(Lines(log, "Delete file ")));
      EXPECT_EQ(ran.foldersRemoved, static_cast<std::uint64_t>(Lines(log, "Delete folder ")));
      EXPECT_EQ(ran.failures, static_cast<std::uint64_t>(Lines(log, "Cannot ")));
      EXPECT_FALSE(ran.stopped);
      std::uint64_t copiedBytes = 0, removedBytes = 0;
      const std::string root = tree_.Path("") + "/";
      for (const Seen& a : plan) {
        if (a.kind == ActionKind::kCopyFile || a.kind == ActionKind::kReplaceFile) {
          EXPECT_EQ(a.size, std::uint64_t(before.at(a.source.substr(root.size())).size));
          copiedBytes += a.size;
        } else if (a.kind == ActionKind::kRemoveFile) {
          removedBytes += std::uint64_t(before.at(a.path.substr(root.size())).size);
        } else if (a.kind == ActionKind::kRemoveFolder) {
          for (const auto& [path, state] : before) {
            if (path.rfind(a.path.substr(root.size()) + "/", 0) == 0) removedBytes += state.size;
          }
        }
      }
      EXPECT_EQ(ran.BytesCopied(), copiedBytes);
      EXPECT_EQ(ran.removedBytes, removedBytes);
      // (Files looked at differ: the run meets its own copies in its later pass.)
      for (const auto* s : {&planned}) {
        EXPECT_EQ(s->FilesCopied(), ran.FilesCopied());
        EXPECT_EQ(s->toFolder1.bytes, ran.toFolder1.bytes);
        EXPECT_EQ(s->foldersCreated, ran.foldersCreated);
        EXPECT_EQ(s->filesRemoved, ran.filesRemoved);
        EXPECT_EQ(s->foldersRemoved, ran.foldersRemoved);
        EXPECT_EQ(s->removedBytes, ran.removedBytes);
      }
      EXPECT_GT(plan.size(), 0u);
      for (const Seen& a : plan) {
        kindsSeen.insert(int(a.kind));
        copiedBack = copiedBack || a.toFolder1;
      }

      // Right after the run there is nothing left to do.
      ASSERT_TRUE(sync_.Preview());
      EXPECT_EQ(sync_.Plan().size(), 0u) << (sync_.Plan().empty() ? "" : PlanOf(sync_)[0].path);
    }
  }
  EXPECT_EQ(kindsSeen.size(), 5u);  // all but renames
  EXPECT_TRUE(copiedBack);
}

TEST_F(PreviewTest, MissingFolderTwoIsPlannedAndNotMade) {
  tree_.WriteFile("one/sub/a.txt", "abc");
  TempTree::RemoveAll(tree_.Path("two"));
  sync_.SetFolder2(tree_.Path("two/new"));
  ASSERT_TRUE(sync_.Preview());
  EXPECT_FALSE(tree_.Exists("two"));
  const std::vector<Seen> plan = PlanOf(sync_);
  const std::vector<Seen> expected = {
      {ActionKind::kCreateFolder, false, tree_.Path("two/new"), "", 0},
      {ActionKind::kCreateFolder, false, tree_.Path("two/new/sub"), "", 0},
      {ActionKind::kCopyFile, false, tree_.Path("two/new/sub/a.txt"), One("sub/a.txt"), 3},
  };
  EXPECT_EQ(plan, expected);
  EXPECT_EQ(sync_.Summary().toFolder2.bytes, 3u);
  EXPECT_EQ(sync_.Summary().foldersCreated, 2u);
  EXPECT_TRUE(sync_.ResultLog().empty());
}

TEST_F(PreviewTest, StopsWhenTerminatedAndSaysSo) {
  for (int i = 0; i < 5; ++i) tree_.WriteFile("one/f" + std::to_string(i), "x");
  sync_.OnProgress = [this](TFolderSynchronizer& sender, const std::string&) {
    sender.Terminate();
  };
  ASSERT_TRUE(sync_.Preview());
  EXPECT_EQ(sync_.Plan().size(), 1u);
  EXPECT_TRUE(sync_.Summary().stopped);
  EXPECT_EQ(sync_.PreviewLog().back(), "Terminated by user");
}

}  // namespace
}  // namespace vantrel::test
