// The look-ahead's choice between the helper and the pass alone follows whether the run's
// threads wait for a core, also when that changes in the middle of a run, and spends few
// stretches on trials.
#include <gtest/gtest.h>

#include <vector>

#include "engine/HelpChooser.h"

namespace vantrel {
namespace {

// Feeds `stretches` stretches; while helping, the threads wait `helpedShare` of the time,
// while not `aloneShare`. Returns how many stretches were helped.
int Helped(HelpChooser& chooser, int stretches, double helpedShare, double aloneShare = 0) {
  int helped = 0;
  for (int i = 0; i < stretches; ++i) {
    const bool h = chooser.helping();
    helped += h ? 1 : 0;
    chooser.Observe(h ? helpedShare : aloneShare);
  }
  return helped;
}

TEST(HelpChooser, HelpsWhileACoreIsFreeAndTriesRarelyWhenNot) {
  struct Case {
    const char* name;
    double helpedShare;
    int fewestHelped;
    int mostHelped;
  };
  // 1000 stretches. Busy: two stretches to see it, then trials of two at gaps of 8, 16, 32,
  // 64, then 128.
  const Case cases[] = {
      {"idle machine", 0.05, 1000, 1000},
      {"some waiting", HelpChooser::kBusyShare, 1000, 1000},
      {"one core busy", 0.6, 2, 24},
      {"both cores busy", 1.5, 2, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HelpChooser chooser;
    const int helped = Helped(chooser, 1000, c.helpedShare);
    EXPECT_GE(helped, c.fewestHelped);
    EXPECT_LE(helped, c.mostHelped);
  }
}

TEST(HelpChooser, OneBusyMomentTurnsNothing) {
  HelpChooser chooser;
  const std::vector<double> shares = {0.02, 0.35, 0.01, 0.03, 0.36, 0.0, 0.3, 0.05};
  for (const double share : shares) {
    chooser.Observe(share);
    EXPECT_TRUE(chooser.helping()) << share;
  }
}

TEST(HelpChooser, TurnsWhenTheLoadChanges) {
  HelpChooser chooser;
  Helped(chooser, 1000, 0.6);
  EXPECT_FALSE(chooser.helping());
  // The other program ends: the next trial finds no waiting, and the helper stays on.
  Helped(chooser, HelpChooser::kLongestGap + 2, 0.05);
  EXPECT_TRUE(chooser.helping());
  EXPECT_EQ(Helped(chooser, 100, 0.05), 100);
  // It starts again: the helper is soon off, and a trial comes soon.
  EXPECT_GE(Helped(chooser, 2, 0.6), 1);
  EXPECT_FALSE(chooser.helping());
  int alone = 0;
  for (; !chooser.helping() && alone <= HelpChooser::kShortestGap; ++alone) chooser.Observe(0.3);
  EXPECT_LE(alone, HelpChooser::kShortestGap);
  EXPECT_TRUE(chooser.helping());  // the trial
  EXPECT_EQ(Helped(chooser, 2, 0.6), 2);
  EXPECT_FALSE(chooser.helping());
}

}  // namespace
}  // namespace vantrel
