// vantrel_floor: the bare-system-call synchronizer that bounds every scenario from below.
//
//   vantrel_floor uni SOURCE DESTINATION [--expect N]    copy what is missing or newer
//   vantrel_floor bi FOLDER1 FOLDER2 [--expect N]        both directions, one after the other
//   vantrel_floor exact SOURCE DESTINATION [--expect N]  copy, then remove what SOURCE lacks
//
// Prints its own elapsed time and counts. Exits 1 when a system call failed or when the number
// of actions (copies plus removals) differs from --expect, 2 on wrong usage.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "bench/FloorSync.h"

int main(int argc, char** argv) {
  using vantrel::bench::FloorSync;
  if (argc != 4 && !(argc == 6 && std::strcmp(argv[4], "--expect") == 0)) {
    std::fprintf(stderr, "usage: %s uni|bi|exact FOLDER1 FOLDER2 [--expect N]\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  if (mode != "uni" && mode != "bi" && mode != "exact") {
    std::fprintf(stderr, "unknown mode '%s'\n", argv[1]);
    return 2;
  }
  try {
    FloorSync floor;
    auto start = std::chrono::steady_clock::now();
    floor.Unidirectional(argv[2], argv[3]);
    if (mode == "bi") floor.Unidirectional(argv[3], argv[2]);
    if (mode == "exact") floor.RemoveExtras(argv[2], argv[3]);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto& c = floor.counts();
    std::printf("floor: %.3f s, %ld files looked at, %ld copied, %ld files and %ld folders "
                "removed, %ld failures\n",
                seconds, c.filesLooked, c.filesCopied, c.filesRemoved, c.foldersRemoved,
                c.failures);
    if (c.failures != 0) return 1;
    if (argc == 6 && c.actions() != std::atol(argv[5])) {
      std::fprintf(stderr, "floor: expected %s actions, made %ld\n", argv[5], c.actions());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "floor: %s\n", e.what());
    return 1;
  }
  return 0;
}
