#include "cli/CommandLine.h"

namespace vantrel::cli {
namespace {

// Sets the flag a run option names; false for an option that is not one.
bool TakeRunOption(const std::string& name, CommandLine& line) {
  if (name == "n" || name == "dry-run") {
    line.dryRun = true;
  } else if (name == "y" || name == "yes") {
    line.yes = true;
  } else if (name == "json") {
    line.json = true;
  } else if (name == "q" || name == "quiet") {
    line.quiet = true;
  } else {
    return false;
  }
  return true;
}

CommandLine ParseRun(const std::vector<std::string>& args) {
  CommandLine line;
  line.command = Command::kRun;
  bool named = false;
  bool optionsEnded = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      // "--json" is long only; the other long names have a one-letter form.
      const std::string name = arg.substr(2);
      if (name.size() == 1 || !TakeRunOption(name, line)) {
        throw UsageError("unknown option '" + arg + "'");
      }
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      for (std::size_t k = 1; k < arg.size(); ++k) {
        const std::string name(1, arg[k]);
        if (!TakeRunOption(name, line)) {
          throw UsageError("unknown option '-" + name + "'");
        }
      }
    } else if (!named) {
      line.project = arg;
      named = true;
    } else {
      throw UsageError("more than one project given: '" + line.project + "' and '" + arg + "'");
    }
  }
  if (!named) throw UsageError("'run' needs a project: its name or the path of its file");
  if (line.project.empty()) throw UsageError("the project's name is empty");
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("no command given");
  const std::string& first = args[0];
  CommandLine line;
  if (first == "--help" || first == "-h" || first == "help") {
    line.command = Command::kHelp;
  } else if (first == "--version") {
    line.command = Command::kVersion;
  } else if (first == "list") {
    line.command = Command::kList;
  } else if (first == "run") {
    return ParseRun(args);
  } else if (!first.empty() && first[0] == '-') {
    throw UsageError("unknown option '" + first + "'");
  } else {
    throw UsageError("unknown command '" + first + "'");
  }
  if (args.size() > 1) throw UsageError("'" + first + "' takes no arguments");
  return line;
}

std::string HelpText() {
  return "Usage: vantrel-sync COMMAND\n"
         "Runs saved Vantrel projects without the window.\n"
         "\n"
         "  vantrel-sync list                    one line per saved project: NAME<TAB>FILE, "
         "sorted by name\n"
         "  vantrel-sync run PROJECT [options]   PROJECT: a project's display name, or the path "
         "of a .VTPrj file\n"
         "    -n, --dry-run    change nothing; print the actions a run would take now\n"
         "    -y, --yes        answer \"Yes to all\" to removal questions\n"
         "        --json       print one JSON object at the end instead of the log lines\n"
         "    -q, --quiet      no progress line\n"
         "  vantrel-sync --help | --version\n"
         "\n"
         "Without --yes, removals are asked on the terminal; when standard input is not a\n"
         "terminal nothing is removed.\n"
         "\n"
         "Exit status: 0 done, nothing failed; 1 done with failures; 2 wrong usage, or the\n"
         "project cannot be found or loaded; 3 stopped (signal or \"Cancel\"); 4 the run was\n"
         "refused or ended by an error; 5 another run holds the project.\n";
}

}  // namespace vantrel::cli
