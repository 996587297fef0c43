// Points HOME and XDG_DATA_HOME of the whole test process at a fresh folder, so that nothing a
// test removes or replaces ever reaches the real user's trash. Tests that need other values set
// and restore their own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "tests/core/TempTree.h"

namespace vantrel::test {

class HomeIsolation : public ::testing::Environment {
 public:
  void SetUp() override {
    home_ = std::make_unique<TempTree>();
    setenv("HOME", home_->root().c_str(), 1);
    setenv("XDG_DATA_HOME", home_->Path(".local/share").c_str(), 1);
  }
  void TearDown() override { home_.reset(); }

 private:
  std::unique_ptr<TempTree> home_;
};

}  // namespace vantrel::test
