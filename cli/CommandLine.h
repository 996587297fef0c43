// What vantrel-sync was asked to do, read from its arguments.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel::cli {

enum class Command { kHelp, kVersion, kList, kRun };

struct CommandLine {
  Command command = Command::kHelp;
  std::string project;  // run: a display name or the path of a project file
  bool dryRun = false;
  bool yes = false;
  bool json = false;
  bool quiet = false;
};

// Wrong usage: the message says what is wrong, without the program's name.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the arguments after the program's name. Throws UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The text of --help.
std::string HelpText();

}  // namespace vantrel::cli
