// What the safety tests need besides the fault-injection file system: scratch trees, exact
// snapshots of them, real faults from the kernel (a private mount namespace with small tmpfs
// and bind mounts) and child processes (forked, or run again as the user nobody).
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "common/ModalResult.h"
#include "engine/uVantrelProject.h"
#include "tests/core/TempTree.h"

namespace vantrel::testsupport {

inline std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

// Deterministic bytes: the same (size, seed) always gives the same content.
inline std::string Pattern(std::size_t size, std::uint32_t seed) {
  std::string out(size, '\0');
  std::uint64_t x = 0x9E3779B97F4A7C15ull ^ (static_cast<std::uint64_t>(seed) << 17);
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    out[i] = static_cast<char>(x >> 24);
  }
  return out;
}

inline std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// Writes a whole file (created or truncated) at a path relative to `dirfd`.
inline void WriteFileAt(int dirfd, const std::string& name, std::string_view bytes,
                        mode_t mode = 0644) {
  int fd =
      ::openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) throw SystemError("cannot create " + name);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      ::close(fd);
      throw SystemError("cannot write " + name);
    }
    done += static_cast<std::size_t>(n);
  }
  ::fchmod(fd, mode);
  ::close(fd);
}
inline void WriteFile(const std::string& path, std::string_view bytes, mode_t mode = 0644) {
  WriteFileAt(AT_FDCWD, path, bytes, mode);
}

// Returns false when the file cannot be read (missing, a folder, ...).
inline bool ReadFileAt(int dirfd, const std::string& name, std::string& out) {
  int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}
inline std::string ReadFile(const std::string& path) {
  std::string out;
  if (!ReadFileAt(AT_FDCWD, path, out)) throw SystemError("cannot read " + path);
  return out;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

inline void SetTimes(const std::string& path, std::time_t seconds, long nanoseconds = 0) {
  const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    throw SystemError("cannot set the times of " + path);
  }
}

inline void MakeFolder(const std::string& path, mode_t mode = 0755) {
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    throw SystemError("cannot make " + path);
  }
  ::chmod(path.c_str(), mode);
}

inline int RunCommand(const std::string& command) { return std::system(command.c_str()); }

// One entry of a tree as a test compares it.
struct EntryState {
  char type = '?';  // 'f' file, 'd' folder, 'l' link, 'p' fifo, 's' socket, 'c'/'b' device
  mode_t mode = 0;  // permission and special bits
  off_t size = 0;
  struct timespec mtime = {0, 0};
  ino_t inode = 0;
  std::uint64_t hash = 0;  // of the content (files) or the target text (links)

  bool operator==(const EntryState& o) const {
    return type == o.type && mode == o.mode && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && hash == o.hash;
  }
};
using TreeState = std::map<std::string, EntryState>;  // relative path -> state

namespace detail {
inline void SnapshotAt(int dirfd, const std::string& prefix, TreeState& out) {
  int fd = ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    EntryState s;
    s.mode = st.st_mode & 07777;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
    s.inode = st.st_ino;
    std::string rel = prefix + name;
    if (S_ISREG(st.st_mode)) {
      s.type = 'f';
      std::string content;
      if (ReadFileAt(dirfd, name, content)) s.hash = Fnv1a(content);
    } else if (S_ISDIR(st.st_mode)) {
      s.type = 'd';
      s.size = 0;
      s.mtime = {0, 0};  // a folder's time changes with its entries; compare those instead
      int sub = ::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) {
        SnapshotAt(sub, rel + "/", out);
        ::close(sub);
      }
    } else if (S_ISLNK(st.st_mode)) {
      s.type = 'l';
      char target[4096];
      ssize_t n = ::readlinkat(dirfd, name.c_str(), target, sizeof target);
      s.hash = n < 0 ? 0 : Fnv1a(std::string_view(target, static_cast<std::size_t>(n)));
    } else {
      s.type = S_ISFIFO(st.st_mode)   ? 'p'
               : S_ISSOCK(st.st_mode) ? 's'
               : S_ISCHR(st.st_mode)  ? 'c'
                                      : 'b';
    }
    out[rel] = s;
  }
  ::closedir(dir);
}
}  // namespace detail

// Every entry below `root`, links not followed, by relative path. Works for trees deeper than
// PATH_MAX (it walks with directory descriptors).
inline TreeState Snapshot(const std::string& root) {
  TreeState out;
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return out;
  detail::SnapshotAt(fd, "", out);
  ::close(fd);
  return out;
}

// Describes how two snapshots differ ("" when equal), for failure messages.
inline std::string Difference(const TreeState& before, const TreeState& after) {
  std::string out;
  for (const auto& [path, state] : before) {
    auto it = after.find(path);
    if (it == after.end()) {
      out += "  gone: " + path + "\n";
    } else if (!(it->second == state)) {
      out += "  changed: " + path + "\n";
    }
  }
  for (const auto& [path, state] : after) {
    if (before.find(path) == before.end()) out += "  new: " + path + "\n";
  }
  return out;
}

// A TempTree under /tmp that every user may enter, for the tests that run a part as the user
// nobody. Mounts made below it with Mount* are detached before it is removed.
class ScratchDir : public test::TempTree {
 public:
  ScratchDir() : TempTree("/tmp") {
    if (::chmod(root().c_str(), 0755) != 0) throw SystemError("chmod " + root());
  }
  ~ScratchDir() {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
  }

  // Mounts a tmpfs with `options` (as "size=1m,nr_inodes=10") at `where`; false (with the
  // reason) when it cannot.
  bool MountTmpfs(const std::string& where, const std::string& options, std::string* why) {
    if (::mount("tmpfs", where.c_str(), "tmpfs", 0, (options + ",mode=0755").c_str()) != 0) {
      *why = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
      return false;
    }
    mounts_.push_back(where);
    return true;
  }
  bool BindMount(const std::string& from, const std::string& where, std::string* why) {
    if (::mount(from.c_str(), where.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      *why = std::string("cannot bind-mount: ") + std::strerror(errno);
      return false;
    }
    mounts_.push_back(where);
    return true;
  }

 private:
  std::vector<std::string> mounts_;
};

// Moves this process into a mount namespace of its own, so the tests may mount without
// touching the machine. Must be called while the process has one thread. Returns false, with
// the reason, when it cannot (not root, no unshare).
inline bool EnterPrivateMountNamespace(std::string* why) {
  static int state = 0;  // 0 not tried, 1 done, -1 failed
  static std::string reason;
  if (state == 0) {
    if (::geteuid() != 0) {
      reason = "needs root to make a private mount namespace";
      state = -1;
    } else if (::unshare(CLONE_NEWNS) != 0) {
      reason = std::string("unshare(CLONE_NEWNS) failed: ") + std::strerror(errno);
      state = -1;
    } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      reason = std::string("cannot make / private: ") + std::strerror(errno);
      state = -1;
    } else {
      state = 1;
    }
  }
  if (state < 0 && why != nullptr) *why = reason;
  return state > 0;
}

// Runs `body` in a forked child and returns its wait status.
inline int RunInChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) throw SystemError("fork");
  if (pid == 0) {
    int code = 99;
    try {
      code = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Changes the owner of every entry below and including `root` (links themselves).
inline void ChownTree(const std::string& root, uid_t uid, gid_t gid) {
  RunCommand("chown -hR " + std::to_string(uid) + ":" + std::to_string(gid) + " '" + root + "'");
}

// The environment variable that tells a test it runs as the child of RunThisTestAsNobody.
inline const char* ChildRole() { return std::getenv("VANTREL_SAFETY_CHILD"); }

// Runs the current test again in a child process under
// `setpriv --reuid=nobody --regid=nogroup --clear-groups`, with VANTREL_SAFETY_CHILD set to
// `role` (the test reads it with ChildRole() and does the child's part). The test program is
// copied to `scratch` first so that nobody can run it wherever the build lives. Returns the
// child's wait status, or -1 with the reason when the child cannot be started; the child's
// output goes to `output`.
inline int RunThisTestAsNobody(const std::string& test, const std::string& role,
                               const std::string& scratch, std::string* output, std::string* why) {
  if (::geteuid() != 0) {
    *why = "needs root to switch to the user nobody";
    return -1;
  }
  if (RunCommand("command -v setpriv >/dev/null") != 0) {
    *why = "setpriv is not installed";
    return -1;
  }
  char self[4096];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) {
    *why = "cannot find the test program";
    return -1;
  }
  self[n] = '\0';
  const std::string copy = scratch + "/vantrel_core_tests";
  const std::string log = scratch + "/child-output.txt";
  if (!Exists(copy) && RunCommand("cp '" + std::string(self) + "' '" + copy + "' && chmod 0755 '" +
                                  copy + "'") != 0) {
    *why = "cannot copy the test program";
    return -1;
  }
  std::string command = "VANTREL_SAFETY_CHILD='" + role +
                        "' setpriv --reuid=nobody --regid=nogroup --clear-groups '" + copy +
                        "' --gtest_filter='" + test + "' >'" + log + "' 2>&1";
  int status = RunCommand(command);
  std::string text;
  if (ReadFileAt(AT_FDCWD, log, text) && output != nullptr) *output = text;
  ::unlink(log.c_str());
  if (WIFEXITED(status) && WEXITSTATUS(status) >= 126) {
    *why = "the child could not be started: " + text;
    return -1;
  }
  return status;
}

// How RunSync sets up a project.
struct RunOptions {
  int copyMode = 1;  // 0 bidirectional, 1 unidirectional
  bool exact = false;
  bool subfolders = true;
  bool trash = false;  // the passes' own texts: removals and replacements delete
  bool hidden = true;
  bool system = false;
  int answer = mrYesToAll;   // every removal question gets this answer
  FileSystem* fs = nullptr;  // nullptr: the real file system
};

// Runs one synchronization of `folder1` and `folder2` and returns its result log. Exceptions
// of Run travel to the caller.
inline std::vector<std::string> RunSync(const std::string& folder1, const std::string& folder2,
                                        const RunOptions& options = {}) {
  TFolderSynchronizer sync("");
  sync.SetFolder1(folder1);
  sync.SetFolder2(folder2);
  sync.SetCopyMode(options.copyMode);
  sync.SetExactCopy(options.exact);
  sync.SetIncludeSubfolders(options.subfolders);
  sync.SetProcessHidden(options.hidden);
  sync.SetProcessSystem(options.system);
  sync.SetUseTrash(options.trash);
  if (options.fs != nullptr) sync.SetFileSystem(options.fs);
  const int answer = options.answer;
  sync.OnConfirmRemoval = [answer](const std::string&, const std::string&) { return answer; };
  sync.Run();
  return sync.ResultLog();
}

// The lines of `log` that contain `text`.
inline std::vector<std::string> LinesWith(const std::vector<std::string>& log,
                                          std::string_view text) {
  std::vector<std::string> out;
  for (const std::string& line : log) {
    if (line.find(text) != std::string::npos) out.push_back(line);
  }
  return out;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += "  " + line + "\n";
  return out;
}

// The full name ("Suite.Name") of the running GoogleTest test.
#define VANTREL_CURRENT_TEST_NAME()                                                                \
  (std::string(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) + "." + \
   ::testing::UnitTest::GetInstance()->current_test_info()->name())

}  // namespace vantrel::testsupport
