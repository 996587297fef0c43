// Small helpers shared by the storage tests: whole-file bytes and the message of a thrown
// error (their scratch folders are TempTrees).
#pragma once

#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tests/core/TempTree.h"

namespace vantrel::storetest {

// Runs `action` and returns the message it threw, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no error)";
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vantrel::storetest
