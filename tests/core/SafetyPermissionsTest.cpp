// What a copy may and may not carry over or touch: the permission bits (mode & 0777, never
// setuid, setgid or sticky), a temporary file that nobody else can read until it is complete,
// and entries of Folder 2 that lead elsewhere (hard links, links to files or folders outside)
// which are replaced, never written through.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

constexpr std::time_t kOld = 1600000000;
constexpr std::time_t kNew = 1700000000;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

TEST(SafetyPermissions, CopiesGetTheSourceBitsAndTemporariesStayPrivate) {
  std::vector<mode_t> modes = {0644, 0600, 0755, 0444, 04755, 02750, 01777, 06777};
  if (geteuid() == 0) modes.push_back(0000);  // only root reads a file without rights
  int copies = 0;
  int special = 0;
  int exposed = 0;
  for (bool plainRoute : {false, true}) {
    SCOPED_TRACE(plainRoute ? "read/write route" : "kernel copy route");
    ScratchDir s;
    const std::string f1 = s.Path("one");
    const std::string f2 = s.Path("two");
    MakeFolder(f1);
    MakeFolder(f2);
    for (mode_t mode : modes) {
      char name[32];
      std::snprintf(name, sizeof name, "m%04o", static_cast<unsigned>(mode));
      for (const std::string prefix : {"new-", "old-"}) {
        WriteFile(f1 + "/" + prefix + name, Pattern(70000, mode), 0600);
        ASSERT_EQ(chmod((f1 + "/" + prefix + name).c_str(), mode), 0);
        SetTimes(f1 + "/" + prefix + name, kNew);
      }
      WriteFile(f2 + "/old-" + name, "older", 0666);
      SetTimes(f2 + "/old-" + name, kOld);
    }
    FaultInjectionFileSystem fs;
    if (plainRoute) {
      fs.FailAlways(FsOp::Clone, EOPNOTSUPP);
      fs.FailAlways(FsOp::CopyFileRange, EXDEV);
    }
    // While data goes into a temporary file, only its owner may read or write it.
    fs.SetHook([&](const FaultInjectionFileSystem::Call& call) {
      const bool data =
          call.op == FsOp::Write || call.op == FsOp::CopyFileRange || call.op == FsOp::Clone;
      struct stat st;
      if (data && FaultInjectionFileSystem::IsTemporaryPath(call.path) &&
          fstat(call.fd, &st) == 0 && (st.st_mode & 07777) != 0600) {
        ++exposed;
        ADD_FAILURE() << call.path << " has mode " << std::oct << (st.st_mode & 07777);
      }
    });
    RunOptions options;
    options.fs = &fs;
    const std::vector<std::string> log = RunSync(f1, f2, options);
    for (mode_t mode : modes) {
      char name[32];
      std::snprintf(name, sizeof name, "m%04o", static_cast<unsigned>(mode));
      for (const std::string prefix : {"new-", "old-"}) {
        const std::string copy = f2 + "/" + prefix + name;
        EXPECT_EQ(ModeOf(copy), mode & 0777) << copy << "\n" << Joined(log);
        special += (ModeOf(copy) & 07000) != 0;
        EXPECT_EQ(ReadFile(copy), Pattern(70000, mode)) << copy;
        ++copies;
      }
    }
  }
  std::printf(
      "safety: permission bits: %d copies, %d with setuid/setgid/sticky, %d temporary "
      "files open to others\n",
      copies, special, exposed);
}

TEST(SafetyPermissions, EntriesLeadingElsewhereAreReplacedNotWrittenThrough) {
  ScratchDir s;
  const std::string f1 = s.Path("one");
  const std::string f2 = s.Path("two");
  const std::string outside = s.Path("outside");
  MakeFolder(f1);
  MakeFolder(f1 + "/into-link");
  MakeFolder(f2);
  MakeFolder(outside);
  MakeFolder(outside + "/folder");
  WriteFile(outside + "/hard", "outside, hard-linked");
  WriteFile(outside + "/target", "outside, linked");
  WriteFile(outside + "/folder/inner", "outside, in a linked folder");

  // Folder 2: a hard link to a file outside, two names of one file inside, a link to a file
  // outside and a link to a folder outside, each older than its Folder 1 counterpart.
  ASSERT_EQ(link((outside + "/hard").c_str(), (f2 + "/hard").c_str()), 0);
  WriteFile(f2 + "/twin-a", "twins");
  ASSERT_EQ(link((f2 + "/twin-a").c_str(), (f2 + "/twin-b").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/target").c_str(), (f2 + "/soft").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/folder").c_str(), (f2 + "/into-link").c_str()), 0);
  for (const char* name : {"hard", "twin-a", "soft"}) {
    SetTimes(f2 + "/" + name, kOld);
    WriteFile(f1 + "/" + name, std::string("new ") + name);
    SetTimes(f1 + "/" + name, kNew);
  }
  WriteFile(f1 + "/into-link/inner", "new inner");
  const TreeState outsideBefore = Snapshot(outside);

  const std::vector<std::string> log = RunSync(f1, f2);

  EXPECT_EQ(Difference(outsideBefore, Snapshot(outside)), "") << Joined(log);
  for (const char* name : {"hard", "twin-a", "soft"}) {
    std::string got;
    EXPECT_TRUE(ReadFileAt(AT_FDCWD, f2 + "/" + name, got) && got == std::string("new ") + name)
        << name << "\n"
        << Joined(log);
    EXPECT_EQ(ModeOf(f2 + "/" + name) & 0777, 0644u) << name;
  }
  EXPECT_EQ(ReadFile(f2 + "/twin-b"), "twins") << "the other name keeps the old file";
  EXPECT_EQ(LinesWith(log, "Cannot copy file \"" + f1 + "/into-link/inner\"").size(), 1u)
      << Joined(log);
}

}  // namespace
}  // namespace vantrel::testsupport
