// The process may die at any moment (SIGKILL, power switch aside): every file of Folder 2 is
// then the old file or the complete new one, never a truncated or mixed one; what is left
// over is only our own temporary files; and the next run removes those, never copies or
// offers them, and completes the synchronization.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

constexpr std::time_t kOld = 1600000000;
constexpr std::time_t kNew = 1700000000;
constexpr int kRuns = 120;

struct CrashTrees {
  ScratchDir s;
  std::string f1 = s.Path("one");
  std::string f2 = s.Path("two");

  // Files of Folder 1, by name and size; the even ones have an older version in Folder 2.
  const std::vector<std::pair<std::string, std::size_t>> files = {
      {"a.bin", 900000},  {"b.bin", 1500000},    {"c.bin", 300000},
      {"d.bin", 1200000}, {"sub/e.bin", 700000}, {"sub/f.bin", 1000000},
  };

  CrashTrees() {
    MakeFolder(f1);
    MakeFolder(f1 + "/sub");
    MakeFolder(f2);
    for (std::size_t i = 0; i < files.size(); ++i) {
      WriteFile(f1 + "/" + files[i].first, Pattern(files[i].second, 100 + i), 0640);
      SetTimes(f1 + "/" + files[i].first, kNew, 500000000);
    }
  }

  // Puts Folder 2 back as it was before the first run: old versions, and a lacking folder.
  void ResetFolder2() {
    RunCommand("rm -rf '" + f2 + "'");
    MakeFolder(f2);
    MakeFolder(f2 + "/sub");
    for (std::size_t i = 0; i < files.size(); i += 2) {
      WriteFile(f2 + "/" + files[i].first, Pattern(files[i].second / 2, 200 + i), 0600);
      SetTimes(f2 + "/" + files[i].first, kOld);
    }
    MakeFolder(f2 + "/extra");
    for (int i = 0; i < 40; ++i) {
      WriteFile(f2 + "/extra/x" + std::to_string(i), "extra");
      SetTimes(f2 + "/extra/x" + std::to_string(i), kOld);
    }
  }
};

RunOptions ExactCopy() {
  RunOptions options;
  options.exact = true;
  return options;
}

// Puts Folder 2 back and starts one exact-copy run of the trees in a forked child.
pid_t StartRun(CrashTrees& t) {
  t.ResetFolder2();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    RunSync(t.f1, t.f2, ExactCopy());
    _exit(0);
  }
  return child;
}

TEST(SafetyCrash, KilledRunsLeaveOldOrNewFilesAndOnlyOurTemporaries) {
  CrashTrees t;
  t.ResetFolder2();
  const TreeState before = Snapshot(t.f2);
  // Calibrate: how long one whole run takes here, from the moment the child exists (forking
  // a large process, as under the sanitizers, takes long itself).
  long runMicros = 0;
  for (int i = 0; i < 3; ++i) {
    const pid_t child = StartRun(t);
    ASSERT_GE(child, 0);
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    runMicros = std::max<long>(runMicros, std::chrono::duration_cast<std::chrono::microseconds>(
                                              std::chrono::steady_clock::now() - start)
                                              .count());
  }
  const TreeState after = Snapshot(t.f2);
  ASSERT_EQ(after.count("extra"), 0u) << "the calibration run did not remove the extra folder";

  std::mt19937 random(20240601);
  std::uniform_int_distribution<long> delay(0, runMicros + runMicros / 10);
  int killed = 0;
  int damaged = 0;
  int leftovers = 0;
  int remaining = 0;
  int runs = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (; runs < kRuns && std::chrono::steady_clock::now() < deadline; ++runs) {
    const pid_t child = StartRun(t);
    ASSERT_GE(child, 0);
    const long micros = delay(random);
    const struct timespec pause = {micros / 1000000, (micros % 1000000) * 1000};
    nanosleep(&pause, nullptr);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    killed += WIFSIGNALED(status);

    // Every entry is as before, as after, or one of our temporaries.
    const TreeState now = Snapshot(t.f2);
    for (const auto& [path, state] : now) {
      if (FaultInjectionFileSystem::IsTemporaryPath(path)) {
        ++leftovers;
        continue;
      }
      const auto old = before.find(path);
      const auto done = after.find(path);
      const bool fine = (old != before.end() && old->second == state) ||
                        (done != after.end() && done->second == state);
      if (!fine) {
        ++damaged;
        ADD_FAILURE() << "run " << runs << ", killed after " << micros << " us: " << path
                      << " is neither old nor new";
      }
    }
    for (const auto& [path, state] : before) {
      if (now.count(path) == 0 && after.count(path) != 0) {
        ++damaged;
        ADD_FAILURE() << "run " << runs << ": " << path << " is gone";
      }
    }

    // The next run cleans up and completes, and never treats a temporary as the user's. A
    // temporary counts as stale only when it is older than the run, by a clock that ticks
    // every few milliseconds, so the next run starts a tick later, as any real one does.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::vector<std::string> log = RunSync(t.f1, t.f2, ExactCopy());
    const TreeState healed = Snapshot(t.f2);
    for (const auto& [path, state] : healed) {
      remaining += FaultInjectionFileSystem::IsTemporaryPath(path);
    }
    EXPECT_EQ(Difference(after, healed), "") << "run " << runs << "\n" << Joined(log);
    EXPECT_TRUE(LinesWith(log, ".vantrel-").empty()) << Joined(log);
  }
  EXPECT_GE(runs, 100) << "too slow: the time limit ended the loop";
  std::printf(
      "safety: SIGKILL during copy: %d runs (%d killed mid-run), %d damaged files, %d "
      "leftover temporaries, %d left after the next run\n",
      runs, killed, damaged, leftovers, remaining);
}

}  // namespace
}  // namespace vantrel::testsupport
