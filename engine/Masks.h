// The wildcard mask language, the file-name filter and comma text.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Raised for a mask that breaks the rules; what() is "'%s' is an invalid mask at (%d)".
class EMaskException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One compiled mask. The text is compiled as given (no preparation of folder parts or dots).
class TMask {
 public:
  // Throws EMaskException when `mask` is invalid.
  explicit TMask(std::string_view mask);
  ~TMask();
  TMask(const TMask&);
  TMask& operator=(const TMask&);
  TMask(TMask&&) noexcept;
  TMask& operator=(TMask&&) noexcept;

  // Returns true iff the whole of `name` matches.
  bool Matches(std::string_view name) const;

 private:
  friend bool FileMatchesMask(std::string_view mask, std::string_view name);
  friend class FileNameFilter;

  // Matches `bytes` followed by one dot when `extra_dot`, without copying the name.
  bool MatchesPrepared(std::string_view bytes, bool extra_dot) const;
  template <typename Text>
  bool MatchText(const Text& text) const;

  struct State;  // defined with the compiler
  class Compiler;
  std::vector<State> states_;
};

// Prepares mask and name (last path component, a dot appended when there is none), compiles
// the mask and matches. Throws EMaskException for an invalid mask.
bool FileMatchesMask(std::string_view mask, std::string_view name);

// Returns true iff FileMatchesMask is true for some item, testing in list order and stopping
// at the first match (so an invalid mask after a match is never compiled). Empty list: false.
bool MatchesAnyMask(std::string_view name, const std::vector<std::string>& masks);

// The take-or-skip decision of the passes for one file entry, for a run's lifetime.
// Behaves exactly like "not advanced, or MatchesAnyMask(include) && !MatchesAnyMask(exclude)",
// but compiles each mask only once, the first time it is reached; a mask that is never reached
// never fails, and an invalid mask throws EMaskException each time it is reached.
class FileNameFilter {
 public:
  FileNameFilter(bool advanced, const std::vector<std::string>& include,
                 const std::vector<std::string>& exclude);
  ~FileNameFilter();
  FileNameFilter(const FileNameFilter&) = delete;
  FileNameFilter& operator=(const FileNameFilter&) = delete;

  // Returns true iff the file named `name` (a bare entry name) takes part.
  bool Takes(std::string_view name) const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace vantrel
