// The look-ahead's choice rests on these readings: a thread that shares one core with a busy
// one is seen to wait.
#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/ThreadWaits.h"

namespace vantrel {
namespace {

void PinToFirstCpu() {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(0, &set);
  ::sched_setaffinity(0, sizeof set, &set);
}

TEST(ThreadWaits, GrowWhileAnotherThreadHoldsTheCore) {
  cpu_set_t before;
  ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
  if (!CPU_ISSET(0, &before)) GTEST_SKIP() << "CPU 0 is not ours to run on";
  const ThreadWaits waits;
  const std::int64_t start = waits.Nanoseconds();
  if (start < 0) GTEST_SKIP() << "this kernel keeps no scheduler statistics";
  PinToFirstCpu();
  std::atomic<bool> stop{false};
  std::thread spinner([&] {
    PinToFirstCpu();
    while (!stop.load()) {
    }
  });
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (std::chrono::steady_clock::now() < end) {
  }
  stop.store(true);
  spinner.join();
  ::sched_setaffinity(0, sizeof before, &before);
  // Two busy threads on one core: each waits for about half of the time.
  EXPECT_GT(waits.Nanoseconds() - start, 20'000'000);
}

}  // namespace
}  // namespace vantrel
