// Looks entries up on a second thread while a pass walks its folders, so that a walk over two
// trees keeps both cores busy. The pass still does everything else on its own thread and in
// its own order: a lookup done ahead is only a result it would have got itself, and it is
// used only when nothing the pass did since could have changed it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/FileSystem.h"
#include "engine/HelpChooser.h"
#include "engine/ThreadWaits.h"

namespace vantrel {

// What the passes need from looking up an entry without following a link.
struct LookedUp {
  int error = 0;  // 0, or the errno of the failed lookup
  mode_t mode = 0;
  std::time_t mtime = 0;  // seconds
  off_t size = 0;
};

// Looks `name` up in the folder `dirfd` on the calling thread.
LookedUp LookUp(FileSystem& fs, int dirfd, const char* name);

// Owns the helper thread of one run (started on first need, joined on destruction) and one
// batch of names per folder level.
//
// The protocol, all of it under one mutex: the pass starts a batch (publishing its names) and
// takes it back before the names' texts change; the helper looks names up one at a time, the
// lookup itself outside the mutex, always in the most recently started batch that has names
// left; when the pass changes a name of the folder, the results for that name and the names
// it may stand for on a drive that folds case are dropped, also one in flight. Taking a batch
// back waits for the lookup in flight, so the helper never touches names or slots that are
// not its to touch.
//
// Whether a batch goes to the helper at all follows how long the two threads wait for a core
// (HelpChooser), unless the file system asks for the helper always.
class LookupAhead {
 public:
  class Batch;

  // `fs` must outlive this object. The helper takes a batch only when it has at least
  // fs.LookAheadMinimum() names; with 0 every lookup stays on the caller's thread.
  explicit LookupAhead(FileSystem& fs);
  ~LookupAhead();
  LookupAhead(const LookupAhead&) = delete;
  LookupAhead& operator=(const LookupAhead&) = delete;

  // Returns the batch of folder level `depth`, kept for the object's lifetime.
  Batch& ForDepth(std::size_t depth);
  // Returns true iff a batch of `count` names is worth handing to the helper.
  bool Worth(std::size_t count) const { return minimum_ != 0 && count >= minimum_; }
  bool enabled() const { return minimum_ != 0; }
  // Returns true iff a batch started now may go to the helper: false while the choice leaves
  // the lookups to the pass, so that the pass need not gather names for nobody.
  bool MayHelp() const { return enabled() && (!adapts_ || chooser_.helping()); }

 private:
  friend class Batch;
  using Clock = std::chrono::steady_clock;
  // Starts the helper unless it runs already; false when no thread can be had.
  bool HelperRunning();
  void Loop();
  // Ends the stretch being measured when it is long enough and tells the chooser how much the
  // two threads waited for a core in it. The pass's thread only.
  void Measure();
  // Returns the most recently started batch with names left to look up, or nullptr.
  // Needs mutex_.
  Batch* NextJob() const;

  FileSystem& fs_;
  const std::size_t minimum_;
  const bool adapts_;
  // The pass's thread only: the choice, and the stretch of the run it is measuring.
  HelpChooser chooser_;
  std::optional<ThreadWaits> passWaits_;  // made on the pass's thread
  Clock::time_point stretchStart_{};
  std::int64_t passWaited_ = 0;    // at the stretch's start
  std::int64_t helperWaited_ = 0;  // at the stretch's start
  long helperLookups_ = 0;         // at the stretch's start
  unsigned asksUnmeasured_ = 0;    // lookups asked for since the clock was last read
  std::mutex mutex_;
  std::condition_variable work_;  // the helper waits here for names to look up
  std::condition_variable done_;  // the pass waits here for a lookup in flight to end
  std::vector<Batch*> started_;   // in the order started (needs mutex_)
  bool stop_ = false;             // needs mutex_
  std::int64_t helperWaits_ = 0;  // the helper's latest reading of its waits (needs mutex_)
  long lookupsDone_ = 0;          // by the helper (needs mutex_)
  Clock::duration lookupTime_{};  // a lookup's time on the helper, smoothed (needs mutex_)
  bool unavailable_ = false;      // starting the helper failed
  std::thread helper_;
  std::vector<std::unique_ptr<Batch>> batches_;  // the pass's thread only
};

// The names of one listing buffer-full that a pass is going to look up in one folder, in the
// order it will ask for them. Used by the pass's thread only; the helper works on it between
// Start and the next Reset.
class LookupAhead::Batch {
 public:
  explicit Batch(LookupAhead& owner) : owner_(owner) {}
  ~Batch() { Reset(); }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  // Takes the batch back from the helper and forgets its names. Must be called before the
  // texts of the names change or the folder's descriptor is closed.
  void Reset();
  // Appends a name; its text must stay unchanged until the next Reset. A started batch is
  // taken back from the helper first.
  void Add(const char* name);
  std::size_t size() const { return names_.size(); }
  // Hands the names to the helper to be looked up in `dirfd`, which must stay open until the
  // next Reset. Does nothing when the batch is too small to be worth it.
  void Start(int dirfd);
  // Returns the lookup of `name` in `dirfd` (the folder given to Start, if started): the
  // helper's, when `name` is one of the batch's names at or after the last one asked and no
  // Changed of a name it may stand for came after its lookup began; otherwise one done now.
  LookedUp Get(int dirfd, const char* name);
  // Says that the pass changed the entry `name` of the folder (copied, replaced, created):
  // lookups of that name, and of the names that differ from it only in case, are not used.
  void Changed(const char* name);

 private:
  friend class LookupAhead;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Slot {
    bool done = false;
    LookedUp result;
  };

  LookedUp Fetch(int dirfd, const char* name);
  // Takes the batch back from the helper, keeping its names.
  void Retire();

  LookupAhead& owner_;
  // Written only while the batch is not started, so the helper reads them without the mutex.
  std::vector<const char*> names_;
  int dirfd_ = -1;
  bool started_ = false;   // the pass's thread only
  std::size_t asked_ = 0;  // the pass's position (its thread only)
  // The rest needs the owner's mutex while the batch is started.
  std::vector<Slot> slots_;
  std::size_t next_ = 0;      // the name the helper looks up next
  std::size_t busy_ = kNone;  // the name the helper is looking up
  bool busyStale_ = false;    // the pass changed the folder during that lookup
};

// Takes a batch back from the helper when a level's walk ends, however it ends.
class BatchScope {
 public:
  explicit BatchScope(LookupAhead::Batch& batch) : batch_(batch) {}
  ~BatchScope() { batch_.Reset(); }
  BatchScope(const BatchScope&) = delete;
  BatchScope& operator=(const BatchScope&) = delete;

 private:
  LookupAhead::Batch& batch_;
};

}  // namespace vantrel
