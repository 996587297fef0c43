#include "cli/Signals.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>

namespace vantrel::cli {
namespace {

volatile std::sig_atomic_t signalsSeen = 0;
int secondSignalExit = 3;

void OnStopSignal(int) {
  if (signalsSeen > 0) {
    constexpr char kText[] = "\nvantrel-sync: stopped at once\n";
    (void)!write(STDERR_FILENO, kText, sizeof kText - 1);
    _exit(secondSignalExit);
  }
  signalsSeen = 1;
  constexpr char kText[] = "\nvantrel-sync: stopping (again to stop at once)\n";
  (void)!write(STDERR_FILENO, kText, sizeof kText - 1);
}

}  // namespace

void InstallStopSignals(int exitCode) {
  secondSignalExit = exitCode;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return signalsSeen != 0; }

}  // namespace vantrel::cli
