#include "engine/LookupAhead.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <system_error>

namespace vantrel {
namespace {

// How long the pass waits for a lookup the helper is in the middle of before doing it
// itself: far longer than one lookup takes, short enough not to matter when the helper was
// put to sleep by the scheduler.
constexpr int kSpinLimit = 1 << 14;

void Relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

LookedUp LookUp(FileSystem& fs, int dirfd, const char* name) {
  LookedUp result;
  struct stat st;
  if (fs.StatAt(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    result.error = errno;
  } else {
    result.mode = st.st_mode;
    result.mtime = st.st_mtim.tv_sec;
    result.size = st.st_size;
  }
  return result;
}

LookupAhead::LookupAhead(FileSystem& fs) : fs_(fs), minimum_(fs.LookAheadMinimum()) {}

LookupAhead::~LookupAhead() {
  for (auto& batch : batches_) batch->Reset();
  if (helper_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    helper_.join();
  }
}

LookupAhead::Batch& LookupAhead::ForDepth(std::size_t depth) {
  while (batches_.size() <= depth) batches_.push_back(std::make_unique<Batch>(*this));
  return *batches_[depth];
}

LookupAhead::Batch* LookupAhead::NextJob() const {
  for (Batch* batch = top_; batch != nullptr; batch = batch->below_) {
    if (batch->HasWork()) return batch;
  }
  return nullptr;
}

void LookupAhead::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Batch* job = nullptr;
    wake_.wait(lock, [&] { return stop_ || (job = NextJob()) != nullptr; });
    if (stop_) return;
    working_ = job;
    const std::uint64_t starts = starts_.load(std::memory_order_relaxed);
    lock.unlock();
    job->Work(starts);
    lock.lock();
    working_ = nullptr;
    left_.notify_all();
  }
}

bool LookupAhead::HelperRunning() {
  if (!helper_.joinable() && !unavailable_) {
    try {
      helper_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
      unavailable_ = true;  // out of threads: the run goes on with one
    }
  }
  return helper_.joinable();
}

void LookupAhead::Batch::Start(int dirfd) {
  if (!owner_.Worth(names_.size()) || !owner_.HelperRunning()) return;
  if (capacity_ < names_.size()) {
    capacity_ = std::max(names_.size(), 2 * capacity_);
    slots_ = std::make_unique<Slot[]>(capacity_);
  }
  for (std::size_t i = 0; i < names_.size(); ++i) {
    slots_[i].state.store(kFree, std::memory_order_relaxed);
  }
  dirfd_ = dirfd;
  asked_ = 0;
  next_.store(0, std::memory_order_relaxed);
  doneGeneration_.store(generation_.load(std::memory_order_relaxed) - 1,
                        std::memory_order_relaxed);
  retired_.store(false, std::memory_order_relaxed);
  started_ = true;
  {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    below_ = owner_.top_;
    owner_.top_ = this;
    owner_.starts_.fetch_add(1, std::memory_order_release);
  }
  owner_.wake_.notify_one();
}

void LookupAhead::Batch::Reset() {
  if (started_) {
    retired_.store(true, std::memory_order_release);
    std::unique_lock<std::mutex> lock(owner_.mutex_);
    for (Batch** link = &owner_.top_; *link != nullptr; link = &(*link)->below_) {
      if (*link == this) {
        *link = below_;
        break;
      }
    }
    below_ = nullptr;
    owner_.left_.wait(lock, [&] { return owner_.working_ != this; });
    started_ = false;
  }
  names_.clear();
}

bool LookupAhead::Batch::HasWork() const {
  return !retired_.load(std::memory_order_acquire) &&
         doneGeneration_.load(std::memory_order_acquire) !=
             generation_.load(std::memory_order_acquire);
}

void LookupAhead::Batch::Work(std::uint64_t starts) {
  const std::size_t count = names_.size();
  std::uint32_t generation = 0;
  std::size_t i = 0;
  for (;;) {
    if (retired_.load(std::memory_order_acquire) ||
        owner_.starts_.load(std::memory_order_acquire) != starts) {
      return;  // taken back, or a deeper folder's batch wants the helper
    }
    const std::uint32_t now = generation_.load(std::memory_order_acquire);
    if (now != generation) {  // the pass changed the folder: look again at what it has not used
      generation = now;
      i = 0;
    }
    i = std::max(i, next_.load(std::memory_order_acquire));
    if (i >= count) {
      doneGeneration_.store(generation, std::memory_order_release);
      if (generation_.load(std::memory_order_acquire) == generation) return;
      continue;
    }
    Slot& slot = slots_[i];
    std::uint32_t state = slot.state.load(std::memory_order_acquire);
    if ((state == kFree || (state == kDone && slot.stamp != generation)) &&
        slot.state.compare_exchange_strong(state, kBusy, std::memory_order_acq_rel)) {
      slot.stamp = generation;
      slot.result = LookUp(owner_.fs_, dirfd_, names_[i]);
      slot.state.store(kDone, std::memory_order_release);
    }
    ++i;
  }
}

LookedUp LookupAhead::Batch::Get(int dirfd, const char* name) {
  if (!started_) return LookUp(owner_.fs_, dirfd, name);
  // The names lie in listing order in one buffer, so the one asked for is found by moving on.
  const std::size_t count = names_.size();
  std::size_t i = asked_;
  while (i < count && std::less<const char*>()(names_[i], name)) ++i;
  if (i == count || names_[i] != name) {
    asked_ = i;
    next_.store(i, std::memory_order_release);
    return LookUp(owner_.fs_, dirfd, name);
  }
  asked_ = i + 1;
  next_.store(i + 1, std::memory_order_release);
  Slot& slot = slots_[i];
  for (int spins = 0; spins < kSpinLimit; ++spins) {
    std::uint32_t state = slot.state.load(std::memory_order_acquire);
    if (state == kBusy) {
      Relax();
      continue;
    }
    if (slot.state.compare_exchange_strong(state, kTaken, std::memory_order_acq_rel)) {
      if (state == kDone && slot.stamp == generation_.load(std::memory_order_relaxed)) {
        return slot.result;
      }
      break;
    }
  }
  return LookUp(owner_.fs_, dirfd, name);
}

void LookupAhead::Batch::Changed() {
  if (!started_) return;
  generation_.fetch_add(1, std::memory_order_release);
  // Through the mutex, so that a helper deciding to sleep sees the new generation first.
  { std::lock_guard<std::mutex> lock(owner_.mutex_); }
  owner_.wake_.notify_one();
}

}  // namespace vantrel
