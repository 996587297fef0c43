// Files that hold a run's bulky data (the result log, a preview's plan) out of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

// Opens an unnamed read-write file in `directory`; where the file system cannot make one, a
// file named `prefix` plus random letters, unlinked at once. Returns -1 when neither works.
int OpenUnnamedFile(const std::string& directory, const char* prefix);

// Writes all `size` bytes at `offset`, going on after short writes and interruptions.
// Returns false on an error.
bool WriteAllAt(int fd, const char* data, std::size_t size, std::uint64_t offset);

// Reads all `size` bytes at `offset` likewise; false on an error or an early end.
bool ReadAllAt(int fd, char* data, std::size_t size, std::uint64_t offset);

}  // namespace vantrel
