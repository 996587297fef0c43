#include "engine/ThreadWaits.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace vantrel {

// /proc/thread-self names the thread that opens it; the descriptor keeps naming that thread,
// so each reading is one pread.
ThreadWaits::ThreadWaits() : fd_(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}

ThreadWaits::~ThreadWaits() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t ThreadWaits::Nanoseconds() const {
  if (fd_ < 0) return -1;
  // "RUNNING_NS WAITING_NS TIMESLICES\n"
  char text[96];
  const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
  if (n <= 0) return -1;
  text[n] = '\0';
  unsigned long long running = 0;
  unsigned long long waiting = 0;
  if (std::sscanf(text, "%llu %llu", &running, &waiting) != 2) return -1;
  return static_cast<std::int64_t>(waiting);
}

}  // namespace vantrel
