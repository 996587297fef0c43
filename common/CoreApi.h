// Small routines shared by the engine, the project storage and the window.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace vantrel {

// Which separator and root rules a path follows. Posix paths are file paths on this system;
// Windows paths are the backslash key paths of the value store, which keep the original rules.
enum class PathStyle { Windows, Posix };

// Returns the path ending with one separator. An empty path stays empty.
// Windows: a path ending in '\' is unchanged, a lone drive letter gets ":\", anything else gets
// '\' appended (only the backslash counts as a separator here).
// Posix: a path ending in '/' is unchanged, anything else gets '/' appended.
std::string AddTrailingSeparator(std::string_view path, PathStyle style = PathStyle::Posix);

// Returns the path without its one trailing separator. Paths of one character and roots are
// returned unchanged ("/" for Posix; a letter, a colon and '\' or '/' for Windows, where
// either slash counts as the trailing separator).
std::string RemoveTrailingSeparator(std::string_view path, PathStyle style = PathStyle::Posix);

// Returns `length` characters drawn from `alphabet` (the default alphabet when empty).
// Every call reseeds the one process-wide generator from the clock. Not thread-safe.
std::string RandomString(int length, std::string_view alphabet = {});

// Returns a file name (without the folder) made from `pattern` by putting eight random
// characters in place of its "%s", such that no file of that name exists in `folder`.
// A folder of that name does not count as a file. Loops until it finds one.
std::string UniqueRandomFileName(std::string_view folder, std::string_view pattern);

// Returns the path of a per-user special folder, ending with '/'. Identifier 26 is the user's
// data folder: $XDG_DATA_HOME when absolute, else $HOME/.local/share, else the home folder of
// the password database followed by .local/share. Unknown identifiers give an empty text.
std::string GetSpecialFolder(int id);

// Returns the DOS date-time stamp of a time_t in local time: two-second resolution, seconds
// rounded down to even. 0 when the local time lies outside 1980-01-01 .. 2107-12-31.
// Comparing two stamps as numbers compares the times they stand for.
std::uint32_t DosStampFromTime(std::time_t t);

// Returns the date-time number (days since 30 December 1899, time of day as the fraction)
// of a DOS stamp; 0 for the stamp 0.
double DateTimeFromDosStamp(std::uint32_t stamp);

// Returns the date-time number of the last modification of the entry at `path` (not following
// a final symbolic link), at DOS resolution in local time; 0 when nothing is there, when it is
// a folder, or when its time does not fit a DOS stamp.
double FileLastWriteTime(const std::string& path);

}  // namespace vantrel
