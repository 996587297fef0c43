#include "cli/RunCommand.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/ProjectLookup.h"
#include "cli/RunReport.h"
#include "cli/Signals.h"
#include "cli/Terminal.h"
#include "cli/Utf8Text.h"
#include "common/MessageHook.h"
#include "common/ModalResult.h"
#include "engine/uVantrelProject.h"
#include "storage/ProjectLock.h"
#include "storage/uGlobal.h"

namespace vantrel::cli {
namespace {

void Error(const std::string& text) { std::cerr << "vantrel-sync: " << text << std::endl; }

void WarnUnreadable(const std::vector<std::string>& unreadable) {
  for (const std::string& text : unreadable)
    Error("skipped a project file that cannot be read: " + text);
}

// A control character would break the one-line, tab-separated form of the list.
std::string ListField(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

// Loads the project; a message the storage shows while loading (a value it cannot read, which
// it then takes as missing) makes the file count as damaged: an unattended run must not go on
// with settings that silently fell back to their defaults.
void LoadStrictly(TFolderSynchronizer& project) {
  std::vector<std::string> messages;
  const MessageHook previous =
      SetMessageHook([&messages](const std::string& message) { messages.push_back(message); });
  try {
    project.Load();
  } catch (...) {
    SetMessageHook(previous);
    throw;
  }
  SetMessageHook(previous);
  if (!messages.empty()) throw std::runtime_error(messages.front());
  // The window never saves a project without both folders; an empty one would be taken as the
  // home folder.
  if (project.Folder1().empty()) throw std::runtime_error("the project has no Folder 1");
  if (project.Folder2().empty()) throw std::runtime_error("the project has no Folder 2");
}

enum class Removals { kYesToAll, kAsk, kNoToAll };

const char kNoToAllLine[] =
    "standard input is not a terminal: nothing is removed (answered \"No to all\"; --yes "
    "removes)";

// One run or dry run of a loaded project, with its output.
class Session {
 public:
  Session(const CommandLine& line, TFolderSynchronizer& project)
      : line_(line),
        project_(project),
        removals_(line.yes                    ? Removals::kYesToAll
                  : isatty(STDIN_FILENO) != 0 ? Removals::kAsk
                                              : Removals::kNoToAll),
        progress_(!line.quiet && isatty(STDERR_FILENO) != 0),
        stdoutIsTerminal_(isatty(STDOUT_FILENO) != 0) {}

  int Go() {
    project_.OnProgress = [this](TFolderSynchronizer& sender, const std::string& text) {
      Progress(sender, text);
    };
    project_.OnAction = [this](const RunAction& action, int error) { Action(action, error); };
    project_.OnConfirmRemoval = [this](const std::string& kind, const std::string& path) {
      return Confirm(kind, path);
    };
    std::string refusal;
    try {
      if (line_.dryRun) {
        project_.Preview();
      } else {
        project_.Run();
      }
    } catch (const std::exception& error) {
      refusal = error.what();
    }
    const RunSummary& summary = project_.Summary();
    progress_.Finish(summary);
    if (line_.dryRun && summary.stopped) Emit("Terminated by user");
    if (line_.dryRun && removals_ == Removals::kNoToAll && removalsLeftOut_ > 0) {
      Error(kNoToAllLine);
    }
    if (!refusal.empty()) Error(refusal);
    if (line_.json) {
      const ReportHeader header{project_.ProjectName(), project_.FileName(), line_.dryRun};
      nlohmann::json report = ReportJson(header, summary, std::move(actions_), std::move(log_),
                                         !(line_.dryRun && removals_ == Removals::kNoToAll));
      report["error"] = refusal.empty() ? nlohmann::json() : nlohmann::json(ValidUtf8(refusal));
      std::cout << report.dump(2) << std::endl;
    }
    if (!refusal.empty()) return kExitRefused;
    if (summary.stopped || StopRequested()) return kExitStopped;
    if (summary.guarded) return kExitRefused;
    return summary.failures > 0 ? kExitFailures : kExitDone;
  }

 private:
  void StopIfAsked() {
    if (StopRequested() && !project_.Terminated()) project_.Terminate();
  }

  // A line of the output: printed at once, or kept for the JSON object.
  void Emit(const std::string& line) {
    if (line_.json) {
      log_.push_back(ValidUtf8(line));
      return;
    }
    if (stdoutIsTerminal_) progress_.Clear();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

  void Progress(TFolderSynchronizer& sender, const std::string& text) {
    StopIfAsked();
    const RunSummary& summary = sender.Summary();
    if (!line_.dryRun) {
      // Each line written to the result log is notified once, right after it is written.
      if (sender.ResultLogSize() != linesSeen_) {
        linesSeen_ = sender.ResultLogSize();
        Emit(text);
      }
    } else if (summary.failures != failuresSeen_ || summary.guarded != guardSeen_) {
      // A dry run's own lines are its actions; what the run would also write are its failures
      // and the guard's line.
      failuresSeen_ = summary.failures;
      guardSeen_ = summary.guarded;
      Emit(text);
    }
    progress_.Update(summary);
  }

  void Action(const RunAction& action, int error) {
    StopIfAsked();
    if (error != 0) return;
    const bool removal =
        action.kind == ActionKind::kRemoveFile || action.kind == ActionKind::kRemoveFolder;
    if (line_.dryRun && removal && removals_ == Removals::kNoToAll) {
      ++removalsLeftOut_;
      return;
    }
    if (line_.json) {
      nlohmann::json object = ActionJson(action);
      if (!object.is_null()) actions_.push_back(std::move(object));
    } else if (line_.dryRun) {
      const std::string text = ActionLine(action, project_.UseTrash());
      if (!text.empty()) Emit(text);
    }
  }

  int Confirm(const std::string& kind, const std::string& path) {
    StopIfAsked();
    if (project_.Terminated()) return mrCancel;
    switch (removals_) {
      case Removals::kYesToAll:
        return mrYesToAll;
      case Removals::kNoToAll:
        progress_.Clear();
        Error(kNoToAllLine);
        return mrNoToAll;
      case Removals::kAsk:
        break;
    }
    progress_.Clear();
    const int answer = questions_.Ask(kind, path);
    return StopRequested() ? mrCancel : answer;
  }

  const CommandLine& line_;
  TFolderSynchronizer& project_;
  const Removals removals_;
  ProgressLine progress_;
  const bool stdoutIsTerminal_;
  TerminalQuestions questions_;
  nlohmann::json actions_ = nlohmann::json::array();
  nlohmann::json log_ = nlohmann::json::array();
  std::size_t linesSeen_ = 0;
  std::uint64_t failuresSeen_ = 0;
  bool guardSeen_ = false;
  std::size_t removalsLeftOut_ = 0;
};

}  // namespace

int ListCommand() {
  std::vector<std::string> unreadable;
  const std::vector<ListedProject> projects = ListProjects(unreadable);
  WarnUnreadable(unreadable);
  for (const ListedProject& project : projects) {
    std::cout << ListField(project.name) << '\t' << ListField(project.file) << '\n';
  }
  std::cout.flush();
  return kExitDone;
}

int RunCommand(const CommandLine& line) {
  std::vector<std::string> unreadable;
  std::string file;
  try {
    file = FindProjectFile(line.project, unreadable);
  } catch (const LookupError& error) {
    WarnUnreadable(unreadable);
    Error(error.what());
    return kExitUsage;
  }
  WarnUnreadable(unreadable);
  TFolderSynchronizer project(file);
  try {
    LoadStrictly(project);
  } catch (const std::exception& error) {
    Error("cannot load the project file \"" + file + "\": " + error.what());
    return kExitUsage;
  }
  // A dry run changes nothing, so it neither takes the lock nor waits for it.
  ProjectLock lock(file);
  if (!line.dryRun) {
    try {
      if (!lock.TryLock()) {
        Error("the project \"" + project.ProjectName() + "\" is being run by another program (" +
              ProjectLock::LockFileFor(file) + ")");
        return kExitLocked;
      }
    } catch (const std::exception& error) {
      Error(error.what());
      return kExitRefused;
    }
  }
  InstallStopSignals(kExitStopped);
  return Session(line, project).Go();
}

}  // namespace vantrel::cli
