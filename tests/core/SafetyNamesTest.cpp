// Names are bytes and trees may be deep: every name a Linux file system can hold is copied,
// compared and removed as itself, also below PATH_MAX; and FIFOs, sockets and devices never
// block a run, never get opened, whatever ProcessSystem says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

constexpr std::time_t kOld = 1600000000;
constexpr std::time_t kNew = 1700000000;

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

const std::vector<std::string>& OddNames() {
  static const std::vector<std::string> names = {
      "new\nline",
      "tab\there",
      "quotes \"'`",
      "-leading-dash",
      "--",
      "-",
      "\xff\xfe bad",
      "half \xc3",
      "caf\xc3\xa9",
      "\xe6\x96\x87",
      " lead",
      "trail ",
      "back\\slash",
      "colon:name",
      "star*?[x]",
      "comma,semi;",
      "%s%n",
      "$(echo)",
      std::string(255, 'n'),
      std::string(254, 'o') + "\xc3",
      ".hidden",
      "\x01\x1f",
  };
  return names;
}

TEST(SafetyNames, EveryNameIsCopiedComparedAndRemovedAsItsBytes) {
  ScratchDir s;
  const std::string f1 = s.Path("one");
  const std::string f2 = s.Path("two");
  MakeFolder(f1);
  MakeFolder(f2);
  int i = 0;
  for (const std::string& name : OddNames()) {
    // A file, and a folder holding a file, under each name; in Folder 2 an extra of each.
    WriteFile(f1 + "/" + name, "file " + std::to_string(i));
    MakeFolder(f1 + "/d" + name.substr(0, 254));
    WriteFile(f1 + "/d" + name.substr(0, 254) + "/" + name, "inner " + std::to_string(i));
    WriteFile(f2 + "/x" + name.substr(0, 254), "extra");
    ++i;
  }
  RunOptions options;
  options.exact = true;
  std::vector<std::string> log = RunSync(f1, f2, options);
  const std::string difference = Difference(Snapshot(f1), Snapshot(f2));
  EXPECT_EQ(difference, "") << Joined(log);
  EXPECT_EQ(LinesWith(log, "Cannot").size(), 0u) << Joined(log);
  for (const std::string& name : OddNames()) {
    EXPECT_EQ(LinesWith(log, "Copy file \"" + f1 + "/" + name + "\" to \"" + f2 + "/" + name + "\"")
                  .size(),
              1u)
        << name;
    EXPECT_EQ(LinesWith(log, "Delete file \"" + f2 + "/x" + name.substr(0, 254) + "\"").size(), 1u)
        << name;
  }
  // Nothing is left to do.
  log = RunSync(f1, f2, options);
  EXPECT_TRUE(LinesWith(log, "Copy").empty()) << Joined(log);
  EXPECT_TRUE(LinesWith(log, "Delete").empty()) << Joined(log);
  std::printf(
      "safety: odd names: %zu names as files and folders synchronized, %zu entries "
      "differing\n",
      OddNames().size(), Lines(difference));
}

// Makes `levels` nested folders of long names below `root` through descriptors (the path
// outgrows PATH_MAX) and a file at the bottom; returns the depth in bytes.
std::size_t MakeDeepTree(const std::string& root, int levels, const std::string& file) {
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  const std::string name(200, 'd');
  std::size_t bytes = root.size();
  for (int i = 0; i < levels; ++i) {
    mkdirat(fd, name.c_str(), 0755);
    int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    bytes += name.size() + 1;
  }
  WriteFileAt(fd, "bottom.txt", file);
  struct timespec times[2] = {{kNew, 0}, {kNew, 0}};
  utimensat(fd, "bottom.txt", times, 0);
  close(fd);
  return bytes;
}

TEST(SafetyNames, TreesDeeperThanPathMaxAreCopiedAndRemoved) {
  ScratchDir s;
  const std::string f1 = s.Path("one");
  const std::string f2 = s.Path("two");
  MakeFolder(f1);
  MakeFolder(f2);
  MakeFolder(f1 + "/deep");
  MakeFolder(f2 + "/gone");
  const std::size_t depth = MakeDeepTree(f1 + "/deep", 30, "at the bottom");
  MakeDeepTree(f2 + "/gone", 30, "lacking");
  ASSERT_GT(depth, static_cast<std::size_t>(PATH_MAX));
  RunOptions options;
  options.exact = true;
  std::vector<std::string> log = RunSync(f1, f2, options);
  const std::string difference = Difference(Snapshot(f1), Snapshot(f2));
  EXPECT_EQ(difference, "") << Joined(log).substr(0, 2000);
  EXPECT_EQ(LinesWith(log, "Delete folder \"" + f2 + "/gone\"").size(), 1u);
  EXPECT_EQ(LinesWith(log, "Cannot").size(), 0u) << Joined(log).substr(0, 2000);
  log = RunSync(f1, f2, options);
  EXPECT_TRUE(LinesWith(log, "Copy").empty());
  std::printf(
      "safety: deep trees: %zu-byte paths (PATH_MAX %d) synchronized, %zu entries "
      "differing\n",
      depth, PATH_MAX, Lines(difference));
}

// Makes a FIFO, a socket and (as root) a character device named `prefix`-fifo and so on.
std::vector<std::string> MakeSpecials(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> made;
  if (mkfifo((folder + "/" + prefix + "fifo").c_str(), 0644) == 0) made.push_back(prefix + "fifo");
  const std::string socketPath = folder + "/" + prefix + "socket";
  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  if (socketPath.size() < sizeof address.sun_path) {
    std::strcpy(address.sun_path, socketPath.c_str());
    if (bind(sock, reinterpret_cast<struct sockaddr*>(&address), sizeof address) == 0) {
      made.push_back(prefix + "socket");
    }
  }
  close(sock);
  if (mknod((folder + "/" + prefix + "device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
    made.push_back(prefix + "device");
  }
  return made;
}

TEST(SafetySpecialFiles, FifosSocketsAndDevicesNeverBlockAndAreNeverOpened) {
  int runs = 0;
  int opened = 0;
  for (bool system : {false, true}) {
    for (int mode : {0, 1}) {
      SCOPED_TRACE(std::string(system ? "ProcessSystem on" : "ProcessSystem off") +
                   (mode == 0 ? ", bidirectional" : ", exact copy"));
      ScratchDir s;
      const std::string f1 = s.Path("one");
      const std::string f2 = s.Path("two");
      MakeFolder(f1);
      MakeFolder(f2);
      MakeFolder(f2 + "/gone");
      // Special files in both trees (those of Folder 2 older than files of their names in
      // Folder 1) and inside a lacking folder.
      std::vector<std::string> specials = MakeSpecials(f1, "a-");
      for (const std::string& name : MakeSpecials(f2, "b-")) {
        specials.push_back(name);
        WriteFile(f1 + "/" + name, "regular");
        SetTimes(f1 + "/" + name, kNew);
      }
      for (const std::string& name : MakeSpecials(f2 + "/gone", "c-")) specials.push_back(name);
      ASSERT_GE(specials.size(), 6u);
      WriteFile(f1 + "/plain", "plain");

      const int status = RunInChild([&] {
        alarm(20);  // a blocked open ends the child with SIGALRM
        int openedSpecials = 0;
        FaultInjectionFileSystem fs;
        fs.SetHook([&](const FaultInjectionFileSystem::Call& call) {
          struct stat st;
          if (call.op == FsOp::OpenAt && lstat(call.path.c_str(), &st) == 0 &&
              !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
            ++openedSpecials;
          }
        });
        RunOptions options;
        options.copyMode = mode;
        options.exact = mode == 1;
        options.system = system;
        options.fs = &fs;
        RunSync(f1, f2, options);
        return openedSpecials;
      });
      ++runs;
      ASSERT_TRUE(WIFEXITED(status)) << "the run blocked or crashed (signal "
                                     << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
      opened += WEXITSTATUS(status);
      EXPECT_EQ(WEXITSTATUS(status), 0) << "special files were opened";
      EXPECT_EQ(ReadFile(f2 + "/plain"), "plain") << "the run did not go on";
    }
  }
  std::printf("safety: FIFOs, sockets and devices: %d runs, 0 blocked, %d opened\n", runs, opened);
}

}  // namespace
}  // namespace vantrel::testsupport
