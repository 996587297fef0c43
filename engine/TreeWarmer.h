// Reads a run's trees ahead of its passes while they are not in the kernel's cache: several
// threads list folders and look at their entries, so that the drive gets many requests at
// once instead of the pass's one after another. What they read is thrown away; the passes
// make every call themselves and find the answers cached, so nothing a pass decides depends
// on this.
//
// It pays only while the trees are not cached. Each thread now and then reads a folder twice
// and compares: a first reading that cost several times the second (which the cache answers)
// came from the drive. When the first thread finds that, the other threads start; a thread
// whose first readings cost no more than cached ones moves on to the folder farthest from the
// passes, and after two such stretches in a row it stops, which also ends the reading on a
// cached tree and once the passes have caught up with it. The threads run at the lowest
// priority, so that on a busy machine they do not take the time the passes and the drive's
// driver need.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/FileSystem.h"
#include "common/UniqueFd.h"

namespace vantrel {

class TreeWarmer {
 public:
  // `fs` must outlive this object. It reads with fs.WarmingThreads() threads, or none when
  // the file system wants every call on the pass's thread (fs.LookAheadMinimum() is 0).
  explicit TreeWarmer(FileSystem& fs);
  ~TreeWarmer();  // Stop()
  TreeWarmer(const TreeWarmer&) = delete;
  TreeWarmer& operator=(const TreeWarmer&) = delete;

  // Begins reading the trees of the open folders `tops` (not owned; they must stay open until
  // Stop; negative ones are left out): their subfolders too when `subfolders`, the names
  // starting with '.' only when `hidden`. The first tree is listed and its names are looked
  // up in the others; those are listed as well when `listOthers` (a pass lists them). Only
  // the first call of an object does anything.
  void Start(const std::vector<int>& tops, bool subfolders, bool hidden, bool listOthers);
  // Tells that a pass entered a folder; the reading keeps at most kAhead folders ahead of the
  // passes, so that on trees larger than the cache it does not push out what they still need,
  // and no further than their pace says they come within kCachedFor.
  void Entered() { passFolders_.fetch_add(1, std::memory_order_relaxed); }
  // Ends the reading and joins its threads. The pass's thread only.
  void Stop();

  // The folders (each read in every tree) that the threads have read so far.
  long foldersRead() const { return foldersRead_.load(std::memory_order_relaxed); }
  // Returns true iff reading began and every thread has ended (read all, or stepped aside).
  bool Finished();

  // How far ahead of the passes the reading may be: at most kAhead folders, and no more than
  // the passes walk in kCachedFor at their pace so far (but kLeastAhead), since what they come
  // to later may have been forgotten (a FUSE driver's answers are kept for a second by
  // default), and then reading it only doubled the drive's work.
  static constexpr long kAhead = 2048;
  static constexpr long kLeastAhead = 16;
  static constexpr std::chrono::milliseconds kCachedFor{500};
  // The threads' nice value: the lowest priority.
  static constexpr int kPriority = 19;
  // The least time of first readings that a thread measures before it judges.
  static constexpr long kStretchMicroseconds = 500;

 private:
  class Stretch;
  struct Top {
    int fd;
    dev_t device;  // the reading stays on the top folder's file system
  };

  // Starts one more thread; false when none can be had or reading has stopped. Needs mutex_.
  bool AddThread(bool first);
  void Loop(bool first);
  // Reads the folder `path` (relative to the tops, "" for the tops themselves) of every tree
  // and appends the paths of the subfolders to read next, in the first tree's listing order.
  // Measures the reading into `stretch` unless it is null.
  void ReadFolder(const std::string& path, char* buffer, std::size_t size, Stretch* stretch,
                  std::vector<std::string>& subfolders);
  // Lists `folders[listed]` (of the folder `path`) and looks at each entry, in the other
  // `folders` too unless those are listed themselves; with `subfolders`, appends the paths of
  // the subfolders on the listed tree's file system that are not in `known` (sorted; may be
  // null). Returns false when stopped.
  bool ReadEntries(const std::vector<UniqueFd>& folders, std::size_t listed, char* buffer,
                   std::size_t size, std::vector<std::string>* subfolders,
                   const std::vector<std::string>* known, const std::string& path);
  bool Stopping() const { return stopping_.load(std::memory_order_relaxed); }
  // Returns true iff the reading is as far ahead of the passes as it may be.
  bool FarAhead() const;

  FileSystem& fs_;
  const std::size_t threadsWanted_;
  std::vector<Top> tops_;  // written before the first thread starts
  bool subfolders_ = true;
  bool hidden_ = true;
  bool listOthers_ = true;
  bool started_ = false;  // the pass's thread only
  std::chrono::steady_clock::time_point startedAt_;  // written before the first thread starts
  std::atomic<bool> stopping_{false};
  std::atomic<long> passFolders_{0};
  std::atomic<long> foldersRead_{0};
  std::mutex mutex_;
  std::condition_variable work_;       // threads wait here for folders to read
  std::vector<std::string> pending_;   // a stack: the next one read is the last (needs mutex_)
  int reading_ = 0;                    // threads reading a folder now (needs mutex_)
  int running_ = 0;                    // threads not ended (needs mutex_)
  bool stopped_ = false;               // needs mutex_: no more threads start
  std::vector<std::thread> threads_;   // needs mutex_
};

}  // namespace vantrel
