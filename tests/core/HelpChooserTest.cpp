// The look-ahead's choice between the helper and the pass alone follows what batches cost,
// also when the load changes in the middle of a run, and spends few batches on trials.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/HelpChooser.h"

namespace vantrel {
namespace {

// Feeds `batches` batches of 100 names; `cost(batch, helped)` says what one name costs.
// Returns how many batches went to the helper.
int HelpedBatches(HelpChooser& chooser, int batches, const std::function<double(int, bool)>& cost) {
  int helped = 0;
  for (int b = 0; b < batches; ++b) {
    const bool h = chooser.NextHelped();
    helped += h ? 1 : 0;
    chooser.Observe(h, 100 * cost(b, h), 100);
  }
  return helped;
}

TEST(HelpChooser, FollowsTheCheaperWayAndSpendsFewBatchesOnTrials) {
  struct Case {
    const char* name;
    double helpedCost;
    double aloneCost;
    int fewestHelped;
    int mostHelped;
  };
  // 400 batches: trials come at most every 32 batches once the choice holds.
  const Case cases[] = {
      {"helper twice as fast", 1.0, 2.0, 380, 400},
      {"helper slightly faster", 0.97, 1.0, 360, 400},
      {"helper twice as slow", 2.0, 1.0, 0, 22},
      {"helper 75% slower", 1.75, 1.0, 0, 22},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HelpChooser chooser;
    const int helped =
        HelpedBatches(chooser, 400, [&](int, bool h) { return h ? c.helpedCost : c.aloneCost; });
    EXPECT_GE(helped, c.fewestHelped);
    EXPECT_LE(helped, c.mostHelped);
    EXPECT_EQ(chooser.helping(), c.helpedCost < c.aloneCost);
  }
}

TEST(HelpChooser, TurnsWhenTheLoadChanges) {
  for (const bool helperFirst : {true, false}) {
    SCOPED_TRACE(helperFirst ? "machine gets busy" : "machine gets idle");
    HelpChooser chooser;
    const auto cost = [&](int batch, bool h) {
      const bool helperPays = (batch < 200) == helperFirst;
      return h == helperPays ? 1.0 : 1.8;
    };
    HelpedBatches(chooser, 200, cost);
    EXPECT_EQ(chooser.helping(), helperFirst);
    // Within two of the longest gaps the choice has turned and holds.
    HelpedBatches(chooser, 2 * HelpChooser::kLongestGap,
                  [&](int b, bool h) { return cost(200 + b, h); });
    EXPECT_EQ(chooser.helping(), !helperFirst);
    const int after = HelpedBatches(chooser, 100, [&](int b, bool h) {
      return cost(200 + 2 * HelpChooser::kLongestGap + b, h);
    });
    if (helperFirst) {
      EXPECT_LE(after, 10);
    } else {
      EXPECT_GE(after, 90);
    }
  }
}

TEST(HelpChooser, SmallBatchesDoNotDecide) {
  HelpChooser chooser;
  // Batches too small to measure, the helper's looking dear: nothing turns on them.
  for (int b = 0; b < 100; ++b) {
    const bool h = chooser.NextHelped();
    chooser.Observe(h, h ? 1e9 : 1.0, HelpChooser::kFewestMeasured - 1);
  }
  EXPECT_TRUE(chooser.helping());
}

}  // namespace
}  // namespace vantrel
