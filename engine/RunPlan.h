// The ordered actions a preview found: what a run would do now.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/RunExecutor.h"
#include "engine/SpillFile.h"

namespace vantrel {

// One action of a plan, with its own copies of the texts.
struct PlannedAction {
  ActionKind kind = ActionKind::kCopyFile;
  bool toFolder1 = false;
  std::uint64_t size = 0;
  std::string path;
  std::string source;
};

// A plan may hold an action per file of a large tree, so its records and texts go to two
// temporary files (SpillFile); memory holds only their buffers, however many actions there are.
class RunPlan {
 public:
  void Clear();
  void Add(const RunAction& action);

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Reads action `index` (< size()) into `out`, reusing its strings; without `withTexts` only
  // the kind, direction and size. False when the temporary file cannot be read back.
  bool Get(std::size_t index, PlannedAction& out, bool withTexts = true) const;

 private:
  struct Record {
    std::uint64_t size;
    std::uint64_t textOffset;
    std::uint32_t pathLength;
    std::uint32_t sourceLength;
    std::uint8_t kind;
    std::uint8_t toFolder1;
  };

  SpillFile records_;
  SpillFile texts_;
  std::size_t count_ = 0;
};

}  // namespace vantrel
