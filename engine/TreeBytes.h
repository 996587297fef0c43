// The size of what a folder holds, for the summary and the plan of a removal.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/FileSystem.h"
#include "engine/DirectoryReader.h"

namespace vantrel {

// Sums the sizes of the files and links below the folder `name` of `parentFd`, hidden ones
// included, without following links or entering other devices. What cannot be read counts
// as 0. `depth` is the folder level of `name` (see DeleteFolderTree).
std::uint64_t TreeBytes(FileSystem& fs, ListingBuffers& buffers, int parentFd, const char* name,
                        std::size_t depth);

}  // namespace vantrel
