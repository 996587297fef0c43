// Removes a folder with everything in it, through descriptors, never following a link.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "common/FileSystem.h"
#include "engine/DirectoryReader.h"

namespace vantrel {

// Removes the folder `name` of the open folder `parentFd` (which lies on device `parentDev`)
// with all its contents, hidden entries included. Links inside are removed as links; their
// targets are not touched. Each folder gets owner write and search permission before it is
// emptied. A folder on another device than its parent (a mount point) is not entered.
// What can be removed is removed even when something else fails.
// Returns 0 when the folder is gone, else the first error met (an errno value; EXDEV for a
// mount point, ENOTDIR when `name` is not a folder). `depth` is the folder level of `name`,
// used to pick listing buffers that the caller's own listings do not share.
int DeleteFolderTree(FileSystem& fs, ListingBuffers& buffers, int parentFd, const char* name,
                     dev_t parentDev, std::size_t depth);

}  // namespace vantrel
