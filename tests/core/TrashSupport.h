// Reading the trash with trash-cli, a client that nobody here wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantrel::test {

// Runs `command` with /bin/sh and returns what it printed (standard error included).
inline std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

inline bool HaveTrashCli() { return Shell("command -v trash-list").find('/') != std::string::npos; }

// trash-list's output: one "DATE TIME PATH" line per trashed entry.
inline std::string TrashList() { return Shell("trash-list"); }

// Restores, with trash-restore run in `folder`, the entry listed there as `index`; returns what
// the tool printed.
inline std::string TrashRestore(const std::string& folder, int index) {
  return Shell("cd '" + folder + "' && echo " + std::to_string(index) + " | trash-restore");
}

// The index trash-restore gives the entry whose original path is `path`, or -1.
inline int RestoreIndex(const std::string& folder, const std::string& path) {
  const std::string listing = Shell("cd '" + folder + "' && trash-restore < /dev/null");
  // A path may hold line feeds itself: the entry's line starts before the date that precedes it.
  const std::size_t at = listing.find(" " + path + "\n");
  if (at == std::string::npos) return -1;
  const std::size_t line = listing.rfind('\n', at);
  return std::atoi(listing.c_str() + (line == std::string::npos ? 0 : line + 1));
}

}  // namespace vantrel::test
