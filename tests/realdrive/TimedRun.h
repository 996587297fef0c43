// A run under a time limit, for drives that may make a run hang.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "engine/uVantrelProject.h"

namespace vantrel::realdrive {

struct TimedRun {
  bool finished = false;         // Run returned within the limit
  std::vector<std::string> log;  // the result log as far as it came back
  std::string error;             // the message of an exception that ended Run
};

// Runs sync.Run() in a child process and waits at most `limit`; a child that is still
// running then is killed and the run reported unfinished. What the run does to the files is
// real; its log comes back through a pipe. Names in the log must not hold line breaks.
TimedRun RunWithLimit(TFolderSynchronizer& sync, std::chrono::seconds limit);

}  // namespace vantrel::realdrive
