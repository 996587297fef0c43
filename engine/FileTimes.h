// When one file counts as newer than another.
#pragma once

#include <sys/types.h>

#include <ctime>

namespace vantrel {

// Returns true iff the file modified at `source` (seconds since the epoch, UTC) with `sourceSize`
// bytes is newer than its copy modified at `destination` with `destinationSize` bytes.
// Times are compared as UTC instants in two-second slots (the resolution of FAT drives), so a
// change of the time zone or of daylight saving time changes nothing. A time before 1980 or
// after 2107 that FAT and exFAT drives could not store, facing the time such a drive makes of
// it (clamped to the range, or its year wrapped round) on a file of the same size, counts as
// the same time: the copy would otherwise travel back and forth on every run.
bool IsNewer(std::time_t source, off_t sourceSize, std::time_t destination, off_t destinationSize);

// Returns true iff `stored` is a time that a FAT or exFAT drive may have made of `asked`, which
// it cannot store.
bool LooksStoredFrom(std::time_t asked, std::time_t stored);

}  // namespace vantrel
