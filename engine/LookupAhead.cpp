#include "engine/LookupAhead.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <system_error>

namespace vantrel {
namespace {

// How long the pass waits for a lookup the helper is in the middle of before doing it itself:
// far longer than a lookup from the cache takes, short enough not to matter when the helper
// was put to sleep by the scheduler.
constexpr std::chrono::microseconds kPatience(1000);

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
    work_.notify_one();
    helper_.join();
  }
}

LookupAhead::Batch& LookupAhead::ForDepth(std::size_t depth) {
  while (batches_.size() <= depth) batches_.push_back(std::make_unique<Batch>(*this));
  return *batches_[depth];
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

LookupAhead::Batch* LookupAhead::NextJob() const {
  // The deepest folder's batch first: that is where the pass is.
  for (auto batch = started_.rbegin(); batch != started_.rend(); ++batch) {
    if ((*batch)->next_ < (*batch)->names_.size()) return *batch;
  }
  return nullptr;
}

void LookupAhead::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Batch* job = nullptr;
    work_.wait(lock, [&] { return stop_ || (job = NextJob()) != nullptr; });
    if (stop_) return;
    const std::size_t i = job->next_++;
    const std::uint64_t generation = job->generation_;
    job->busy_ = i;
    lock.unlock();
    const LookedUp result = LookUp(fs_, job->dirfd_, job->names_[i]);
    lock.lock();
    // The batch is still there: taking it back waits for busy_ to clear.
    job->busy_ = Batch::kNone;
    job->slots_[i] = Batch::Slot{true, generation, result};
    done_.notify_one();
  }
}

void LookupAhead::Batch::Add(const char* name) {
  Retire();
  names_.push_back(name);
}

void LookupAhead::Batch::Start(int dirfd) {
  Retire();
  if (!owner_.Worth(names_.size()) || !owner_.HelperRunning()) return;
  slots_.assign(names_.size(), Slot{});
  dirfd_ = dirfd;
  asked_ = 0;
  {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    next_ = 0;
    owner_.started_.push_back(this);
  }
  started_ = true;
  owner_.work_.notify_one();
}

void LookupAhead::Batch::Retire() {
  if (!started_) return;
  std::unique_lock<std::mutex> lock(owner_.mutex_);
  auto& started = owner_.started_;
  started.erase(std::find(started.begin(), started.end(), this));
  owner_.done_.wait(lock, [&] { return busy_ == kNone; });
  started_ = false;
}

void LookupAhead::Batch::Reset() {
  Retire();
  names_.clear();
}

LookedUp LookupAhead::Batch::Get(int dirfd, const char* name) {
  if (!started_) return LookUp(owner_.fs_, dirfd, name);
  // The names lie in listing order in one buffer, so the one asked for is found by moving on.
  const std::size_t count = names_.size();
  std::size_t i = asked_;
  while (i < count && std::less<const char*>()(names_[i], name)) ++i;
  const bool listed = i < count && names_[i] == name;
  asked_ = listed ? i + 1 : i;
  {
    std::unique_lock<std::mutex> lock(owner_.mutex_);
    next_ = std::max(next_, asked_);  // what the pass has passed is not worth looking up
    if (listed) {
      if (busy_ == i) owner_.done_.wait_for(lock, kPatience, [&] { return busy_ != i; });
      const Slot& slot = slots_[i];
      if (slot.done && slot.generation == generation_) return slot.result;
    }
  }
  return LookUp(owner_.fs_, dirfd, name);
}

void LookupAhead::Batch::Changed() {
  if (!started_) return;
  {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    ++generation_;
    next_ = asked_;  // look again at what the pass has not used yet
  }
  owner_.work_.notify_one();
}

}  // namespace vantrel
