// The two folders a run works on, as the user typed them: creation and the overlap check.
#pragma once

#include <string>

#include "engine/FileSystem.h"

namespace vantrel {

// Makes the folder `path` and its missing parents; reports nothing. One trailing '/' is
// ignored; paths shorter than three characters and paths naming a folder (links followed)
// are left alone; the parent is the path up to its last '/'. A failure to create is ignored.
void EnsureFolderExists(FileSystem& fs, const std::string& path);

// Returns true iff the folders open as `fd1` and `fd2` are the same folder or one lies
// inside the other, found by device and inode numbers walking up ".." from each. Returns
// false when it cannot tell.
bool FoldersOverlap(FileSystem& fs, int fd1, int fd2);

}  // namespace vantrel
