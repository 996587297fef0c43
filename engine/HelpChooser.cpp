#include "engine/HelpChooser.h"

#include <algorithm>

namespace vantrel {
namespace {

// How much a new batch counts against the batches before it of the same kind: enough to
// follow a change of load within a few batches, little enough that one odd folder (many
// copies, a slow sub-tree) does not turn the choice.
constexpr double kWeight = 0.3;

}  // namespace

bool HelpChooser::NextHelped() {
  if (trying_ || untilTrial_ > 0) {
    if (!trying_) --untilTrial_;
    return helping_;
  }
  trying_ = true;
  return !helping_;
}

void HelpChooser::Observe(bool helped, double nanos, std::size_t names) {
  const bool trial = trying_ && helped != helping_;
  if (names >= kFewestMeasured) {
    double& cost = cost_[helped ? 1 : 0];
    const double perName = nanos / static_cast<double>(names);
    cost = cost < 0 ? perName : cost + kWeight * (perName - cost);
  }
  if (!trial) return;
  trying_ = false;
  const double mine = cost_[helping_ ? 1 : 0];
  const double other = cost_[helping_ ? 0 : 1];
  if (other < 0) {  // the trial was too small to tell
    untilTrial_ = gap_;
  } else if (mine < 0 || other < mine) {
    helping_ = !helping_;
    gap_ = kShortestGap;
    untilTrial_ = gap_;
  } else {
    gap_ = std::min(gap_ * 2, kLongestGap);
    untilTrial_ = gap_;
  }
}

}  // namespace vantrel
