// Decides whether the look-ahead's helper thread takes batches of lookups or the pass looks
// the names up itself. A second thread pays while a core is free for it and costs when the
// cores are busy with other programs: the helper then takes turns with the pass (and with a
// FUSE daemon) on one core. Which holds changes while a run goes on, so the choice follows
// what the run measures, stretch by stretch: the share of the time in which the run's threads
// were ready to run but waited for a core.
//
// While helping, two stretches with much waiting turn the helper off. While not helping, the
// pass alone says nothing about a second thread, so now and then one stretch is helped as a
// trial, and the helper stays on when that stretch shows little waiting; trials that find the
// cores busy come ever further apart, so that they cost a run a few per cent at most.
#pragma once

namespace vantrel {

class HelpChooser {
 public:
  // Returns true iff batches are to go to the helper in the coming stretch.
  bool helping() const { return helping_; }
  // Tells the share of the stretch just ended (0 to the number of threads) in which the pass
  // and the helper waited for a core, added up.
  void Observe(double waitShare);

  // A stretch with more waiting than this says that the cores are busy.
  static constexpr double kBusyShare = 0.2;
  // Stretches between trials.
  static constexpr int kShortestGap = 16;
  static constexpr int kLongestGap = 128;

 private:
  bool helping_ = true;
  bool trial_ = false;    // the current helped stretches are a trial
  double previous_ = -1;  // the waiting of the last helped stretch, if any
  int gap_ = kShortestGap;
  int untilTrial_ = 0;
};

}  // namespace vantrel
