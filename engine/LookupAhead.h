// Looks entries up on a second thread while a pass walks its folders, so that a walk over two
// trees keeps both cores busy. The pass still does everything else on its own thread and in
// its own order: a lookup done ahead is only a result it would have got itself, and it is
// used only when nothing the pass did since could have changed it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/FileSystem.h"

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

 private:
  friend class Batch;
  // Starts the helper unless it runs already; false when no thread can be had.
  bool HelperRunning();
  void Loop();
  // Returns the most recently started batch with work left, or nullptr. Needs mutex_.
  Batch* NextJob() const;

  FileSystem& fs_;
  const std::size_t minimum_;
  std::vector<std::unique_ptr<Batch>> batches_;
  std::mutex mutex_;
  std::condition_variable wake_;  // the helper waits here for work
  std::condition_variable left_;  // a retiring batch waits here for the helper to leave it
  Batch* top_ = nullptr;          // started batches, most recent first (needs mutex_)
  Batch* working_ = nullptr;      // the batch the helper is in (needs mutex_)
  std::atomic<std::uint64_t> starts_{0};
  bool stop_ = false;
  bool unavailable_ = false;  // starting the helper failed
  std::thread helper_;
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
  // Appends a name; its text must stay unchanged until the next Reset.
  void Add(const char* name) { names_.push_back(name); }
  std::size_t size() const { return names_.size(); }
  // Hands the names to the helper to be looked up in `dirfd`, which must stay open until the
  // next Reset. Does nothing when the batch is too small to be worth it.
  void Start(int dirfd);
  // Returns the lookup of `name` in `dirfd` (the folder given to Start, if started): the
  // helper's, when `name` is one of the batch's names at or after the last one asked and its
  // lookup began after the last Changed; otherwise one done now.
  LookedUp Get(int dirfd, const char* name);
  // Says that the pass changed the folder: lookups begun before are not used.
  void Changed();

 private:
  friend class LookupAhead;
  enum : std::uint32_t { kFree, kBusy, kDone, kTaken };
  struct Slot {
    std::atomic<std::uint32_t> state{kFree};
    std::uint32_t stamp = 0;  // the generation the helper's lookup began in
    LookedUp result;
  };

  // Returns true iff the helper has lookups to do here (or to do again).
  bool HasWork() const;
  // The helper's side: looks names up ahead of the pass until there is nothing left to do
  // here or another batch was started.
  void Work(std::uint64_t starts);

  LookupAhead& owner_;
  Batch* below_ = nullptr;  // the batch started before this one (needs owner's mutex_)
  std::vector<const char*> names_;
  std::unique_ptr<Slot[]> slots_;
  std::size_t capacity_ = 0;
  int dirfd_ = -1;
  bool started_ = false;
  std::size_t asked_ = 0;  // the pass's position (its thread only)
  std::atomic<std::size_t> next_{0};  // the pass's position, for the helper
  std::atomic<std::uint32_t> generation_{1};
  std::atomic<std::uint32_t> doneGeneration_{0};  // the helper looked at everything in it
  std::atomic<bool> retired_{false};
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
