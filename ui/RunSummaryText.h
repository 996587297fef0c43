// The texts the window makes of a run's or a preview's summary.
#pragma once

#include <QString>
#include <cstdint>

#include "engine/RunSummary.h"

namespace vantrel {

// "1,234": digits in groups of three, whatever the locale, so tests and pictures agree.
QString CountText(std::uint64_t count);
// "0 bytes", "1 byte", "999 bytes", "1.0 KB", "45.6 MB", "2.1 GB" (powers of 1000).
QString BytesText(std::uint64_t bytes);
// "0:42", "12:05", "1:02:03".
QString ElapsedText(std::uint64_t milliseconds);

// The totals above a plan: "Copy 1,234 files (45.6 MB) to Folder 2 · remove 7 files and
// 2 folders (1.2 MB) from Folder 2", with a part for copies back to Folder 1 in bidirectional
// mode, or "Nothing to do". A stopped preview says its plan is incomplete.
QString PlanTotalsText(const RunSummary& summary);
// The live line of a run: "Looked at 1,234 · copied 56 (45.6 MB) · removed 7 · failed 2 · 0:42".
QString LiveCountsText(const RunSummary& summary);
// The Results page's description: "1,234 copied (45.6 MB), 7 removed, 2 failed, in 0:42", or
// "Stopped after ..." for a stopped run.
QString ResultHeaderText(const RunSummary& summary);

}  // namespace vantrel
