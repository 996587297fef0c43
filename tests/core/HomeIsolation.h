// Points HOME and XDG_DATA_HOME of the whole test process at a fresh folder, so that nothing a
// test removes or replaces ever reaches the real user's trash. Tests that need other values set
// and restore their own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vantrel::test {

class HomeIsolation : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/vantrel-home-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    home_ = pattern;
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_DATA_HOME", (home_ + "/.local/share").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }

 private:
  std::string home_;
};

}  // namespace vantrel::test
