// What the look-ahead tests share: a file system that turns look-ahead on, tree pairs that
// meet every case of both passes, and one run's outcome in comparable form.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/FileSystem.h"
#include "engine/uVantrelProject.h"
#include "tests/core/FaultInjectionSupport.h"
#include "tests/core/TempTree.h"

namespace vantrel::testsupport {

inline constexpr std::time_t kBase = 1650000000;  // April 2022

// The real file system with look-ahead from `minimum` names on (0: never), every batch worth it
// going to the helper unless `adapts`, when the look-ahead chooses as it does by default. Lookups
// in folders named "locked" fail with EACCES, as in a folder without search permission (which root,
// who may run these tests, would not see). Counts the lookups made on other threads than the one
// that created it. Safe for calls from several threads.
class LookAheadFileSystem : public FileSystemWrapper {
 public:
  explicit LookAheadFileSystem(std::size_t minimum, bool adapts = false)
      : FileSystemWrapper(FileSystem::Default()),
        minimum_(minimum),
        adapts_(adapts),
        runner_(std::this_thread::get_id()) {}

  std::size_t LookAheadMinimum() const override { return minimum_; }
  bool LookAheadAdapts() const override { return adapts_; }
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    if (std::this_thread::get_id() != runner_) {
      aside_.fetch_add(1);
      SeenAside(name);
    }
    if (Locked(dirfd)) {
      errno = EACCES;
      return -1;
    }
    return FileSystemWrapper::StatAt(dirfd, name, st, flags);
  }
  static bool Locked(int dirfd) {
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path);
    return n > 7 && std::string_view(path, static_cast<std::size_t>(n)).ends_with("/locked");
  }
  long aside() const { return aside_.load(); }

 protected:
  virtual void SeenAside(const char*) {}

 private:
  const std::size_t minimum_;
  const bool adapts_;
  const std::thread::id runner_;
  std::atomic<long> aside_{0};
};

struct Mode {
  const char* name;
  int copyMode;
  bool exact;
  bool system;
  const char* include;
};

inline const Mode kModes[] = {
    {"exact copy", 1, true, false, ""},
    {"bidirectional", 0, false, false, ""},
    {"system entries and masks", 1, false, true, "f0*,l*,new*"},
};

// A tree pair made from `seed`: folders of 20 to 60 entries whose Folder 2 counterparts are
// missing, older, as old, newer, folders, links or refused, plus entries only in Folder 2.
inline void MakePair(const std::string& one, const std::string& two, unsigned seed) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return static_cast<int>(random() % n); };
  MakeFolder(one);
  MakeFolder(two);
  for (const char* folder : {"", "/a", "/a/b", "/c", "/.d", "/locked"}) {
    MakeFolder(one + folder);
    const bool counterpart = folder != std::string("/c");
    if (counterpart) MakeFolder(two + folder);
    const int count = 20 + pick(41);
    for (int i = 0; i < count; ++i) {
      char name[32];
      const int kind = pick(20);
      std::snprintf(name, sizeof name, "%s%03d", kind == 1 ? ".f" : kind == 2 ? "l" : "f", i);
      const std::string source = one + folder + "/" + name;
      const std::string target = two + folder + "/" + name;
      if (kind == 2) {
        ::symlink(name, source.c_str());
      } else {
        WriteFile(source, Pattern(1 + pick(3000), seed + i));
      }
      SetTimes(source, kBase + pick(4) * 100);
      if (!counterpart) continue;
      switch (pick(8)) {
        case 0:
        case 1:
          break;  // missing
        case 2:
          WriteFile(target, "older");
          SetTimes(target, kBase - 1000);
          break;
        case 3:
          WriteFile(target, Pattern(10, i));
          SetTimes(target, kBase + 150);
          break;
        case 4:
          WriteFile(target, "newer");
          SetTimes(target, kBase + 10000);
          break;
        case 5:
          MakeFolder(target);
          break;
        case 6:
          ::symlink("elsewhere", target.c_str());
          SetTimes(target, kBase + 150);
          break;
        default:
          WriteFile(target, "same");
          SetTimes(target, kBase + 300);
          break;
      }
    }
    for (int i = 0; i < 3; ++i) {
      if (!counterpart) break;
      // A folder on one side where the other has a file.
      const std::string mixed = "/g" + std::to_string(i);
      MakeFolder(one + folder + mixed);
      WriteFile(one + folder + mixed + "/inside", "inside");
      SetTimes(one + folder + mixed + "/inside", kBase);
      WriteFile(two + folder + mixed, "a file");
      SetTimes(two + folder + mixed, kBase);
      WriteFile(two + folder + "/extra" + std::to_string(i), "extra");
      SetTimes(two + folder + "/extra" + std::to_string(i), kBase);
      MakeFolder(two + folder + "/xdir" + std::to_string(i));
      MakeFolder(two + folder + "/xdir" + std::to_string(i) + "/inner");
    }
  }
  MakeFolder(one + "/new");
  MakeFolder(one + "/new/deeper");
  for (int i = 0; i < 20; ++i) {
    WriteFile(one + "/new/deeper/new" + std::to_string(i), "new");
    SetTimes(one + "/new/deeper/new" + std::to_string(i), kBase);
  }
}

struct Outcome {
  std::vector<std::string> log;
  std::vector<std::string> progress;
  std::vector<std::string> trees;
};

// Replaces every occurrence of `root` in `text` by "<root>".
inline std::string Relative(std::string text, const std::string& root) {
  for (std::size_t at; (at = text.find(root)) != std::string::npos;) {
    text.replace(at, root.size(), "<root>");
  }
  return text;
}

// The entries of a tree as comparable texts; folder times are left out (they are the time
// of the run).
inline std::vector<std::string> Described(const std::string& root) {
  std::vector<std::string> out;
  for (const auto& [path, entry] : Snapshot(root)) {
    std::string text = path + " " + entry.type + " " + std::to_string(entry.mode) + " " +
                       std::to_string(entry.size) + " " + std::to_string(entry.hash);
    if (entry.type != 'd') text += " " + std::to_string(entry.mtime.tv_sec);
    out.push_back(text);
  }
  return out;
}

inline Outcome RunOn(const std::string& root, const Mode& mode, FileSystem& fs) {
  TFolderSynchronizer sync("");
  sync.SetFolder1(root + "/one");
  sync.SetFolder2(root + "/two");
  sync.SetCopyMode(mode.copyMode);
  sync.SetExactCopy(mode.exact);
  sync.SetIncludeSubfolders(true);
  sync.SetProcessHidden(true);
  sync.SetProcessSystem(mode.system);
  sync.SetUseTrash(false);  // trees in /dev/shm, whose top-folder trash no test may fill
  if (*mode.include != '\0') {
    sync.SetAdvancedOptions(true);
    sync.SetIncludeText(mode.include);
  }
  sync.SetFileSystem(&fs);
  sync.OnConfirmRemoval = [](const std::string&, const std::string&) { return mrYesToAll; };
  Outcome outcome;
  sync.OnProgress = [&](TFolderSynchronizer&, const std::string& text) {
    outcome.progress.push_back(Relative(text, root));
  };
  sync.Run();
  for (const std::string& line : sync.ResultLog()) outcome.log.push_back(Relative(line, root));
  outcome.trees = Described(root + "/one");
  for (const std::string& entry : Described(root + "/two")) outcome.trees.push_back("2 " + entry);
  return outcome;
}

// Ends the process when a test body has not finished in time: a hang must fail the suite,
// not stall it until the CI job is killed.
class Watchdog {
 public:
  Watchdog(std::chrono::seconds limit, std::string what)
      : thread_([this, limit, what = std::move(what)] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
            std::fprintf(stderr, "Hung for %lld s: %s\n", static_cast<long long>(limit.count()),
                         what.c_str());
            std::fflush(stderr);
            std::_Exit(3);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    done_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace vantrel::testsupport
