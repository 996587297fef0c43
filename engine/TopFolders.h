// The two folders a run works on, as the user typed them: creation and the overlap check.
#pragma once

#include <string>

#include "common/FileSystem.h"

namespace vantrel {

// Makes the folder `path` and its missing parents. One trailing '/' is ignored; paths shorter
// than three characters and paths naming a folder (links followed) are left alone; the parent
// is the path up to its last '/'. Returns 0, or the errno of the creation that failed.
int EnsureFolderExists(FileSystem& fs, const std::string& path);

// Returns the folder a user means by `typed`: "~" and "~/..." are in the home folder, and so is
// a relative path (never the folder the program was started from). Absolute paths and the
// empty text are returned as they are.
std::string ResolveFolderPath(const std::string& typed);

enum class FolderOverlap { kNone, kSame, kNested };

// Tells whether the folders `path1` and `path2` (absolute) are, or once created would be, the
// same folder or one inside the other, by device and inode numbers of their deepest existing
// folders and the names below those. kNone when it cannot tell. Creates nothing.
FolderOverlap PathsOverlap(FileSystem& fs, const std::string& path1, const std::string& path2);

// Returns true iff the folders open as `fd1` and `fd2` are the same folder or one lies
// inside the other, found by device and inode numbers walking up ".." from each. Returns
// false when it cannot tell.
bool FoldersOverlap(FileSystem& fs, int fd1, int fd2);

}  // namespace vantrel
