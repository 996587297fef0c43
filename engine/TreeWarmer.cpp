#include "engine/TreeWarmer.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <system_error>

#include "engine/DirectoryReader.h"
#include "engine/EntryKinds.h"
#include "engine/ThreadWaits.h"

namespace vantrel {

namespace {

using Clock = std::chrono::steady_clock;

// Folders found but not yet read are kept up to this many; the rest of a very wide tree is
// left to the passes alone rather than held in memory.
constexpr std::size_t kMostPending = 4096;
constexpr std::size_t kBufferSize = 32 * 1024;

}  // namespace

// One thread's measure of whether its reading finds the trees cached. Now and then a folder
// is read a second time at once, which the cache always answers: a first reading that took
// several times as long as the second came from the drive. Measuring against the thread's own
// cached reading keeps the verdict apart from the speed of the machine; the time the thread
// waited for a core is left out of both.
class TreeWarmer::Stretch {
 public:
  // Returns true iff the next folder is to be read twice.
  bool Sampling() { return ++folders_ % 4 == 0; }
  // The thread's own time in nanoseconds: running, or waiting for the drive.
  std::int64_t Now() const {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 Clock::now().time_since_epoch())
                                 .count();
    const std::int64_t waited = waits_.Nanoseconds();
    return waited < 0 ? now : now - waited;
  }
  void Add(std::int64_t first, std::int64_t again) {
    first_ += first;
    again_ += again;
    ++samples_;
  }
  bool Long() const { return samples_ >= 2 && first_ >= TreeWarmer::kStretchMicroseconds * 1000; }
  // Returns true iff the drive answered the first readings, and starts the next stretch.
  bool Judge() {
    const bool fromDrive = first_ >= 4 * again_;
    first_ = again_ = 0;
    samples_ = 0;
    return fromDrive;
  }

 private:
  ThreadWaits waits_;  // of the thread that made it
  std::int64_t first_ = 0;
  std::int64_t again_ = 0;
  int samples_ = 0;
  unsigned folders_ = 0;
};

TreeWarmer::TreeWarmer(FileSystem& fs)
    : fs_(fs), threadsWanted_(fs.LookAheadMinimum() == 0 ? 0 : fs.WarmingThreads()) {}

TreeWarmer::~TreeWarmer() { Stop(); }

void TreeWarmer::Start(const std::vector<int>& tops, bool subfolders, bool hidden,
                       bool listOthers) {
  if (started_ || threadsWanted_ == 0) return;
  started_ = true;
  startedAt_ = Clock::now();
  for (const int fd : tops) {
    struct stat st;
    if (fd >= 0 && fs_.Fstat(fd, &st) == 0) tops_.push_back(Top{fd, st.st_dev});
  }
  if (tops_.empty()) return;
  subfolders_ = subfolders;
  hidden_ = hidden;
  listOthers_ = listOthers;
  const std::lock_guard lock(mutex_);
  pending_.emplace_back();
  AddThread(true);
}

bool TreeWarmer::AddThread(bool first) {
  if (stopped_ || threads_.size() >= threadsWanted_) return false;
  try {
    threads_.emplace_back([this, first] { Loop(first); });
  } catch (const std::system_error&) {
    return false;  // the passes do without
  }
  ++running_;
  return true;
}

bool TreeWarmer::FarAhead() const {
  const long entered = passFolders_.load(std::memory_order_relaxed);
  const long ahead = foldersRead() - entered;
  if (ahead > kAhead) return true;
  // Until the passes walk there is no pace to keep to.
  if (ahead <= kLeastAhead || entered == 0) return false;
  // The pace over the whole run so far, over no less than a few hundredths of a second; the
  // passes enter their first folder at once, so it is the folders entered after that one.
  const double seconds =
      std::max(std::chrono::duration<double>(Clock::now() - startedAt_).count(), 0.05);
  return static_cast<double>(ahead) >
         static_cast<double>(entered - 1) / seconds *
             std::chrono::duration<double>(kCachedFor).count();
}

bool TreeWarmer::Finished() {
  const std::lock_guard lock(mutex_);
  return (started_ || stopped_) && running_ == 0;
}

void TreeWarmer::Stop() {
  std::vector<std::thread> threads;
  {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    stopping_.store(true, std::memory_order_relaxed);
    threads.swap(threads_);
  }
  work_.notify_all();
  for (std::thread& thread : threads) thread.join();
}

void TreeWarmer::Loop(bool first) {
  // The lowest priority: the threads then take the time that the passes and a drive's driver
  // leave, and no more. At the passes' priority, on a busy machine, a FUSE driver's one
  // thread shared its core with all four and a rescan took longer than on one thread.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kPriority);
  Stretch stretch;
  bool othersStarted = !first;
  // Reading where the passes are, or have been, finds everything cached: a thread whose
  // stretch says so goes on with the folder found last of all, the farthest ahead of them; a
  // second such stretch in a row says that the trees are cached, and it stops.
  bool farthest = false;
  bool cachedBefore = false;
  const std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  std::vector<std::string> found;
  std::string path;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] { return stopped_ || !pending_.empty() || reading_ == 0; });
      if (stopped_ || pending_.empty()) break;  // stopped, or nothing is left nor coming
      if (farthest) {
        path = std::move(pending_.front());
        pending_.erase(pending_.begin());
      } else {
        path = std::move(pending_.back());
        pending_.pop_back();
      }
      ++reading_;
    }
    while (!Stopping() && FarAhead()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    found.clear();
    // The passes read the top folders at once too: those tell nothing.
    const bool tops = path.empty();
    ReadFolder(path, buffer.get(), kBufferSize, tops ? nullptr : &stretch, found);
    foldersRead_.fetch_add(1, std::memory_order_relaxed);
    const bool verdict = stretch.Long();
    const bool cached = verdict && !stretch.Judge();
    bool leave = false;
    if (verdict) {
      farthest = cached;
      leave = cached && cachedBefore;
      cachedBefore = cached;
    }
    {
      const std::lock_guard lock(mutex_);
      --reading_;
      for (auto name = found.rbegin(); name != found.rend() && pending_.size() < kMostPending;
           ++name) {
        pending_.push_back(std::move(*name));
      }
      if (!othersStarted && verdict && !cached) {
        othersStarted = true;
        while (AddThread(false)) {
        }
      }
    }
    work_.notify_all();
    if (leave) break;  // the folders it found stay for the others
  }
  {
    const std::lock_guard lock(mutex_);
    --running_;
  }
  work_.notify_all();  // a thread that stops may leave the others nothing to wait for
}

void TreeWarmer::ReadFolder(const std::string& path, char* buffer, std::size_t size,
                            Stretch* stretch, std::vector<std::string>& subfolders) {
  const char* name = path.empty() ? "." : path.c_str();
  const bool sampled = stretch != nullptr && stretch->Sampling();
  const std::int64_t start = sampled ? stretch->Now() : 0;
  std::vector<UniqueFd> folders;
  folders.reserve(tops_.size());
  for (const Top& top : tops_) {
    folders.emplace_back(fs_, fs_.OpenAt(top.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0));
  }
  // The first tree is listed, and its names are looked up in the others, as a pass does; the
  // others are listed too only when a pass lists them (a listing that is not cached, like a
  // FUSE drive's, is read anew every time).
  const std::size_t listed = listOthers_ ? folders.size() : 1;
  std::vector<std::string> firstTree;  // the subfolders found in the first tree, sorted
  for (std::size_t i = 0; i < listed; ++i) {
    if (!folders[i].valid()) continue;
    if (!ReadEntries(folders, i, buffer, size, &subfolders, i == 0 ? nullptr : &firstTree, path))
      return;
    if (i == 0 && listed > 1) {
      firstTree = subfolders;
      std::sort(firstTree.begin(), firstTree.end());
    }
  }
  if (!sampled) return;
  const std::int64_t between = stretch->Now();
  for (std::size_t i = 0; i < listed; ++i) {
    if (!folders[i].valid()) continue;
    if (fs_.Lseek(folders[i].get(), 0, SEEK_SET) != 0 ||
        !ReadEntries(folders, i, buffer, size, nullptr, nullptr, path)) {
      return;
    }
  }
  stretch->Add(between - start, stretch->Now() - between);
}

bool TreeWarmer::ReadEntries(const std::vector<UniqueFd>& folders, std::size_t listed,
                             char* buffer, std::size_t size, std::vector<std::string>* subfolders,
                             const std::vector<std::string>* known, const std::string& path) {
  const int folder = folders[listed].get();
  DirectoryReader reader(fs_, folder, buffer, size);
  DirEntry entry;
  while (reader.Next(entry)) {
    if (Stopping()) return false;
    if (!hidden_ && IsHiddenName(entry.name)) continue;
    struct stat st;
    const bool found = fs_.StatAt(folder, entry.name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!listOthers_) {
      struct stat other;
      for (std::size_t i = 1; i < folders.size(); ++i) {
        if (folders[i].valid()) fs_.StatAt(folders[i].get(), entry.name, &other, AT_SYMLINK_NOFOLLOW);
      }
    }
    // A link is never followed, and a drive mounted inside a tree is the passes' business.
    if (!found || subfolders == nullptr || !subfolders_ || !S_ISDIR(st.st_mode) ||
        st.st_dev != tops_[listed].device) {
      continue;
    }
    std::string sub = path.empty() ? std::string(entry.name) : path + '/' + entry.name;
    if (known == nullptr || !std::binary_search(known->begin(), known->end(), sub))
      subfolders->push_back(std::move(sub));
  }
  return true;
}

}  // namespace vantrel
