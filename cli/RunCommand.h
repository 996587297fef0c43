// The two commands of vantrel-sync; each returns the program's exit status.
#pragma once

#include "cli/CommandLine.h"

namespace vantrel::cli {

// The exit statuses, documented in --help, the manual page and the README.
enum ExitStatus : int {
  kExitDone = 0,
  kExitFailures = 1,
  kExitUsage = 2,  // also: the project cannot be found or loaded
  kExitStopped = 3,
  kExitRefused = 4,
  kExitLocked = 5,
};

int ListCommand();
int RunCommand(const CommandLine& line);

}  // namespace vantrel::cli
