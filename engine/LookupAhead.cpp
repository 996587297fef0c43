#include "engine/LookupAhead.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <system_error>

#include "engine/CaseFolding.h"

namespace vantrel {
namespace {

std::size_t FoldedHash(const char* name) { return std::hash<std::string>()(FoldCase(name)); }

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

LookupAhead::LookupAhead(FileSystem& fs)
    : fs_(fs), minimum_(fs.LookAheadMinimum()), adapts_(fs.LookAheadAdapts()) {}

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
    job->busy_ = i;
    job->busyStale_ = false;
    lock.unlock();
    const LookedUp result = LookUp(fs_, job->dirfd_, job->names_[i]);
    const std::size_t folded = FoldedHash(job->names_[i]);
    lock.lock();
    // The batch is still there: taking it back waits for busy_ to clear.
    job->busy_ = Batch::kNone;
    if (!job->busyStale_) job->slots_[i] = Batch::Slot{true, folded, result};
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
  asked_ = 0;
  if (owner_.adapts_) {
    measured_ = true;
    spent_ = {};
    gets_ = 0;
    helped_ = owner_.chooser_.NextHelped();
    if (!helped_) return;
  }
  slots_.assign(names_.size(), Slot{});
  dirfd_ = dirfd;
  {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    next_ = 0;
    owner_.started_.push_back(this);
  }
  started_ = true;
  owner_.work_.notify_one();
}

void LookupAhead::Batch::Retire() {
  if (measured_) {
    measured_ = false;
    owner_.chooser_.Observe(helped_, std::chrono::duration<double, std::nano>(spent_).count(),
                            gets_);
  }
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
  const LookedUp result = Fetch(dirfd, name);
  if (owner_.adapts_ && owner_.enabled()) {
    const LookupAhead::Clock::time_point now = LookupAhead::Clock::now();
    if (measured_) {
      spent_ += now - owner_.last_;
      ++gets_;
    }
    owner_.last_ = now;
  }
  return result;
}

LookedUp LookupAhead::Batch::Fetch(int dirfd, const char* name) {
  if (!started_) return LookUp(owner_.fs_, dirfd, name);
  // The names lie in listing order in one buffer, so the one asked for is found by moving on.
  const std::size_t count = names_.size();
  std::size_t i = asked_;
  while (i < count && std::less<const char*>()(names_[i], name)) ++i;
  const bool listed = i < count && names_[i] == name;
  asked_ = listed ? i + 1 : i;
  {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    next_ = std::max(next_, asked_);  // what the pass has passed is not worth looking up
    // A lookup in flight is not waited for: the helper may be waiting for a core, and the
    // kernel lets a second lookup of a name that is being read wait for the first one.
    if (listed && slots_[i].done) return slots_[i].result;
  }
  return LookUp(owner_.fs_, dirfd, name);
}

void LookupAhead::Batch::Changed(const char* name) {
  // What the change itself took is no lookup's cost.
  if (owner_.adapts_ && owner_.enabled()) owner_.last_ = LookupAhead::Clock::now();
  if (!started_) return;
  const std::size_t folded = FoldedHash(name);
  std::lock_guard<std::mutex> lock(owner_.mutex_);
  if (busy_ != kNone && FoldedHash(names_[busy_]) == folded) busyStale_ = true;
  for (std::size_t i = asked_; i < names_.size(); ++i) {
    if (slots_[i].done && slots_[i].folded == folded) slots_[i].done = false;
  }
}

}  // namespace vantrel
