// Nothing outside Folder 1 and Folder 2 is ever written, changed or deleted, even while
// another program swaps a folder of either tree for a symbolic link to the outside (rename
// the folder away, put a link in its place, and back) as fast as it can, during copies in
// both directions and removals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

constexpr int kRounds = 500;
constexpr std::time_t kOld = 1600000000;

// What can show that something outside was touched: every entry (content, mode, times) and
// the times of the outside folders themselves, which any entry made or removed changes.
struct OutsideState {
  TreeState entries;
  std::vector<struct timespec> folderTimes;

  static OutsideState Of(const std::string& root, const std::vector<std::string>& folders) {
    OutsideState state{Snapshot(root), {}};
    for (const std::string& folder : folders) {
      struct stat st;
      lstat(folder.c_str(), &st);
      state.folderTimes.push_back(st.st_mtim);
      state.folderTimes.push_back(st.st_ctim);
    }
    for (auto& [path, entry] : state.entries) {
      struct stat st;
      lstat((root + "/" + path).c_str(), &st);
      entry.inode = st.st_ino;
    }
    return state;
  }
  bool operator==(const OutsideState& o) const {
    if (entries != o.entries || folderTimes.size() != o.folderTimes.size()) return false;
    for (const auto& [path, entry] : entries) {
      if (entry.inode != o.entries.at(path).inode) return false;
    }
    for (std::size_t i = 0; i < folderTimes.size(); ++i) {
      if (folderTimes[i].tv_sec != o.folderTimes[i].tv_sec ||
          folderTimes[i].tv_nsec != o.folderTimes[i].tv_nsec) {
        return false;
      }
    }
    return true;
  }
};

// Names the passes write in the swapped folders, so that a followed link would hit them.
const char* const kNames[] = {"f.txt", "g.txt", "extra.txt", "deep"};

void MakeRound(const std::string& f1, const std::string& f2, int round) {
  RunCommand("rm -rf '" + f1 + "' '" + f2 + "'");
  for (const std::string& top : {f1, f2}) {
    MakeFolder(top);
    MakeFolder(top + "/sub");
    MakeFolder(top + "/sub/deep");
  }
  MakeFolder(f2 + "/gone");
  WriteFile(f1 + "/sub/f.txt", "new f " + std::to_string(round));
  WriteFile(f1 + "/sub/deep/g.txt", "new g");
  WriteFile(f2 + "/sub/f.txt", "old f");
  SetTimes(f2 + "/sub/f.txt", kOld);
  WriteFile(f2 + "/sub/extra.txt", "extra in Folder 2");  // copied back, or removed
  WriteFile(f2 + "/sub/deep/g.txt", "old g");
  SetTimes(f2 + "/sub/deep/g.txt", kOld);
  WriteFile(f2 + "/gone/f.txt", "lacking");
}

TEST(SafetySymlinkRace, SwappingFoldersForLinksNeverLeadsOutside) {
  ScratchDir s;
  const std::string f1 = s.Path("one");
  const std::string f2 = s.Path("two");
  const std::string outside = s.Path("outside");
  MakeFolder(outside);
  MakeFolder(outside + "/deep");
  for (const char* name : kNames) {
    if (std::string(name) != "deep") WriteFile(outside + "/" + name, "outside, do not touch");
  }
  WriteFile(outside + "/deep/g.txt", "outside, do not touch");
  WriteFile(outside + "/sentinel", "outside, do not touch");
  for (const char* name : {"f.txt", "g.txt", "extra.txt", "sentinel", "deep/g.txt"}) {
    SetTimes(outside + "/" + name, kOld);
  }
  const std::vector<std::string> outsideFolders = {outside, outside + "/deep"};
  const OutsideState before = OutsideState::Of(outside, outsideFolders);

  long swaps = 0;
  int touched = 0;
  int rounds = 0;
  for (int round = 0; round < kRounds; ++round, ++rounds) {
    MakeRound(f1, f2, round);
    // The folders swapped: in the copy's destination, in the source that the second pass of
    // a bidirectional run writes to, and a lacking folder that the removal pass deletes.
    const std::vector<std::string> targets = {f2 + "/sub", f1 + "/sub", f2 + "/gone"};
    std::atomic<bool> stop{false};
    std::atomic<long> done{0};
    std::thread racer([&] {
      for (std::size_t k = 0; !stop.load(); ++k) {
        const std::string& folder = targets[k % targets.size()];
        const std::string away = folder + ".away";
        if (rename(folder.c_str(), away.c_str()) != 0) continue;
        if (symlink(outside.c_str(), folder.c_str()) == 0) {
          for (int spin = 0; spin < 200; ++spin)
            std::atomic_signal_fence(std::memory_order_seq_cst);
          unlink(folder.c_str());
        }
        rename(away.c_str(), folder.c_str());
        done.fetch_add(1);
      }
    });
    RunOptions options;
    options.copyMode = round % 2;  // bidirectional, then exact copy
    options.exact = round % 2 == 1;
    options.system = round % 4 >= 2;  // links are copied as links, or left alone
    RunSync(f1, f2, options);
    stop = true;
    racer.join();
    swaps += done.load();
    if (!(OutsideState::Of(outside, outsideFolders) == before)) {
      ++touched;
      ADD_FAILURE() << "round " << round << " touched the outside folder:\n"
                    << Difference(before.entries, Snapshot(outside));
      break;
    }
  }
  std::printf(
      "safety: racing symlink swaps: %d rounds, %ld swaps, %d writes outside the "
      "folders\n",
      rounds, swaps, touched);
}

}  // namespace
}  // namespace vantrel::testsupport
