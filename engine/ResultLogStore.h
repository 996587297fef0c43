// The result log of a run, kept outside the process's memory while the run grows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/SpillFile.h"

namespace vantrel {

// An append-only list of lines (any bytes, newlines and NULs included). A run of a large tree
// writes one line per file; holding them all as strings would make the engine's memory grow
// with the tree. Lines are written as length-prefixed records into a SpillFile; only their
// count stays in memory. Lines() turns them back into strings on request and keeps that copy
// until Clear().
//
// When no temporary file can be made, or writing to it fails, the lines are kept in memory
// instead, once; no line is lost either way. Not thread-safe.
class ResultLogStore {
 public:
  // `directory` is where the temporary file is made; empty means $TMPDIR, else /tmp.
  explicit ResultLogStore(std::string directory = std::string());
  ResultLogStore(const ResultLogStore&) = delete;
  ResultLogStore& operator=(const ResultLogStore&) = delete;

  void Append(std::string_view line);
  // Drops every line and releases the temporary file.
  void Clear();

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Every line appended since the last Clear(), in order. The reference stays valid for the
  // store's lifetime; its contents change with later calls of Append() and Clear().
  const std::vector<std::string>& Lines() const;

  // True iff the lines appended so far go to a temporary file (false before the first one).
  bool UsesFile() const { return records_.UsesFile(); }

 private:
  // Reads the records not yet in `cache_`. Returns true iff all were read.
  bool ReadNewRecords() const;

  SpillFile records_;
  std::size_t count_ = 0;
  // Since the last Clear(): the records could not stay in a file, so `cache_` holds every
  // line and `records_` none.
  bool inMemory_ = false;
  mutable std::uint64_t readUpTo_ = 0;  // bytes of `records_` already in `cache_`
  mutable std::vector<std::string> cache_;
};

}  // namespace vantrel
