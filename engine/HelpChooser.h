// Decides, one batch of lookups at a time, whether the look-ahead's helper thread takes the
// batch or the pass looks the names up itself. A second thread pays on an idle machine and
// costs when the cores are busy with other programs (the helper and the pass then take turns
// on one core), and which holds changes while a run goes on; so the choice is made from what
// the run measures: the pass's time per name in batches of each kind. Now and then one batch
// is done the other way to see whether that has become the cheaper one.
#pragma once

#include <cstddef>

namespace vantrel {

class HelpChooser {
 public:
  // Returns true iff the next batch is to be handed to the helper.
  bool NextHelped();
  // Tells what a batch that NextHelped decided cost the pass: `nanos` over `names` lookups.
  // Batches too small to tell are only counted.
  void Observe(bool helped, double nanos, std::size_t names);

  // Returns true iff batches go to the helper when no trial is under way.
  bool helping() const { return helping_; }

  // The fewest names of a batch whose cost is taken as a measure.
  static constexpr std::size_t kFewestMeasured = 32;
  // Trials come at most this many batches apart, so that a change of load is seen soon.
  static constexpr int kLongestGap = 32;

 private:
  static constexpr int kShortestGap = 4;
  static constexpr int kFirstGap = 2;

  bool helping_ = true;
  bool trying_ = false;     // a batch done the other way is under way
  int gap_ = kShortestGap;  // batches between trials
  int untilTrial_ = kFirstGap;
  double cost_[2] = {-1, -1};  // smoothed nanoseconds per name: [0] alone, [1] helped
};

}  // namespace vantrel
