// Runs a synchronization through the real wizard window, offscreen, as a new user would: a new
// project, the two folders typed in, the mode chosen, "Go!". The window's own progress handler,
// Please wait page and Results page take part; only the modal questions are answered here.
#pragma once

#include <string>
#include <vector>

namespace vantrel::bench {

struct WindowRun {
  double seconds = 0;               // from "Go!" until the Results page is filled and drawn
  double runSeconds = 0;            // the run alone, as the engine's summary counts it
  double handlerSeconds = 0;        // spent in the window's progress handler, drawing included
  long notifications = 0;           // calls of the window's progress handler
  long logLines = 0;                // lines in the result log afterwards
  std::vector<std::string> errors;  // what the window showed in error and message boxes
};

// Needs a QApplication. The settings are those of RunEngine: sub-folders, hidden and system
// entries included, no masks, unidirectional unless `bidirectional`, removals when `exact`
// (every question answered "Yes to all"), the trash unless `noTrash`. A run the window refuses
// or ends with an error box comes back with that box's text in `errors`; a window that never
// reaches its Results page throws std::runtime_error.
WindowRun RunThroughWindow(const std::string& folder1, const std::string& folder2,
                           bool bidirectional, bool exact, bool noTrash = false);

}  // namespace vantrel::bench
