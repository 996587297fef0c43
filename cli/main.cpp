// vantrel-sync: runs saved Vantrel projects without the window, for cron, timers and scripts.
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/RunCommand.h"
#include "storage/uGlobal.h"

#ifndef VANTREL_VERSION
#error "VANTREL_VERSION is set by cli/CMakeLists.txt"
#endif

int main(int argc, char** argv) {
  using namespace vantrel::cli;
  CommandLine line;
  try {
    line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& error) {
    std::cerr << "vantrel-sync: " << error.what() << "\nTry 'vantrel-sync --help'." << std::endl;
    return kExitUsage;
  }
  try {
    switch (line.command) {
      case Command::kHelp:
        std::cout << HelpText();
        return kExitDone;
      case Command::kVersion:
        std::cout << "vantrel-sync " VANTREL_VERSION "\n";
        return kExitDone;
      case Command::kList:
        vantrel::InitProjectsFolder();
        return ListCommand();
      case Command::kRun:
        vantrel::InitProjectsFolder();
        return RunCommand(line);
    }
  } catch (const std::exception& error) {
    std::cerr << "vantrel-sync: " << error.what() << std::endl;
    return kExitRefused;
  }
  return kExitUsage;
}
