// Running the system's tools (mkfs, losetup, the FUSE drivers, umount) from the real-drive tests.
#pragma once

#include <string>
#include <vector>

namespace vantrel::realdrive {

struct CommandResult {
  int status = -1;     // the exit code; 128 + signal number when a signal ended it
  std::string output;  // standard output and standard error together
};

// Runs `argv` (argv[0] searched in PATH and the sbin folders) with no input and waits for it.
CommandResult RunCommand(const std::vector<std::string>& argv);

// Runs `argv` and throws std::runtime_error with its output when it does not exit with 0.
std::string RunChecked(const std::vector<std::string>& argv);

// The full path of a program, or an empty text when none is found. Root's PATH may lack the
// sbin folders in CI, so they are searched as well.
std::string FindProgram(const std::string& name);

}  // namespace vantrel::realdrive
