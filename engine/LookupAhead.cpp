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

unsigned char AsciiLower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Lookups that take less than this on the helper are done again rather than waited for: about
// what putting a thread to sleep and waking it costs. The pass then leaves the helper the
// names from kStride on.
constexpr std::chrono::microseconds kWorthWaiting(20);
constexpr std::size_t kStride = 8;
// How long the pass waits for the helper's slow lookup of a name before making it itself: far
// longer than a lookup takes, short enough not to matter when the helper was put to sleep.
constexpr std::chrono::milliseconds kSlowPatience(50);
// A stretch of the run that the choice of threads is measured over, and how often the helper
// reads its waits: long against the scheduler's time slices, short against a run.
constexpr std::chrono::milliseconds kStretch(5);
constexpr std::chrono::milliseconds kHelperReading(1);
// The pass reads the clock for its stretch once in this many lookups: a cached lookup takes
// about a microsecond, not much more than reading the clock.
constexpr unsigned kAsksPerClockReading = 16;

// Returns false only when the names differ in more than case: compared letter by letter in
// ASCII; from the first byte that is not ASCII on they may be one name on a drive that folds
// case, for all this says.
bool MayFoldTogether(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char x = static_cast<unsigned char>(*a);
    const unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 0x80 || y >= 0x80) return true;
    if (AsciiLower(x) != AsciiLower(y)) return false;
    if (x == 0) return true;
  }
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
  const ThreadWaits waits;
  Clock::time_point lastReading{};
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Batch* job = nullptr;
    work_.wait(lock, [&] { return stop_ || (job = NextJob()) != nullptr; });
    if (stop_) return;
    const std::size_t i = job->next_++;
    job->busy_ = i;
    job->busyStale_ = false;
    lock.unlock();
    const Clock::time_point begun = Clock::now();
    const LookedUp result = LookUp(fs_, job->dirfd_, job->names_[i]);
    const Clock::time_point now = Clock::now();
    lock.lock();
    // The batch is still there: taking it back waits for busy_ to clear.
    job->busy_ = Batch::kNone;
    if (!job->busyStale_) job->slots_[i] = Batch::Slot{true, result};
    ++lookupsDone_;
    lookupTime_ += (now - begun - lookupTime_) / 8;
    done_.notify_one();
    if (adapts_ && now - lastReading >= kHelperReading) {
      lastReading = now;
      helperWaits_ = waits.Nanoseconds();
    }
  }
}

void LookupAhead::Measure() {
  const Clock::time_point now = Clock::now();
  if (!passWaits_) {
    passWaits_.emplace();
    stretchStart_ = now;
    passWaited_ = passWaits_->Nanoseconds();
    return;
  }
  if (now - stretchStart_ < kStretch) return;
  const std::int64_t passWaited = passWaits_->Nanoseconds();
  std::int64_t helperWaited;
  long lookups;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    helperWaited = helperWaits_;
    lookups = lookupsDone_;
  }
  // A helped stretch in which the helper had nothing to do (small folders) tells nothing.
  const bool told = passWaited >= 0 && passWaited_ >= 0 && helperWaited >= 0 &&
                    (!chooser_.helping() || lookups > helperLookups_);
  if (told) {
    const double waited =
        static_cast<double>(passWaited - passWaited_ + helperWaited - helperWaited_);
    chooser_.Observe(waited /
                     std::chrono::duration<double, std::nano>(now - stretchStart_).count());
  }
  stretchStart_ = now;
  passWaited_ = passWaited;
  helperWaited_ = helperWaited;
  helperLookups_ = lookups;
}

void LookupAhead::Batch::Add(const char* name) {
  Retire();
  names_.push_back(name);
}

void LookupAhead::Batch::Start(int dirfd) {
  Retire();
  if (!owner_.Worth(names_.size()) || !owner_.HelperRunning()) return;
  asked_ = 0;
  if (owner_.adapts_ && !owner_.chooser_.helping()) return;
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
  if (owner_.adapts_ && owner_.enabled() && ++owner_.asksUnmeasured_ >= kAsksPerClockReading) {
    owner_.asksUnmeasured_ = 0;
    owner_.Measure();
  }
  return Fetch(dirfd, name);
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
    std::unique_lock<std::mutex> lock(owner_.mutex_);
    if (!listed || slots_[i].done) {
      next_ = std::max(next_, asked_);  // what the pass has passed is not worth looking up
      if (listed) return slots_[i].result;
    } else if (owner_.lookupTime_ >= kWorthWaiting && (busy_ == i || next_ <= i)) {
      // Slow lookups (a FUSE daemon, a cold cache) are all left to the helper: a second
      // request would queue behind the helper's at a daemon that serves one at a time, and
      // on a disk the two threads keep to two streams of reads.
      next_ = std::max(next_, i);
      owner_.done_.wait_for(lock, kSlowPatience,
                            [&] { return slots_[i].done || (busy_ != i && next_ > i); });
      next_ = std::max(next_, asked_);
      if (slots_[i].done) return slots_[i].result;
    } else {
      // Waiting would take longer than looking the name up again. When the helper is at this
      // very name, the pass takes the next names itself and the helper goes on further
      // ahead, so that the two do not meet at every name.
      next_ = std::max(next_, busy_ == i ? asked_ + kStride : asked_);
    }
  }
  return LookUp(owner_.fs_, dirfd, name);
}

void LookupAhead::Batch::Changed(const char* name) {
  if (!started_) return;
  std::lock_guard<std::mutex> lock(owner_.mutex_);
  if (busy_ != kNone && MayFoldTogether(names_[busy_], name)) busyStale_ = true;
  for (std::size_t i = asked_; i < names_.size(); ++i) {
    if (slots_[i].done && MayFoldTogether(names_[i], name)) slots_[i].done = false;
  }
}

}  // namespace vantrel
