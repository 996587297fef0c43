// SIGINT and SIGTERM ask the run to stop; a second one ends the program at once.
#pragma once

namespace vantrel::cli {

// Installs the handlers (without SA_RESTART, so that a question waiting for an answer is
// interrupted) and ignores SIGPIPE: a reader of the output that goes away must not end a run
// halfway. `exitCode` is what a second signal ends the program with.
void InstallStopSignals(int exitCode);

// True once SIGINT or SIGTERM has arrived.
bool StopRequested();

}  // namespace vantrel::cli
