// Whole-file reads and crash-safe whole-file replacement for the value files, through the
// engine's file-system seam so that tests can inject failures.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

class FileSystem;

// Sets the file system the storage uses (not owned; must outlive its use); nullptr restores
// FileSystem::Default(). Returns the one set before (nullptr when it was the default).
FileSystem* SetStorageFileSystem(FileSystem* fs);

// The file system the storage uses now.
FileSystem& StorageFileSystem();

// A value file is a few hundred bytes; anything past this is not one and is refused rather
// than read into memory.
inline constexpr std::size_t kMaxValueFileSize = std::size_t{4} << 20;

// Returns the bytes of the regular file at `path`. When nothing is there, or what is there is
// not a regular file (a folder, a pipe), returns empty. Throws "Cannot open file \"%s\". %s"
// (the path, the system's reason) when the file cannot be opened or read or is larger than
// kMaxValueFileSize.
std::string ReadValueFile(const std::string& path);

// Throws "Cannot open file \"%s\". %s" when something exists at `path` that cannot be opened
// for reading; returns otherwise.
void CheckValueFileReadable(const std::string& path);

// Replaces the file at `path` with `bytes`: writes them to a new temporary file (mode 0600) in
// the same folder, flushes it to the disc and renames it over `path`. On any failure the file
// at `path` is left as it was, the temporary file is removed, and "Cannot create file \"%s\".
// %s" (the path, the system's reason) is thrown.
void ReplaceValueFile(const std::string& path, std::string_view bytes);

}  // namespace vantrel
