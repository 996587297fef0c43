// The settings one run works with, taken from the project once when the run starts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// A copy, so that handlers running during the walk (progress, questions) cannot change what
// the run is doing by editing the project.
struct RunOptions {
  std::string folder1;
  std::string folder2;
  std::int32_t copyMode = 0;  // 0 bidirectional, 1 unidirectional; any other value: no pass
  bool exactCopy = false;
  bool includeSubfolders = false;
  bool advancedOptions = false;
  std::vector<std::string> includeMasks;
  std::vector<std::string> excludeMasks;
  bool processHidden = false;
  bool processSystem = false;
  bool useTrash = true;  // removed entries and replaced files go to the trash
};

}  // namespace vantrel
