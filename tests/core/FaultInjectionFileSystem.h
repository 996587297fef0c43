// A file system for tests that fails chosen calls, in the manner of a fault-injection Env.
//
// Every call is forwarded to a target file system (the real one by default) unless a rule
// says it must fail: then nothing is forwarded, errno is set to the rule's error and the
// call returns -1. A rule names one operation, the nth matching call (1-based) from which it
// fires, whether it fires once or for every later matching call too, and optionally a
// predicate on the path the call works on.
//
// Paths: the wrapper remembers the path of every descriptor it opened, so a call relative to
// a directory descriptor is known by its full path (the top folders are opened by absolute
// path), and a call on a descriptor (Read, Write, Fsync, ...) by the path the descriptor was
// opened with. A file opened with O_TMPFILE is known as "<folder>/<O_TMPFILE>". CopyFileRange
// and Clone are known by their destination. Every call is recorded in a journal (operation,
// path, whether it was failed) so a test can check the order of calls.
#pragma once

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/FileSystem.h"

namespace vantrel::testsupport {

enum class FsOp {
  OpenAt,
  Close,
  GetDents,
  StatAt,
  Fstat,
  Statx,
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
  Lseek,
  Ftruncate,
};

inline const char* FsOpName(FsOp op) {
  static const char* const names[] = {
      "OpenAt",     "Close",     "GetDents",      "StatAt",    "Fstat",  "Statx",
      "Read",       "Write",     "CopyFileRange", "Clone",     "Fchmod", "Futimens",
      "UtimensAt",  "Fsync",     "MkdirAt",       "RenameAt",  "LinkAt", "UnlinkAt",
      "ReadLinkAt", "SymlinkAt", "Lseek",         "Ftruncate",
  };
  return names[static_cast<int>(op)];
}

// The last component of a path.
inline std::string BaseName(const std::string& path) {
  std::size_t cut = path.rfind('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

class FaultInjectionFileSystem : public FileSystemWrapper {
 public:
  // One call as seen by rules, hooks and the journal.
  struct Call {
    FsOp op = FsOp::OpenAt;
    std::string path;    // see the file comment; "" when unknown
    int fd = -1;         // the descriptor worked on (the destination for copies), or -1
    std::string source;  // CopyFileRange and Clone: the path of the source descriptor
    int sourceFd = -1;
    bool failed = false;  // true when this wrapper failed the call (journal only)
  };
  using PathPredicate = std::function<bool(const std::string& path)>;
  // Called before every call is forwarded or failed; may change the world (a racing writer).
  using CallHook = std::function<void(const Call& call)>;

  explicit FaultInjectionFileSystem(FileSystem* target = FileSystem::Default())
      : FileSystemWrapper(target) {}

  // Fails the nth matching call of `op` (and, when `sticky`, every later matching call) with
  // `error`. Only calls whose path satisfies `matches` count when it is given.
  void FailNth(FsOp op, int nth, int error, PathPredicate matches = {}, bool sticky = false) {
    std::lock_guard lock(mutex_);
    rules_.push_back(Rule{op, nth, error, std::move(matches), sticky, 0});
  }
  void FailAlways(FsOp op, int error, PathPredicate matches = {}) {
    FailNth(op, 1, error, std::move(matches), true);
  }
  // Makes every listed entry's type unknown (DT_UNKNOWN), as file systems without d_type
  // report it, so that the reader has to look each entry up.
  void HideEntryTypes(bool hide) { hideTypes_ = hide; }
  // Writes at most `limit` bytes per Write call (0: no limit), as a signal may cut a write.
  void LimitWrites(std::size_t limit) { writeLimit_ = limit; }
  void SetHook(CallHook hook) { hook_ = std::move(hook); }
  void ClearRules() {
    std::lock_guard lock(mutex_);
    rules_.clear();
  }
  void ClearJournal() {
    std::lock_guard lock(mutex_);
    journal_.clear();
  }

  int Injected() const {
    std::lock_guard lock(mutex_);
    return injected_;
  }
  std::vector<Call> Journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
  }

  // Predicates on paths.
  static PathPredicate NameEndsWith(std::string suffix) {
    return [suffix](const std::string& path) {
      return path.size() >= suffix.size() &&
             path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
  }
  static PathPredicate NameIs(std::string name) {
    return [name](const std::string& path) { return BaseName(path) == name; };
  }
  static PathPredicate Under(std::string folder) {
    return [folder](const std::string& path) { return path.rfind(folder + "/", 0) == 0; };
  }
  // True for the engine's temporary files, named or made with O_TMPFILE.
  static bool IsTemporaryPath(const std::string& path) {
    const std::string name = BaseName(path);
    return name == kTmpfileName || (name.rfind(".vantrel-", 0) == 0 && name.size() >= 13 &&
                                    name.compare(name.size() - 4, 4, ".tmp") == 0);
  }
  static PathPredicate IsTemporary() { return IsTemporaryPath; }

  static constexpr const char* kTmpfileName = "<O_TMPFILE>";

  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    std::string path = PathAt(dirfd, name);
    if ((flags & O_TMPFILE) == O_TMPFILE) path += std::string("/") + kTmpfileName;
    if (Fails(At(FsOp::OpenAt, path))) return -1;
    int fd = target()->OpenAt(dirfd, name, flags, mode);
    if (fd >= 0) {
      std::lock_guard lock(mutex_);
      fdPaths_[fd] = path;
    }
    return fd;
  }
  int Close(int fd) override {
    Call call = OnFd(FsOp::Close, fd);
    {
      std::lock_guard lock(mutex_);
      fdPaths_.erase(fd);
    }
    // A failed close still releases the descriptor, as the kernel does.
    if (Fails(call)) {
      int saved = errno;
      target()->Close(fd);
      errno = saved;
      return -1;
    }
    return target()->Close(fd);
  }
  long GetDents(int fd, void* buffer, std::size_t size) override {
    if (Fails(OnFd(FsOp::GetDents, fd))) return -1;
    const long n = target()->GetDents(fd, buffer, size);
    if (hideTypes_) {
      // linux_dirent64: d_ino (8 bytes), d_off (8), d_reclen (2), d_type (1), d_name.
      char* bytes = static_cast<char*>(buffer);
      for (long at = 0; at < n;) {
        unsigned short length;
        std::memcpy(&length, bytes + at + 16, sizeof length);
        bytes[at + 18] = 0;  // DT_UNKNOWN
        at += length;
      }
    }
    return n;
  }
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    if (Fails(At(FsOp::StatAt, PathAt(dirfd, name)))) return -1;
    return target()->StatAt(dirfd, name, st, flags);
  }
  int Fstat(int fd, struct stat* st) override {
    if (Fails(OnFd(FsOp::Fstat, fd))) return -1;
    return target()->Fstat(fd, st);
  }
  int Statx(int dirfd, const char* name, int flags, unsigned int mask,
            struct statx* buffer) override {
    const bool onFd = name[0] == '\0' && (flags & AT_EMPTY_PATH) != 0;
    if (Fails(onFd ? OnFd(FsOp::Statx, dirfd) : At(FsOp::Statx, PathAt(dirfd, name)))) return -1;
    return target()->Statx(dirfd, name, flags, mask, buffer);
  }
  long Read(int fd, void* buffer, std::size_t size) override {
    if (Fails(OnFd(FsOp::Read, fd))) return -1;
    return target()->Read(fd, buffer, size);
  }
  long Write(int fd, const void* buffer, std::size_t size) override {
    if (Fails(OnFd(FsOp::Write, fd))) return -1;
    if (writeLimit_ != 0 && size > writeLimit_) size = writeLimit_;
    return target()->Write(fd, buffer, size);
  }
  long CopyFileRange(int in, int out, std::size_t size) override {
    if (Fails(OnCopy(FsOp::CopyFileRange, in, out))) return -1;
    return target()->CopyFileRange(in, out, size);
  }
  off_t Lseek(int fd, off_t offset, int whence) override {
    if (Fails(OnFd(FsOp::Lseek, fd))) return -1;
    return target()->Lseek(fd, offset, whence);
  }
  int Ftruncate(int fd, off_t length) override {
    if (Fails(OnFd(FsOp::Ftruncate, fd))) return -1;
    return target()->Ftruncate(fd, length);
  }
  int Clone(int destination, int source) override {
    if (Fails(OnCopy(FsOp::Clone, source, destination))) return -1;
    return target()->Clone(destination, source);
  }
  int Fchmod(int fd, mode_t mode) override {
    if (Fails(OnFd(FsOp::Fchmod, fd))) return -1;
    return target()->Fchmod(fd, mode);
  }
  int Futimens(int fd, const struct timespec times[2]) override {
    if (Fails(OnFd(FsOp::Futimens, fd))) return -1;
    return target()->Futimens(fd, times);
  }
  int UtimensAt(int dirfd, const char* name, const struct timespec times[2], int flags) override {
    if (Fails(At(FsOp::UtimensAt, PathAt(dirfd, name)))) return -1;
    return target()->UtimensAt(dirfd, name, times, flags);
  }
  int Fsync(int fd) override {
    if (Fails(OnFd(FsOp::Fsync, fd))) return -1;
    return target()->Fsync(fd);
  }
  int MkdirAt(int dirfd, const char* name, mode_t mode) override {
    if (Fails(At(FsOp::MkdirAt, PathAt(dirfd, name)))) return -1;
    return target()->MkdirAt(dirfd, name, mode);
  }
  // Known by the new path, the entry being replaced.
  int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) override {
    Call call = At(FsOp::RenameAt, PathAt(newdirfd, newname));
    call.source = PathAt(olddirfd, oldname);
    if (Fails(call)) return -1;
    return target()->RenameAt(olddirfd, oldname, newdirfd, newname);
  }
  int LinkAt(int olddirfd, const char* oldname, int newdirfd, const char* newname,
             int flags) override {
    Call call = At(FsOp::LinkAt, PathAt(newdirfd, newname));
    call.source = PathAt(olddirfd, oldname);
    if (Fails(call)) return -1;
    return target()->LinkAt(olddirfd, oldname, newdirfd, newname, flags);
  }
  int UnlinkAt(int dirfd, const char* name, int flags) override {
    if (Fails(At(FsOp::UnlinkAt, PathAt(dirfd, name)))) return -1;
    return target()->UnlinkAt(dirfd, name, flags);
  }
  long ReadLinkAt(int dirfd, const char* name, char* buffer, std::size_t size) override {
    if (Fails(At(FsOp::ReadLinkAt, PathAt(dirfd, name)))) return -1;
    return target()->ReadLinkAt(dirfd, name, buffer, size);
  }
  int SymlinkAt(const char* text, int dirfd, const char* name) override {
    if (Fails(At(FsOp::SymlinkAt, PathAt(dirfd, name)))) return -1;
    return target()->SymlinkAt(text, dirfd, name);
  }

 private:
  struct Rule {
    FsOp op;
    int nth;
    int error;
    PathPredicate matches;
    bool sticky;
    int seen;
  };

  std::string PathOf(int fd) const {
    std::lock_guard lock(mutex_);
    auto it = fdPaths_.find(fd);
    return it == fdPaths_.end() ? std::string() : it->second;
  }
  std::string PathAt(int dirfd, const char* name) const {
    if (name[0] == '/' || dirfd == AT_FDCWD) return name;
    std::string dir = PathOf(dirfd);
    if (dir.empty()) return name;
    if (name[0] == '\0' || (name[0] == '.' && name[1] == '\0')) return dir;
    return dir + "/" + name;
  }
  static Call At(FsOp op, std::string path) {
    Call call;
    call.op = op;
    call.path = std::move(path);
    return call;
  }
  Call OnFd(FsOp op, int fd) const {
    Call call = At(op, PathOf(fd));
    call.fd = fd;
    return call;
  }
  Call OnCopy(FsOp op, int in, int out) const {
    Call call = OnFd(op, out);
    call.source = PathOf(in);
    call.sourceFd = in;
    return call;
  }

  // Records the call and returns true (errno set) when a rule fails it.
  bool Fails(Call call) {
    if (hook_) hook_(call);
    std::lock_guard lock(mutex_);
    int error = 0;
    for (Rule& r : rules_) {
      if (r.op != call.op || (r.matches && !r.matches(call.path))) continue;
      ++r.seen;
      if (error == 0 && (r.seen == r.nth || (r.sticky && r.seen > r.nth))) error = r.error;
    }
    call.failed = error != 0;
    journal_.push_back(std::move(call));
    if (error == 0) return false;
    ++injected_;
    errno = error;
    return true;
  }

  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::vector<Call> journal_;
  std::map<int, std::string> fdPaths_;
  std::size_t writeLimit_ = 0;
  bool hideTypes_ = false;
  CallHook hook_;
  int injected_ = 0;
};

}  // namespace vantrel::testsupport
