// A file system for tests that fails chosen calls, in the manner of a fault-injection Env.
//
// Every call is forwarded to a target file system (the real one by default) unless a rule
// says it must fail: then nothing is forwarded, errno is set to the rule's error and the
// call returns -1. A rule names one operation, the nth matching call (1-based) from which it
// fires, whether it fires once or for every later matching call too, and optionally a
// predicate on the entry name. Calls on a descriptor (Read, Write, Fsync, ...) are matched
// by the name the descriptor was opened with through this wrapper. Every call is also
// recorded in a journal (operation and name) so a test can check the order of calls.
#pragma once

#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FileSystem.h"

namespace vantrel::testsupport {

enum class FsOp {
  OpenAt,
  Close,
  GetDents,
  StatAt,
  Fstat,
  Read,
  Write,
  CopyFileRange,
  Clone,
  Fchmod,
  Futimens,
  UtimensAt,
  Fsync,
  MkdirAt,
  RenameAt,
  LinkAt,
  UnlinkAt,
  ReadLinkAt,
  SymlinkAt,
};

inline const char* FsOpName(FsOp op) {
  static const char* const names[] = {
      "OpenAt",        "Close",  "GetDents", "StatAt",     "Fstat",     "Read",  "Write",
      "CopyFileRange", "Clone",  "Fchmod",   "Futimens",   "UtimensAt", "Fsync", "MkdirAt",
      "RenameAt",      "LinkAt", "UnlinkAt", "ReadLinkAt", "SymlinkAt",
  };
  return names[static_cast<int>(op)];
}

class FaultInjectionFileSystem : public FileSystemWrapper {
 public:
  using NamePredicate = std::function<bool(const std::string& name)>;
  // Called before every call is forwarded or failed; may change the world (a racing writer).
  using CallHook = std::function<void(FsOp op, const std::string& name)>;

  struct Call {
    FsOp op;
    std::string name;  // entry name, or the name a descriptor was opened with ("" if unknown)
    bool failed;       // true when this wrapper failed the call
  };

  explicit FaultInjectionFileSystem(FileSystem* target = FileSystem::Default())
      : FileSystemWrapper(target) {}

  // Fails the nth matching call of `op` (and, when `sticky`, every later matching call) with
  // `error`. Only calls whose name satisfies `matches` count when it is given.
  void FailNth(FsOp op, int nth, int error, NamePredicate matches = {}, bool sticky = false) {
    std::lock_guard lock(mutex_);
    rules_.push_back(Rule{op, nth, error, std::move(matches), sticky, 0});
  }
  void FailAlways(FsOp op, int error, NamePredicate matches = {}) {
    FailNth(op, 1, error, std::move(matches), true);
  }
  // Writes at most `limit` bytes per Write call (0: no limit), as a pipe or a signal would.
  void LimitWrites(std::size_t limit) { writeLimit_ = limit; }
  void SetHook(CallHook hook) { hook_ = std::move(hook); }
  void ClearRules() {
    std::lock_guard lock(mutex_);
    rules_.clear();
  }

  int Injected() const {
    std::lock_guard lock(mutex_);
    return injected_;
  }
  int CallCount(FsOp op) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const Call& c : journal_) n += c.op == op;
    return n;
  }
  std::vector<Call> Journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
  }

  // Returns a predicate true for names that end in `suffix`.
  static NamePredicate EndsWith(std::string suffix) {
    return [suffix](const std::string& n) {
      return n.size() >= suffix.size() &&
             n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
  }
  // Returns a predicate true for the engine's temporary files.
  static NamePredicate IsTemporary() {
    return [](const std::string& n) {
      return n.rfind(".vantrel-", 0) == 0 && n.size() >= 4 &&
             n.compare(n.size() - 4, 4, ".tmp") == 0;
    };
  }
  static NamePredicate Is(std::string name) {
    return [name](const std::string& n) { return n == name; };
  }

  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    if (Fails(FsOp::OpenAt, name)) return -1;
    int fd = target()->OpenAt(dirfd, name, flags, mode);
    if (fd >= 0) {
      std::lock_guard lock(mutex_);
      fdNames_[fd] = name;
    }
    return fd;
  }
  int Close(int fd) override {
    std::string name = NameOf(fd);
    {
      std::lock_guard lock(mutex_);
      fdNames_.erase(fd);
    }
    // A failed close still releases the descriptor, as the kernel does.
    if (Fails(FsOp::Close, name)) {
      int saved = errno;
      target()->Close(fd);
      errno = saved;
      return -1;
    }
    return target()->Close(fd);
  }
  long GetDents(int fd, void* buffer, std::size_t size) override {
    if (Fails(FsOp::GetDents, NameOf(fd))) return -1;
    return target()->GetDents(fd, buffer, size);
  }
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    if (Fails(FsOp::StatAt, name)) return -1;
    return target()->StatAt(dirfd, name, st, flags);
  }
  int Fstat(int fd, struct stat* st) override {
    if (Fails(FsOp::Fstat, NameOf(fd))) return -1;
    return target()->Fstat(fd, st);
  }
  long Read(int fd, void* buffer, std::size_t size) override {
    if (Fails(FsOp::Read, NameOf(fd))) return -1;
    return target()->Read(fd, buffer, size);
  }
  long Write(int fd, const void* buffer, std::size_t size) override {
    if (Fails(FsOp::Write, NameOf(fd))) return -1;
    if (writeLimit_ != 0 && size > writeLimit_) size = writeLimit_;
    return target()->Write(fd, buffer, size);
  }
  long CopyFileRange(int in, int out, std::size_t size) override {
    if (Fails(FsOp::CopyFileRange, NameOf(out))) return -1;
    return target()->CopyFileRange(in, out, size);
  }
  int Clone(int destination, int source) override {
    if (Fails(FsOp::Clone, NameOf(destination))) return -1;
    return target()->Clone(destination, source);
  }
  int Fchmod(int fd, mode_t mode) override {
    if (Fails(FsOp::Fchmod, NameOf(fd))) return -1;
    return target()->Fchmod(fd, mode);
  }
  int Futimens(int fd, const struct timespec times[2]) override {
    if (Fails(FsOp::Futimens, NameOf(fd))) return -1;
    return target()->Futimens(fd, times);
  }
  int UtimensAt(int dirfd, const char* name, const struct timespec times[2], int flags) override {
    if (Fails(FsOp::UtimensAt, name)) return -1;
    return target()->UtimensAt(dirfd, name, times, flags);
  }
  int Fsync(int fd) override {
    if (Fails(FsOp::Fsync, NameOf(fd))) return -1;
    return target()->Fsync(fd);
  }
  int MkdirAt(int dirfd, const char* name, mode_t mode) override {
    if (Fails(FsOp::MkdirAt, name)) return -1;
    return target()->MkdirAt(dirfd, name, mode);
  }
  // Matched and journaled by the new name, the one being replaced.
  int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) override {
    if (Fails(FsOp::RenameAt, newname)) return -1;
    return target()->RenameAt(olddirfd, oldname, newdirfd, newname);
  }
  int LinkAt(int olddirfd, const char* oldname, int newdirfd, const char* newname,
             int flags) override {
    if (Fails(FsOp::LinkAt, newname)) return -1;
    return target()->LinkAt(olddirfd, oldname, newdirfd, newname, flags);
  }
  int UnlinkAt(int dirfd, const char* name, int flags) override {
    if (Fails(FsOp::UnlinkAt, name)) return -1;
    return target()->UnlinkAt(dirfd, name, flags);
  }
  long ReadLinkAt(int dirfd, const char* name, char* buffer, std::size_t size) override {
    if (Fails(FsOp::ReadLinkAt, name)) return -1;
    return target()->ReadLinkAt(dirfd, name, buffer, size);
  }
  int SymlinkAt(const char* target_text, int dirfd, const char* name) override {
    if (Fails(FsOp::SymlinkAt, name)) return -1;
    return target()->SymlinkAt(target_text, dirfd, name);
  }

 private:
  struct Rule {
    FsOp op;
    int nth;
    int error;
    NamePredicate matches;
    bool sticky;
    int seen;
  };

  std::string NameOf(int fd) const {
    std::lock_guard lock(mutex_);
    auto it = fdNames_.find(fd);
    return it == fdNames_.end() ? std::string() : it->second;
  }

  // Records the call and returns true (errno set) when a rule fails it.
  bool Fails(FsOp op, const std::string& name) {
    if (hook_) hook_(op, name);
    std::lock_guard lock(mutex_);
    int error = 0;
    for (Rule& r : rules_) {
      if (r.op != op || (r.matches && !r.matches(name))) continue;
      ++r.seen;
      if (error == 0 && (r.seen == r.nth || (r.sticky && r.seen > r.nth))) error = r.error;
    }
    journal_.push_back(Call{op, name, error != 0});
    if (error == 0) return false;
    ++injected_;
    errno = error;
    return true;
  }

  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::vector<Call> journal_;
  std::map<int, std::string> fdNames_;
  std::size_t writeLimit_ = 0;
  CallHook hook_;
  int injected_ = 0;
};

}  // namespace vantrel::testsupport
