// A source file that shrinks, grows, is rewritten, vanishes or is swapped for something else
// while it is being copied must never be installed half old, half new or cut short: the copy
// is dropped with "source changed during copy" (or the system's reason), or it is a complete
// copy of what the source was. Swaps for a FIFO must not block the run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

constexpr std::size_t kSize = 3 * 1024 * 1024 + 4321;  // several read/write chunks
constexpr std::time_t kOld = 1600000000;
constexpr std::time_t kNew = 1700000000;

enum class Outcome {
  kChanged,     // dropped: "source changed during copy"
  kError,       // dropped with the system's reason `error`
  kConsistent,  // a complete copy of the source as it was, or dropped with a reason
};

struct ChangeCase {
  const char* what;
  bool beforeOpen;  // acts when the source is opened, else during the copy of its data
  std::function<void(const std::string& source, const std::string& outside)> act;
  Outcome outcome;
  int error;
};

void Check(int result, const char* what) {
  if (result != 0) ADD_FAILURE() << what << ": " << std::strerror(errno);
}

const ChangeCase kCases[] = {
    {"shrinks", false,
     [](const std::string& src, const std::string&) {
       Check(truncate(src.c_str(), kSize / 2), "truncate");
     },
     Outcome::kChanged, 0},
    {"grows", false,
     [](const std::string& src, const std::string&) {
       int fd = open(src.c_str(), O_WRONLY | O_APPEND);
       Check(write(fd, "more", 4) == 4 ? 0 : -1, "append");
       close(fd);
     },
     Outcome::kChanged, 0},
    {"is rewritten in place", false,
     [](const std::string& src, const std::string&) {
       int fd = open(src.c_str(), O_WRONLY);
       Check(pwrite(fd, "rewritten", 9, kSize / 2) == 9 ? 0 : -1, "pwrite");
       close(fd);
     },
     Outcome::kChanged, 0},
    {"gets a new time", false,
     [](const std::string& src, const std::string&) { SetTimes(src, kNew + 60); },
     Outcome::kChanged, 0},
    {"vanishes", false,
     [](const std::string& src, const std::string&) { Check(unlink(src.c_str()), "unlink"); },
     Outcome::kConsistent, 0},
    {"vanishes before it is opened", true,
     [](const std::string& src, const std::string&) { Check(unlink(src.c_str()), "unlink"); },
     Outcome::kError, ENOENT},
    {"becomes a FIFO before it is opened", true,
     [](const std::string& src, const std::string&) {
       Check(unlink(src.c_str()), "unlink");
       Check(mkfifo(src.c_str(), 0644), "mkfifo");
     },
     Outcome::kError, ENOTSUP},
    {"becomes a folder before it is opened", true,
     [](const std::string& src, const std::string&) {
       Check(unlink(src.c_str()), "unlink");
       Check(mkdir(src.c_str(), 0755), "mkdir");
     },
     Outcome::kError, EISDIR},
    {"becomes a link to a file outside before it is opened", true,
     [](const std::string& src, const std::string& outside) {
       Check(unlink(src.c_str()), "unlink");
       Check(symlink((outside + "/secret").c_str(), src.c_str()), "symlink");
     },
     Outcome::kError, ELOOP},
};

TEST(SafetySourceChange, ChangedSourcesAreNeverInstalledHalfDone) {
  // A FIFO opened for reading would block the whole run; the test would never end.
  alarm(120);
  int runs = 0;
  int damaged = 0;
  for (const ChangeCase& c : kCases) {
    for (bool plainRoute : {false, true}) {
      for (bool destinationExists : {true, false}) {
        SCOPED_TRACE(std::string("the source ") + c.what +
                     (plainRoute ? ", read/write route" : ", kernel copy route") +
                     (destinationExists ? ", replacing a file" : ", new file"));
        ScratchDir s;
        const std::string f1 = s.Path("one");
        const std::string f2 = s.Path("two");
        const std::string outside = s.Path("outside");
        MakeFolder(f1);
        MakeFolder(f2);
        MakeFolder(outside);
        WriteFile(outside + "/secret", "not for Folder 2");
        const std::string source = f1 + "/big.bin";
        const std::string content = Pattern(kSize, 11);
        WriteFile(source, content);
        SetTimes(source, kNew);
        if (destinationExists) {
          WriteFile(f2 + "/big.bin", Pattern(5000, 12), 0640);
          SetTimes(f2 + "/big.bin", kOld);
        }
        const TreeState before = Snapshot(f2);

        FaultInjectionFileSystem fs;
        if (plainRoute) {
          fs.FailAlways(FsOp::Clone, EOPNOTSUPP);
          fs.FailAlways(FsOp::CopyFileRange, EXDEV);
        }
        // Mid-copy means after the first chunk on the read/write route.
        int dataCalls = 0;
        bool acted = false;
        fs.SetHook([&](const FaultInjectionFileSystem::Call& call) {
          if (acted) return;
          const bool opening = call.op == FsOp::OpenAt && call.path == source;
          const bool data = (call.op == FsOp::Read && call.path == source) ||
                            ((call.op == FsOp::CopyFileRange || call.op == FsOp::Clone) &&
                             call.source == source && !plainRoute);
          if (c.beforeOpen ? opening : (data && ++dataCalls == (plainRoute ? 2 : 1))) {
            acted = true;
            c.act(source, outside);
          }
        });
        RunOptions options;
        options.fs = &fs;
        const std::vector<std::string> log = RunSync(f1, f2, options);
        ++runs;
        ASSERT_TRUE(acted) << "the change never happened\n" << Joined(log);

        const TreeState after = Snapshot(f2);
        const std::string prefix =
            "Cannot copy file \"" + source + "\" to \"" + f2 + "/big.bin\": ";
        const std::string copied = "Copy file \"" + source + "\" to \"" + f2 + "/big.bin\"";
        std::string got;
        const bool complete = ReadFileAt(AT_FDCWD, f2 + "/big.bin", got) && got == content;
        const bool unchanged = Difference(before, after).empty();
        bool ok = false;
        switch (c.outcome) {
          case Outcome::kChanged:
            ok = unchanged && LinesWith(log, prefix + "source changed during copy").size() == 1;
            break;
          case Outcome::kError:
            ok = unchanged && LinesWith(log, prefix + std::strerror(c.error)).size() == 1;
            break;
          case Outcome::kConsistent:
            ok = (complete && LinesWith(log, copied).size() == 1) ||
                 (unchanged && LinesWith(log, prefix).size() == 1);
            break;
        }
        if (!ok) ++damaged;
        EXPECT_TRUE(ok) << Difference(before, after) << Joined(log);
        for (const auto& [path, state] : after) {
          EXPECT_FALSE(FaultInjectionFileSystem::IsTemporaryPath(path)) << path;
        }
      }
    }
  }
  alarm(0);
  std::printf("safety: sources changed or swapped during copy: %d runs, %d damaged files\n", runs,
              damaged);
}

}  // namespace
}  // namespace vantrel::testsupport
