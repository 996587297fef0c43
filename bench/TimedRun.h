// Times one program the same way for every tool of the benchmark.
#pragma once

#include <string>
#include <vector>

namespace vantrel::bench {

struct TimedResult {
  double seconds = 0;   // from just before the start to the end (of the sync, when asked)
  long maxRssKiB = 0;   // the program's peak resident set
  int exitCode = -1;    // its exit status; 128 + signal number when a signal ended it
};

// Runs `command` (searched in PATH) with standard output and error appended to `logPath`
// (inherited when empty), waits for it and, when `syncAfter`, flushes every file system with
// sync(2) before the clock stops, so that a copy is timed until its data is on disk.
// Throws std::runtime_error when the program cannot be started.
TimedResult RunTimed(const std::vector<std::string>& command, bool syncAfter,
                     const std::string& logPath);

}  // namespace vantrel::bench
