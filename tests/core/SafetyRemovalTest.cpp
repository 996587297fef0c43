// The removal pass deletes the user's files, so its two guards are tested with real faults:
// an entry of Folder 2 whose Folder 1 counterpart cannot be looked at is never lacking (an
// unreadable source must not turn into deletions), and removing a lacking folder never
// enters a mount point below it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

// Folder 1 holds the folder "kept" (with "kept/inner"); Folder 2 holds the same folders with
// files Folder 1 lacks, plus the lacking file "extra" at the top.
void MakeTrees(const std::string& f1, const std::string& f2) {
  for (const std::string& top : {f1, f2}) {
    MakeFolder(top);
    MakeFolder(top + "/kept");
    MakeFolder(top + "/kept/inner");
    WriteFile(top + "/kept/both", "both");
  }
  WriteFile(f2 + "/kept/only-in-2", "mine");
  WriteFile(f2 + "/kept/inner/only-in-2", "mine too");
  MakeFolder(f2 + "/kept/inner/folder-only-in-2");
  WriteFile(f2 + "/extra", "extra");
}

// True for the entries of Folder 2 that have a counterpart in Folder 1.
bool HasCounterpart(const std::string& relative) {
  return relative == "kept" || relative == "kept/both" || relative == "kept/inner" ||
         relative == "kept/inner/both";
}

TEST(SafetyRemoval, CounterpartLookupFaultsNeverTurnIntoDeletions) {
  const int errors[] = {EACCES, EIO, EMFILE, ENOMEM, ESTALE};
  int faults = 0;
  int runs = 0;
  // A folder of Folder 1 that cannot be looked into at all: nothing below its counterpart
  // in Folder 2 may go, lacking or not.
  for (int error : errors) {
    SCOPED_TRACE(std::string("lookups fail with ") + std::strerror(error));
    ScratchDir s;
    const std::string f1 = s.Path("one");
    const std::string f2 = s.Path("two");
    MakeTrees(f1, f2);
    const TreeState before = Snapshot(f2);
    FaultInjectionFileSystem fs;
    const auto inKept = FaultInjectionFileSystem::Under(f1 + "/kept");
    fs.FailAlways(FsOp::StatAt, error, inKept);
    fs.FailAlways(FsOp::OpenAt, error, inKept);
    RunOptions options;
    options.exact = true;
    options.fs = &fs;
    const std::vector<std::string> log = RunSync(f1, f2, options);
    faults += fs.Injected();
    ++runs;

    TreeState after = Snapshot(f2);
    EXPECT_EQ(after.count("extra"), 0u) << "the lacking top file still goes";
    after["extra"] = before.at("extra");
    EXPECT_EQ(Difference(before, after), "") << Joined(log);
    EXPECT_TRUE(LinesWith(log, "Delete folder").empty()) << Joined(log);
    const auto reported = LinesWith(log, "Cannot read folder \"" + f1 + "/kept\"");
    ASSERT_FALSE(reported.empty()) << Joined(log);
    EXPECT_NE(reported[0].find(std::string("\": ") + std::strerror(error)), std::string::npos);
  }
  // One lookup fails, once, wherever it falls: entries with a counterpart always stay.
  for (FsOp op : {FsOp::StatAt, FsOp::OpenAt}) {
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE(std::string(FsOpName(op)) + " call " + std::to_string(nth) + " fails");
      ScratchDir s;
      const std::string f1 = s.Path("one");
      const std::string f2 = s.Path("two");
      MakeTrees(f1, f2);
      WriteFile(f1 + "/kept/inner/both", "both");
      WriteFile(f2 + "/kept/inner/both", "both");
      FaultInjectionFileSystem fs;
      fs.FailNth(op, nth, EIO, FaultInjectionFileSystem::Under(f1));
      RunOptions options;
      options.exact = true;
      options.fs = &fs;
      const std::vector<std::string> log = RunSync(f1, f2, options);
      if (fs.Injected() == 0) break;  // past the last lookup
      faults += fs.Injected();
      ++runs;
      const TreeState after = Snapshot(f2);
      for (const char* kept : {"kept", "kept/both", "kept/inner", "kept/inner/both"}) {
        EXPECT_EQ(after.count(kept), 1u) << kept << " was removed\n" << Joined(log);
      }
      for (const std::string& line : LinesWith(log, "Delete ")) {
        const std::size_t open = line.find('"');
        const std::string path = line.substr(open + 1, line.size() - open - 2);
        EXPECT_FALSE(HasCounterpart(path.substr(f2.size() + 1))) << line;
      }
    }
  }
  std::printf(
      "safety: unreadable Folder 1 counterparts: %d runs, %d lookup faults injected, "
      "0 entries with a counterpart removed\n",
      runs, faults);
}

// Runs the removal as the user nobody, for whom permission bits count.
TEST(SafetyRemoval, FoldersNobodyMayReadNeverTurnIntoDeletions) {
  if (const char* role = ChildRole()) {
    // The child: role is "<folder 1>\n<folder 2>\n<log file>".
    std::string text = role;
    const std::size_t a = text.find('\n');
    const std::size_t b = text.find('\n', a + 1);
    RunOptions options;
    options.exact = true;
    std::vector<std::string> log =
        RunSync(text.substr(0, a), text.substr(a + 1, b - a - 1), options);
    std::string out;
    for (const std::string& line : log) out += line + "\n";
    WriteFile(text.substr(b + 1), out);
    std::fflush(nullptr);
    _exit(0);
  }
  struct ModeCase {
    const char* what;
    const char* folder;  // made unreadable, relative to Folder 1 ("" is Folder 1 itself)
    mode_t mode;
    std::vector<std::string> gone;  // Folder 2 entries that are rightly lacking
  };
  const ModeCase cases[] = {
      {"no rights on a sub-folder", "kept", 0000, {"extra"}},
      {"read but no search on a sub-folder", "kept", 0444, {"extra"}},
      {"no rights on a nested folder", "kept/inner", 0000, {"extra", "kept/only-in-2"}},
      {"no rights on Folder 1", "", 0000, {}},
  };
  int runs = 0;
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir s;
    const std::string f1 = s.Path("one");
    const std::string f2 = s.Path("two");
    MakeTrees(f1, f2);
    ChownTree(s.root(), 65534, 65534);
    const std::string locked = *c.folder ? f1 + "/" + c.folder : f1;
    ASSERT_EQ(chmod(locked.c_str(), c.mode), 0);
    const TreeState before = Snapshot(f2);
    std::string output;
    std::string why;
    const std::string logFile = s.Path("log.txt");
    const int status = RunThisTestAsNobody(
        VANTREL_CURRENT_TEST_NAME(), f1 + "\n" + f2 + "\n" + logFile, s.root(), &output, &why);
    if (status == -1) GTEST_SKIP() << why;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    ++runs;
    const std::string log = ReadFile(logFile);

    TreeState expected = before;
    for (const std::string& gone : c.gone) expected.erase(gone);
    EXPECT_EQ(Difference(expected, Snapshot(f2)), "") << log;
    EXPECT_EQ(log.find("Delete folder"), std::string::npos) << log;
    const std::string guarded = *c.folder ? f2 + "/" + c.folder + "/" : f2 + "/";
    EXPECT_EQ(log.find("Delete file \"" + guarded + "only-in-2"), std::string::npos) << log;
    EXPECT_NE(log.find("Cannot read folder \"" + locked + "\": Permission denied"),
              std::string::npos)
        << log;
  }
  std::printf(
      "safety: Folder 1 folders unreadable to the user: %d runs as nobody, 0 entries "
      "removed\n",
      runs);
}

enum class MountKind { kTmpfs, kBindOfOutsideFolder };

TEST(SafetyRemoval, DeletingALackingFolderNeverEntersAMountPoint) {
  std::string why;
  if (!EnterPrivateMountNamespace(&why)) GTEST_SKIP() << why;
  struct MountCase {
    const char* what;
    MountKind kind;
    const char* mountPoint;  // relative to Folder 2; "gone" is the lacking folder itself
  };
  const MountCase cases[] = {
      {"a tmpfs inside the lacking folder", MountKind::kTmpfs, "gone/sub/mnt"},
      {"a bind mount inside the lacking folder", MountKind::kBindOfOutsideFolder, "gone/sub/mnt"},
      {"the lacking folder is a tmpfs", MountKind::kTmpfs, "gone"},
      {"the lacking folder is a bind mount", MountKind::kBindOfOutsideFolder, "gone"},
  };
  for (const MountCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir s;
    const std::string f1 = s.Path("one");
    const std::string f2 = s.Path("two");
    MakeFolder(f1);
    WriteFile(f1 + "/kept", "");  // an empty Folder 1 would remove nothing at all
    MakeFolder(f2);
    WriteFile(f2 + "/kept", "");
    MakeFolder(f2 + "/gone");
    MakeFolder(f2 + "/gone/sub");
    WriteFile(f2 + "/gone/sub/file", "lacking");
    const std::string where = f2 + "/" + c.mountPoint;
    MakeFolder(where);
    std::string mounted;  // the folder whose contents must stay
    if (c.kind == MountKind::kTmpfs) {
      if (!s.MountTmpfs(where, "size=1m", &why)) GTEST_SKIP() << why;
      mounted = where;
    } else {
      mounted = s.Path("outside");
      MakeFolder(mounted);
      if (!s.BindMount(mounted, where, &why)) GTEST_SKIP() << why;
    }
    MakeFolder(where + "/deep");
    WriteFile(where + "/precious", "keep me");
    WriteFile(where + "/deep/precious", "keep me too");
    const TreeState before = Snapshot(mounted);

    RunOptions options;
    options.exact = true;
    const std::vector<std::string> log = RunSync(f1, f2, options);

    EXPECT_EQ(Difference(before, Snapshot(mounted)), "") << Joined(log);
    EXPECT_EQ(LinesWith(log, "Cannot delete folder \"" + f2 + "/gone\": ").size(), 1u)
        << Joined(log);
    EXPECT_TRUE(LinesWith(log, "Delete folder").empty()) << Joined(log);
  }
}

}  // namespace
}  // namespace vantrel::testsupport
