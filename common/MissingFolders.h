// Making a folder together with the folders above it that do not exist yet.
#pragma once

#include <sys/types.h>

#include <string>

namespace vantrel {

class FileSystem;

// Makes the folder at the absolute path `path` and every missing folder above it, each new one
// with `mode`; folders that exist already are fine. Returns 0, or the errno of the first
// folder that could not be made.
int MakeMissingFolders(FileSystem& fs, const std::string& path, mode_t mode);

}  // namespace vantrel
