// How long a thread has waited for a core: ready to run while the cores ran other threads.
#pragma once

#include <cstdint>

namespace vantrel {

// Reads the waiting time of the thread that made it (the kernel's scheduler statistics). Used
// by that thread only; not copyable.
class ThreadWaits {
 public:
  ThreadWaits();
  ~ThreadWaits();
  ThreadWaits(const ThreadWaits&) = delete;
  ThreadWaits& operator=(const ThreadWaits&) = delete;

  // Returns the nanoseconds the thread has waited for a core since it began, or -1 when the
  // kernel does not say.
  std::int64_t Nanoseconds() const;

 private:
  int fd_;
};

}  // namespace vantrel
