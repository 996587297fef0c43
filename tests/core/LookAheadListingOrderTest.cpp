// A file system may list a folder in any order and cut the listing into buffer-fulls anywhere:
// FUSE drivers need not put "." and ".." first, nor hand out whole buffers. Whatever the
// order and the cuts, a run with look-ahead must do exactly what a run on one thread does,
// and must finish.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/DirectoryReader.h"
#include "tests/core/LookAheadSupport.h"

namespace vantrel::testsupport {
namespace {

// Where "." and ".." go in a listing, and how the listing is cut around them.
enum class Dots { kFirst, kEndOfABuffer, kAloneInABuffer, kLast, kApart };

const char* DotsName(Dots dots) {
  switch (dots) {
    case Dots::kFirst:
      return "dots first";
    case Dots::kEndOfABuffer:
      return "dots ending a buffer-full";
    case Dots::kAloneInABuffer:
      return "dots alone in a buffer-full";
    case Dots::kLast:
      return "dots last";
    case Dots::kApart:
      return "dots apart";
  }
  return "";
}

// Lists every folder in an order shuffled from the seed and the folder's path below `root`
// (so each listing of one folder gives the same order, whichever run and pass reads it), cut
// into buffer-fulls of one to six records.
class ShuffledListingFileSystem : public LookAheadFileSystem {
 public:
  ShuffledListingFileSystem(std::size_t minimum, unsigned seed, Dots dots, std::string root)
      : LookAheadFileSystem(minimum), seed_(seed), dots_(dots), root_(std::move(root)) {}

  long GetDents(int fd, void* buffer, std::size_t size) override {
    auto found = listings_.find(fd);
    if (found == listings_.end()) {
      Listing listing;
      if (!ReadWhole(fd, listing.records)) return -1;
      Arrange(fd, listing);
      found = listings_.emplace(fd, std::move(listing)).first;
    }
    Listing& listing = found->second;
    if (listing.chunk == listing.cuts.size()) return 0;
    const std::size_t end = listing.cuts[listing.chunk];
    std::size_t filled = 0;
    std::size_t i = listing.served;
    for (; i < end && filled + listing.records[i].size() <= size; ++i) {
      std::memcpy(static_cast<char*>(buffer) + filled, listing.records[i].data(),
                  listing.records[i].size());
      filled += listing.records[i].size();
    }
    if (filled == 0) {
      errno = EINVAL;
      return -1;
    }
    if (i == end) {
      ++listing.chunk;
      if (IsDot(listing.records[i - 1]) && i < listing.records.size()) ++dotsEndedABuffer_;
    }
    listing.served = i;
    return static_cast<long>(filled);
  }
  int Close(int fd) override {
    listings_.erase(fd);
    return LookAheadFileSystem::Close(fd);
  }
  // How often a buffer-full ended with a dot and more records followed.
  long dotsEndedABuffer() const { return dotsEndedABuffer_; }

 private:
  using Record = std::string;  // one linux_dirent64 record, bytes as read
  struct Listing {
    std::vector<Record> records;
    std::vector<std::size_t> cuts;  // end of each buffer-full, as an index into records
    std::size_t chunk = 0;
    std::size_t served = 0;
  };

  static const char* NameOf(const Record& record) {
    return record.data() + directory_records::kNameOffset;
  }
  static bool IsDot(const Record& record) {
    return directory_records::IsDotOrDotDot(NameOf(record));
  }

  bool ReadWhole(int fd, std::vector<Record>& records) {
    char buffer[16384];
    for (;;) {
      const long n = LookAheadFileSystem::GetDents(fd, buffer, sizeof buffer);
      if (n < 0) return false;
      if (n == 0) return true;
      for (long offset = 0; offset < n;) {
        std::uint16_t length;
        std::memcpy(&length, buffer + offset + directory_records::kRecLenOffset, sizeof length);
        records.emplace_back(buffer + offset, length);
        offset += length;
      }
    }
  }

  void Arrange(int fd, Listing& listing) {
    std::vector<Record> dots;
    std::vector<Record> names;
    for (Record& record : listing.records) (IsDot(record) ? dots : names).push_back(record);
    std::sort(names.begin(), names.end(), [](const Record& a, const Record& b) {
      return std::strcmp(NameOf(a), NameOf(b)) < 0;
    });
    std::mt19937 random(seed_ * 7919u +
                        static_cast<unsigned>(std::hash<std::string>()(PathOf(fd))));
    std::shuffle(names.begin(), names.end(), random);
    std::shuffle(dots.begin(), dots.end(), random);
    const auto pick = [&](std::size_t n) { return n == 0 ? 0 : random() % n; };
    std::vector<Record>& out = listing.records;
    out.clear();
    // Cut points that must be there, as counts of records before them.
    std::vector<std::size_t> forced;
    const std::size_t at = names.empty() ? 0 : 1 + pick(names.size());  // names before the dots
    switch (dots_) {
      case Dots::kFirst:
        out = dots;
        out.insert(out.end(), names.begin(), names.end());
        break;
      case Dots::kLast:
        out = names;
        out.insert(out.end(), dots.begin(), dots.end());
        break;
      case Dots::kEndOfABuffer:
      case Dots::kAloneInABuffer:
        out.assign(names.begin(), names.begin() + static_cast<long>(std::min(at, names.size())));
        if (dots_ == Dots::kAloneInABuffer) forced.push_back(out.size());
        out.insert(out.end(), dots.begin(), dots.end());
        forced.push_back(out.size());
        out.insert(out.end(), names.begin() + static_cast<long>(std::min(at, names.size())),
                   names.end());
        break;
      case Dots::kApart:
        out = names;
        for (Record& dot : dots) {
          out.insert(out.begin() + static_cast<long>(pick(out.size() + 1)), dot);
        }
        break;
    }
    for (std::size_t start = 0; start < out.size();) {
      std::size_t end = std::min(out.size(), start + 1 + pick(6));
      for (std::size_t cut : forced) {
        if (cut > start && cut < end) end = cut;
      }
      listing.cuts.push_back(end);
      start = end;
    }
  }

  std::string PathOf(int fd) const {
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path);
    std::string text(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    return text.starts_with(root_) ? text.substr(root_.size()) : text;
  }

  const unsigned seed_;
  const Dots dots_;
  const std::string root_;
  // The listings in progress; only the pass's thread lists folders.
  std::map<int, Listing> listings_;
  long dotsEndedABuffer_ = 0;
};

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(LookAheadListingOrder, RunsAsOnOneThreadWhereverTheDotsAre) {
  long dotsEndedABuffer = 0;
  for (const Dots dots :
       {Dots::kFirst, Dots::kEndOfABuffer, Dots::kAloneInABuffer, Dots::kLast, Dots::kApart}) {
    for (const Mode& mode : kModes) {
      for (unsigned seed = 1; seed <= 2; ++seed) {
        const std::string what =
            std::string(DotsName(dots)) + ", " + mode.name + ", seed " + std::to_string(seed);
        SCOPED_TRACE(what);
        const test::TempTree plain(test::TempTree::MemoryBase());
        const test::TempTree single(test::TempTree::MemoryBase());
        const test::TempTree ahead(test::TempTree::MemoryBase());
        for (const test::TempTree* tree : {&plain, &single, &ahead}) {
          MakePair(tree->Path("one"), tree->Path("two"), seed);
        }
        LookAheadFileSystem unshuffled(0);
        ShuffledListingFileSystem oneThread(0, seed, dots, single.root());
        ShuffledListingFileSystem twoThreads(1, seed, dots, ahead.root());
        const Outcome reference = RunOn(plain.root(), mode, unshuffled);
        const Outcome expected = RunOn(single.root(), mode, oneThread);
        Outcome got;
        {
          const Watchdog watchdog(std::chrono::seconds(60), "look-ahead run, " + what);
          got = RunOn(ahead.root(), mode, twoThreads);
        }
        dotsEndedABuffer += twoThreads.dotsEndedABuffer();
        // Another order changes the order of the lines, never what is done.
        EXPECT_EQ(Sorted(expected.log), Sorted(reference.log));
        EXPECT_EQ(expected.trees, reference.trees);
        EXPECT_EQ(got.log, expected.log);
        EXPECT_EQ(got.progress, expected.progress);
        EXPECT_EQ(got.trees, expected.trees);
      }
    }
  }
  // Otherwise the case that once hung the walk would not have been met.
  EXPECT_GT(dotsEndedABuffer, 50);
}

}  // namespace
}  // namespace vantrel::testsupport
