// Building, changing, warming and checking the benchmark's folder trees.
//
// Everything here is deterministic from a seed so that every tool of a run works on byte-for-byte
// the same input; none of it is timed. Failures throw std::runtime_error naming the path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::bench {

// A small, fast generator (splitmix64). The same seed gives the same sequence everywhere.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Returns a number in [0, bound); bound must be positive.
  std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }
  // Fills `size` bytes at `out`.
  void Fill(void* out, std::size_t size);

 private:
  std::uint64_t state_;
};

struct TreeCounts {
  long files = 0;
  long folders = 0;  // not counting the root
  long long bytes = 0;
};

// Creates `root` (which must not exist) holding `files` files of 1 to 16 KiB spread over a
// three-level folder tree of about files/100 folders. Names carry spaces and non-ASCII UTF-8;
// no name begins with a full stop. File times lie in 2023 and differ from file to file.
TreeCounts GenerateSmallFileTree(const std::string& root, long files, std::uint64_t seed);

// Creates `root` (which must not exist) holding `count` files of `bytesEach` random bytes.
TreeCounts GenerateLargeFileTree(const std::string& root, int count, long long bytesEach,
                                 std::uint64_t seed);

// Picks one file in a hundred (at least one) of the tree at `root`, chosen by the seed
// independently of the listing order, overwrites its first bytes and moves its modification
// time one day later. Returns how many files were changed.
long MakeFilesNewer(const std::string& root, std::uint64_t seed);

struct ExtraCounts {
  long files = 0;    // extra files put into folders that the source also has
  long folders = 0;  // extra folders (each holding a few files and one sub-folder)
};

// Adds to the tree at `root` one extra file per hundred files and one extra folder per hundred
// folders (at least one of each), named so that no original tree holds them.
ExtraCounts AddExtraEntries(const std::string& root, std::uint64_t seed);

// Creates `destination` (which must not exist; its parent must) as a copy of the tree at
// `source`: folders with their permission bits and times, files with their contents,
// permission bits and times. With `links`, files are hard links to the source's files instead,
// so that the copy costs no data; a tool that rewrote such a file in place would change the
// source too (see Fingerprint). Symbolic links and special files are left out.
TreeCounts CloneTree(const std::string& source, const std::string& destination, bool links);

// Returns a hash over every entry below `root`: relative path, kind, size, permission bits,
// modification time and contents, independent of the listing order.
std::uint64_t Fingerprint(const std::string& root);

// Looks up every entry below `root` and, when `readContents`, reads every file, so that what
// a tool is about to touch is in the page cache. Returns the number of entries seen.
long WarmTree(const std::string& root, bool readContents);

struct VerifyReport {
  long filesChecked = 0;
  std::vector<std::string> problems;  // at most a few, each naming a path
  bool ok() const { return problems.empty(); }
};

// Checks that every file below `source` has a counterpart in `destination` with the same
// contents, size, permission bits and modification time (to the two-second step). With
// `exact`, also that `destination` holds nothing that `source` lacks.
VerifyReport VerifyCopy(const std::string& source, const std::string& destination, bool exact);

}  // namespace vantrel::bench
