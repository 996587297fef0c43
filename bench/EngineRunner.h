// Runs the synchronization engine headless, as the window would but without a window.
#pragma once

#include <string>

namespace vantrel::bench {

struct EngineRun {
  double seconds = 0;      // wall time of Run alone
  long notifications = 0;  // calls of OnProgress
  long logLines = 0;       // lines in the result log afterwards
  long confirmations = 0;  // calls of OnConfirmRemoval
};

// Synchronizes `folder1` and `folder2` with sub-folders, hidden and system entries included and
// no masks: unidirectional unless `bidirectional`, with removals when `exact`, and with every
// lookup on the run's own thread when `oneThread`. Every removal question is answered "Yes to
// all". Removed and replaced files go to the trash unless `noTrash`. Errors of Run propagate.
EngineRun RunEngine(const std::string& folder1, const std::string& folder2, bool bidirectional,
                    bool exact, bool oneThread = false, bool noTrash = false);

}  // namespace vantrel::bench
