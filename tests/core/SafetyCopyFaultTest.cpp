// A copy that fails, for whatever reason, leaves the destination exactly as it was (or absent
// when it was absent) and says so in the log; it never leaves a truncated file, a temporary
// file or a silent failure behind. Proven with every single file-system call of a run failed
// in turn, with short writes, and with real faults of the kernel: a full tmpfs, a tmpfs out of
// inodes and a read-only bind mount.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

constexpr std::time_t kOld = 1600000000;  // September 2020
constexpr std::time_t kNew = 1700000000;  // November 2023

// Two trees whose synchronization (exact copy) exercises every kind of call: a file replacing
// an older one, new files (one in a folder still to be made), an empty file, a link, and a
// lacking file to remove.
struct Scenario {
  ScratchDir s;
  std::string f1 = s.Path("one");
  std::string f2 = s.Path("two");
  TreeState before;  // Folder 2 before the run
  TreeState after;   // Folder 2 after a run without faults

  Scenario() {
    MakeFolder(f1);
    MakeFolder(f1 + "/sub");
    MakeFolder(f2);
    WriteFile(f1 + "/update.bin", Pattern(300000, 1), 0640);
    WriteFile(f2 + "/update.bin", Pattern(200000, 2), 0600);
    WriteFile(f1 + "/fresh.bin", Pattern(100000, 3), 0644);
    WriteFile(f1 + "/sub/deep.bin", Pattern(50000, 4), 0600);
    WriteFile(f1 + "/empty", "", 0644);
    symlink("update.bin", (f1 + "/link").c_str());
    WriteFile(f2 + "/stale.txt", "stale");
    for (const char* name : {"update.bin", "fresh.bin", "sub/deep.bin", "empty", "link"}) {
      SetTimes(f1 + "/" + name, kNew, 123456789);
    }
    SetTimes(f2 + "/update.bin", kOld);
    before = Snapshot(f2);
    after = Snapshot(f1);
  }

  static RunOptions Options(FileSystem* fs) {
    RunOptions options;
    options.exact = true;
    options.system = true;  // links take part
    options.fs = fs;
    return options;
  }
};

// Checks one run with one injected `error`; returns the number of problems found (each one
// reported).
int CheckFaultedRun(const Scenario& sc, const std::vector<std::string>& log, int error) {
  int problems = 0;
  bool failed = false;
  const TreeState now = Snapshot(sc.f2);
  const std::string all = Joined(log);
  // A failure to read a Folder 1 folder on the way to a file also reports the file.
  const auto reportedFolder = [&](const std::string& relative) {
    std::vector<std::string> folders = {sc.f1};
    for (std::size_t at = relative.find('/'); at != std::string::npos;
         at = relative.find('/', at + 1)) {
      folders.push_back(sc.f1 + "/" + relative.substr(0, at));
    }
    for (const std::string& folder : folders) {
      if (!LinesWith(log, "Cannot read folder \"" + folder + "\"").empty()) return true;
      // A folder whose kind could not be told is reported like a file that failed.
      if (!LinesWith(log, "Cannot copy file \"" + folder + "\"").empty()) return true;
      // A Folder 2 folder that could not be opened or made reports everything inside it once.
      const std::string made = sc.f2 + folder.substr(sc.f1.size());
      if (!LinesWith(log, "Cannot create folder \"" + made + "\"").empty()) return true;
      if (folder == sc.f1 && !LinesWith(log, "Cannot read folder \"" + made + "\"").empty())
        return true;
    }
    return false;
  };
  for (const auto& [path, state] : now) {
    if (FaultInjectionFileSystem::IsTemporaryPath(path)) {
      ADD_FAILURE() << "temporary file left: " << path << "\n" << all;
      ++problems;
    }
  }
  for (const auto& [path, wanted] : sc.after) {
    if (wanted.type == 'd') continue;
    const auto it = now.find(path);
    const auto old = sc.before.find(path);
    const bool isNew = it != now.end() && it->second == wanted;
    const bool isOld =
        old == sc.before.end() ? it == now.end() : it != now.end() && it->second == old->second;
    const std::string copied =
        "Copy file \"" + sc.f1 + "/" + path + "\" to \"" + sc.f2 + "/" + path + "\"";
    const bool saidCopied = std::find(log.begin(), log.end(), copied) != log.end();
    failed = failed || !isNew;
    if (!isNew && !isOld) {
      ADD_FAILURE() << path << " is neither the old nor the new file\n" << all;
      ++problems;
    } else if (saidCopied && !isNew) {
      ADD_FAILURE() << path << " was reported copied but is not\n" << all;
      ++problems;
    } else if (!isNew &&
               LinesWith(log, "Cannot copy file \"" + sc.f1 + "/" + path + "\"").empty() &&
               !reportedFolder(path)) {
      ADD_FAILURE() << path << " was not copied and nothing says so\n" << all;
      ++problems;
    }
  }
  const bool staleGone = now.count("stale.txt") == 0;
  const bool saidDeleted = !LinesWith(log, "Delete file \"" + sc.f2 + "/stale.txt\"").empty();
  if (saidDeleted != staleGone) {
    ADD_FAILURE() << "stale.txt: the log and the folder disagree\n" << all;
    ++problems;
  }
  if (!staleGone && LinesWith(log, "Cannot delete file").empty() &&
      LinesWith(log, "Cannot read folder").empty()) {
    ADD_FAILURE() << "stale.txt was kept and nothing says why\n" << all;
    ++problems;
  }
  // What failed says why: the injected error, not another reason.
  if ((failed || !staleGone) && LinesWith(log, std::strerror(error)).empty()) {
    ADD_FAILURE() << "the log does not give the reason " << std::strerror(error) << "\n" << all;
    ++problems;
  }
  return problems;
}

// Makes the copier take the plain read/write route, as on a file system without the kernel's
// copy routes.
void RefuseFastRoutes(FaultInjectionFileSystem& fs) {
  fs.FailAlways(FsOp::Clone, EOPNOTSUPP);
  fs.FailAlways(FsOp::CopyFileRange, EXDEV);
}

// Fails each call of a complete run in turn, once, and checks the run and a run after it.
TEST(SafetyCopyFaults, EveryCallOfARunFailingInTurnLeavesNoDamage) {
  int runs = 0;
  int faults = 0;
  int damaged = 0;
  // The plain read/write route is taken where the kernel's copy routes are refused; entry
  // types are unknown on file systems without d_type, so every entry is looked up.
  for (int variant = 0; variant < 3; ++variant) {
    const bool plainRoute = variant == 1;
    const bool hideTypes = variant == 2;
    std::vector<FaultInjectionFileSystem::Call> calls;
    {
      Scenario sc;
      FaultInjectionFileSystem recorder;
      if (plainRoute) RefuseFastRoutes(recorder);
      recorder.HideEntryTypes(hideTypes);
      RunSync(sc.f1, sc.f2, Scenario::Options(&recorder));
      ASSERT_EQ(Difference(sc.after, Snapshot(sc.f2)), "") << "the clean run does not sync";
      calls = recorder.Journal();
    }
    ASSERT_GT(calls.size(), 20u);
    std::map<FsOp, int> seen;
    for (const auto& call : calls) {
      const int nth = ++seen[call.op];
      if (call.failed) continue;  // a refused fast route
      const bool dataCall = call.op == FsOp::Write || call.op == FsOp::CopyFileRange ||
                            call.op == FsOp::OpenAt || call.op == FsOp::MkdirAt ||
                            call.op == FsOp::Close || call.op == FsOp::LinkAt;
      for (int error : {EIO, ENOSPC}) {
        if (error == ENOSPC && !dataCall) continue;
        SCOPED_TRACE(std::string(plainRoute  ? "read/write route: "
                                 : hideTypes ? "entry types unknown: "
                                             : "") +
                     FsOpName(call.op) + " call " + std::to_string(nth) + " (" + call.path +
                     ") fails with " + std::strerror(error));
        Scenario sc;
        FaultInjectionFileSystem fs;
        if (plainRoute) RefuseFastRoutes(fs);
        fs.HideEntryTypes(hideTypes);
        fs.FailNth(call.op, nth, error);
        const std::vector<std::string> log = RunSync(sc.f1, sc.f2, Scenario::Options(&fs));
        ++runs;
        for (const auto& done : fs.Journal()) {
          faults += done.failed && done.op == call.op;
        }
        damaged += CheckFaultedRun(sc, log, error);
        // The next run, without the fault, completes the synchronization.
        const std::vector<std::string> healed = RunSync(sc.f1, sc.f2, Scenario::Options(nullptr));
        EXPECT_EQ(Difference(sc.after, Snapshot(sc.f2)), "") << Joined(healed);
      }
    }
  }
  std::printf(
      "safety: every call of a run failed in turn: %d runs, %d faults injected, %d "
      "damaged files or silent failures\n",
      runs, faults, damaged);
}

TEST(SafetyCopyFaults, ShortWritesAndRefusedFastRoutesStillCopyWhole) {
  Scenario sc;
  FaultInjectionFileSystem fs;
  RefuseFastRoutes(fs);
  fs.LimitWrites(4093);
  const std::vector<std::string> log = RunSync(sc.f1, sc.f2, Scenario::Options(&fs));
  EXPECT_EQ(Difference(sc.after, Snapshot(sc.f2)), "") << Joined(log);
}

// The free space of the file system holding `path`, in bytes.
unsigned long long FreeBytes(const std::string& path) {
  struct statvfs st;
  if (statvfs(path.c_str(), &st) != 0) return 0;
  return static_cast<unsigned long long>(st.f_bavail) * st.f_frsize;
}

TEST(SafetyCopyFaults, FullDiskLeavesOldFilesAndNoTemporaries) {
  std::string why;
  if (!EnterPrivateMountNamespace(&why)) GTEST_SKIP() << why;
  struct DiskCase {
    const char* what;
    const char* options;  // of the tmpfs holding Folder 2
  };
  const DiskCase cases[] = {
      {"no space", "size=1536k"},
      {"no inodes", "size=64m,nr_inodes=12"},
  };
  for (const DiskCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir s;
    const std::string f1 = s.Path("one");
    const std::string disk = s.Path("disk");
    const std::string f2 = disk + "/two";
    MakeFolder(f1);
    MakeFolder(f1 + "/many");
    MakeFolder(disk);
    if (!s.MountTmpfs(disk, c.options, &why)) GTEST_SKIP() << why;
    MakeFolder(f2);
    WriteFile(f2 + "/big.bin", Pattern(1000000, 5), 0640);
    SetTimes(f2 + "/big.bin", kOld);
    WriteFile(f1 + "/big.bin", Pattern(1400000, 6));
    WriteFile(f1 + "/huge-new.bin", Pattern(3000000, 7));
    for (int i = 0; i < 20; ++i) {
      WriteFile(f1 + "/many/f" + std::to_string(i), Pattern(1000 + i, 8 + i));
    }
    const TreeState source = Snapshot(f1);
    const TreeState before = Snapshot(f2);
    const unsigned long long freeBefore = FreeBytes(f2);

    const std::vector<std::string> log = RunSync(f1, f2);

    const TreeState after = Snapshot(f2);
    int failures = 0;
    for (const auto& [path, state] : source) {
      if (state.type != 'f') continue;
      const auto it = after.find(path);
      const auto old = before.find(path);
      const bool isNew = it != after.end() && it->second == state;
      const bool isOld =
          old == before.end() ? it == after.end() : it != after.end() && it->second == old->second;
      EXPECT_TRUE(isNew || isOld) << path << " is damaged\n" << Joined(log);
      if (!isNew) {
        ++failures;
        EXPECT_EQ(LinesWith(log, "Cannot copy file \"" + f1 + "/" + path + "\"").size() +
                      LinesWith(log, "Cannot read folder").size(),
                  1u)
            << path << "\n"
            << Joined(log);
      }
    }
    EXPECT_GT(failures, 0) << "the disk never filled up\n" << Joined(log);
    EXPECT_NE(LinesWith(log, "No space left on device").size(), 0u) << Joined(log);
    for (const auto& [path, state] : after) {
      EXPECT_FALSE(FaultInjectionFileSystem::IsTemporaryPath(path)) << path;
    }
    if (std::string(c.what) == "no space") {
      EXPECT_EQ(after.at("big.bin"), before.at("big.bin"));
      // Every temporary file gave its space back.
      unsigned long long copied = 0;
      for (const auto& [path, state] : after) {
        if (state.type == 'f' && before.count(path) == 0) copied += state.size;
      }
      EXPECT_GE(FreeBytes(f2) + copied + 64 * 1024, freeBefore);
    }
  }
}

TEST(SafetyCopyFaults, ReadOnlyDestinationChangesNothing) {
  std::string why;
  if (!EnterPrivateMountNamespace(&why)) GTEST_SKIP() << why;
  Scenario sc;
  if (!sc.s.BindMount(sc.f2, sc.f2, &why)) GTEST_SKIP() << why;
  if (mount(nullptr, sc.f2.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    GTEST_SKIP() << "cannot remount read-only: " << std::strerror(errno);
  }
  const std::vector<std::string> log = RunSync(sc.f1, sc.f2, Scenario::Options(nullptr));
  EXPECT_EQ(Difference(sc.before, Snapshot(sc.f2)), "") << Joined(log);
  EXPECT_TRUE(LinesWith(log, "Copy file").empty()) << Joined(log);
  EXPECT_TRUE(LinesWith(log, "Delete file").empty()) << Joined(log);
  EXPECT_GE(LinesWith(log, "Read-only file system").size(), 5u) << Joined(log);
}

}  // namespace
}  // namespace vantrel::testsupport
