#include "engine/HelpChooser.h"

#include <algorithm>

namespace vantrel {

void HelpChooser::Observe(double waitShare) {
  if (!helping_) {
    if (--untilTrial_ > 0) return;
    helping_ = true;
    trial_ = true;
    previous_ = -1;
    return;
  }
  // Two stretches at a time, so that one moment of another program's work turns nothing.
  if (previous_ < 0) {
    previous_ = waitShare;
    return;
  }
  const bool busy = (previous_ + waitShare) / 2 > kBusyShare;
  previous_ = waitShare;
  if (!busy) {
    if (trial_) gap_ = kShortestGap;
    trial_ = false;
    return;
  }
  // A trial that found the cores busy waits longer for the next one.
  gap_ = trial_ ? std::min(gap_ * 2, kLongestGap) : kShortestGap;
  trial_ = false;
  helping_ = false;
  untilTrial_ = gap_;
}

}  // namespace vantrel
