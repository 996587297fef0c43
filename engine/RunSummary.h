// What a run (or a preview) did, counted by the passes as they go.
#pragma once

#include <cstdint>

namespace vantrel {

struct RunSummary {
  struct Copies {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
  };

  std::uint64_t filesLookedAt = 0;  // files that took part in a pass (masks passed), per pass
  Copies toFolder2;                 // copies from Folder 1 to Folder 2
  Copies toFolder1;                 // copies back, in bidirectional mode
  std::uint64_t foldersCreated = 0;
  std::uint64_t filesRemoved = 0;
  std::uint64_t foldersRemoved = 0;
  std::uint64_t removedBytes = 0;  // of the removed files and everything in the removed folders
  std::uint64_t failures = 0;      // one per "Cannot ..." line of the log
  bool stopped = false;            // by the user, or by a Cancel answer
  bool guarded = false;            // a safety guard left a pass out (see the log's line)
  std::uint64_t elapsedMs = 0;     // since the start; kept current while the run goes on

  std::uint64_t FilesCopied() const { return toFolder2.files + toFolder1.files; }
  std::uint64_t BytesCopied() const { return toFolder2.bytes + toFolder1.bytes; }
};

}  // namespace vantrel
