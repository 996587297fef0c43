// The floor: a synchronizer that makes only the system calls no tool can avoid.
//
// It does the same job as the engine's passes (copy what is missing or newer at the two-second
// step, remove what the source lacks) with no log, no notifications, no filters and no
// confirmation, so its time is the physical limit of a scenario on this machine:
//  - a rescan: getdents64 per folder, one fstatat per file on each side, an open per folder;
//  - a copy: open, FICLONE or copy_file_range, fchmod, futimens, close, rename of a temporary;
//  - a removal: unlinkat per entry, a listing per removed folder.
// Paths inside the trees are never followed through symbolic links. Not thread-safe.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vantrel::bench {

struct FloorCounts {
  long filesLooked = 0;
  long filesCopied = 0;
  long filesRemoved = 0;    // lacking files removed directly
  long foldersRemoved = 0;  // lacking folders removed whole
  long failures = 0;        // system calls that failed where success was expected
  long actions() const { return filesCopied + filesRemoved + foldersRemoved; }
};

class FloorSync {
 public:
  FloorSync();
  ~FloorSync();
  FloorSync(const FloorSync&) = delete;
  FloorSync& operator=(const FloorSync&) = delete;

  // Copies every file of `source` that is missing in `destination` or newer there by at least
  // the two-second step, creating folders only for files copied into them.
  void Unidirectional(const std::string& source, const std::string& destination);
  // Removes from `destination` every file and folder that `source` lacks.
  void RemoveExtras(const std::string& source, const std::string& destination);

  const FloorCounts& counts() const { return counts_; }

 // One destination folder of the walk; public only for the helper that creates it.
  struct Level;

 private:
  void CopyLevel(int sourceFd, Level* level, std::size_t depth);
  bool CopyFile(int sourceFd, Level* level, const char* name, const struct stat& st);
  void CleanLevel(int sourceFd, int destinationFd, std::size_t depth);
  bool RemoveTree(int parentFd, const char* name, std::size_t depth);
  char* Buffer(std::size_t depth);

  FloorCounts counts_;
  std::vector<std::vector<char>> buffers_;  // one listing buffer per depth, reused
  bool cloneRefused_ = false;
  bool rangeRefused_ = false;
  std::vector<char> copyBuffer_;
  unsigned long temporaryNumber_ = 0;
};

}  // namespace vantrel::bench
