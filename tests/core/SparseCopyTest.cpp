// A copy keeps the holes of a sparse file: the same bytes, read back, and no more room on the
// disk than the source takes, whichever copy route the file systems allow.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/core/FaultInjectionFileSystem.h"
#include "tests/core/FaultInjectionSupport.h"
#include "tests/core/TempTree.h"

namespace vantrel::testsupport {
namespace {

constexpr off_t kKiB = 1024;
constexpr off_t kMiB = 1024 * kKiB;
constexpr std::time_t kBase = 1650000000;

struct Stretch {
  off_t offset;
  off_t length;
};

struct Layout {
  const char* what;
  off_t size;
  std::vector<Stretch> data;
};

const Layout kLayouts[] = {
    {"hole at the start", 4 * kMiB, {{3 * kMiB, kMiB}}},
    {"hole in the middle", 4 * kMiB, {{0, kMiB}, {3 * kMiB, kMiB}}},
    {"hole at the end", 4 * kMiB, {{0, 64 * kKiB}}},
    {"only a hole", 4 * kMiB, {}},
    {"all data", 3 * kMiB / 2, {{0, 3 * kMiB / 2}}},
    {"many stretches",
     4 * kMiB,
     {{0, 4 * kKiB},
      {kMiB, 8 * kKiB},
      {kMiB + 64 * kKiB, 4 * kKiB},
      {2 * kMiB, 12 * kKiB},
      {4 * kMiB - 4 * kKiB, 4 * kKiB}}},
};

// Writes a file of `layout` whose data stretches hold a pattern without zero bytes.
void MakeSparse(const std::string& path, const Layout& layout, std::uint32_t seed) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw SystemError("open " + path);
  bool ok = ::ftruncate(fd, layout.size) == 0;
  for (const Stretch& stretch : layout.data) {
    std::string bytes = Pattern(static_cast<std::size_t>(stretch.length), seed++);
    for (char& c : bytes) c = static_cast<char>(c | 1);
    ok = ok && ::pwrite(fd, bytes.data(), bytes.size(), stretch.offset) ==
                   static_cast<ssize_t>(bytes.size());
  }
  ok = ::fsync(fd) == 0 && ok;  // so that the blocks counted are the ones that stay
  ::close(fd);
  if (!ok) throw SystemError("write " + path);
  SetTimes(path, kBase);
}

struct stat StatOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) throw SystemError("stat " + path);
  return st;
}

// Returns "" when `copy` holds the bytes of `source` and takes no more than a mebibyte more
// room on the disk, else what is wrong.
std::string CompareCopy(const std::string& source, const std::string& copy) {
  if (!Exists(copy)) return "no copy";
  if (ReadFile(copy) != ReadFile(source)) return "other bytes";
  const struct stat from = StatOf(source);
  const struct stat to = StatOf(copy);
  if (to.st_size != from.st_size) return "other size " + std::to_string(to.st_size);
  if ((to.st_blocks - from.st_blocks) * 512 > kMiB) {
    return "allocates " + std::to_string(to.st_blocks * 512) + " bytes, the source " +
           std::to_string(from.st_blocks * 512);
  }
  return "";
}

// Takes the copy routes away one by one: the kernel's copy, then all but read and write.
class RouteFileSystem : public FaultInjectionFileSystem {
 public:
  explicit RouteFileSystem(bool plain) {
    FailAlways(FsOp::Clone, EOPNOTSUPP);
    if (plain) FailAlways(FsOp::CopyFileRange, EXDEV);
  }
};

TEST(SparseCopy, KeepsHolesAndBytesOnEveryRoute) {
  struct Route {
    const char* what;
    bool memory;  // the trees on a memory file system
    bool plain;   // copy_file_range refused
  };
  const Route routes[] = {
      {"disk, kernel copy", false, false},
      {"disk, read and write", false, true},
      {"memory, kernel copy", true, false},
  };
  for (const Route& route : routes) {
    const test::TempTree tree(route.memory ? test::TempTree::MemoryBase()
                                           : test::TempTree::DefaultBase());
    MakeFolder(tree.Path("one"));
    MakeFolder(tree.Path("two"));
    std::uint32_t seed = 1;
    for (const Layout& layout : kLayouts) {
      MakeSparse(tree.Path("one/" + std::string(layout.what)), layout, seed += 10);
    }
    RouteFileSystem fs(route.plain);
    for (const char* round : {"new copies", "copies replacing older ones"}) {
      SCOPED_TRACE(std::string(route.what) + ", " + round);
      const std::vector<std::string> log = RunSync(tree.Path("one"), tree.Path("two"), {.fs = &fs});
      EXPECT_EQ(LinesWith(log, "Copy file").size(), std::size(kLayouts)) << Joined(log);
      for (const Layout& layout : kLayouts) {
        EXPECT_EQ(CompareCopy(tree.Path("one/") + layout.what, tree.Path("two/") + layout.what), "")
            << layout.what;
      }
      // Newer sources with other bytes, to be copied over the first copies.
      seed += 100;
      for (const Layout& layout : kLayouts) {
        const std::string path = tree.Path("one/") + layout.what;
        MakeSparse(path, layout, seed += 10);
        SetTimes(path, kBase + 100);
      }
    }
  }
}

// Every call of a sparse file's copy failing in turn: the destination keeps its old bytes, no
// temporary remains, and the log says why.
TEST(SparseCopy, EachFailingCallLeavesTheOldFile) {
  const Layout layout{"sparse", 4 * kMiB, {{kMiB, 8 * kKiB}, {2 * kMiB, 8 * kKiB}}};
  const auto prepare = [&](const test::TempTree& tree) {
    MakeFolder(tree.Path("one"));
    MakeFolder(tree.Path("two"));
    MakeSparse(tree.Path("one/sparse"), layout, 7);
    SetTimes(tree.Path("one/sparse"), kBase + 100);
    WriteFile(tree.Path("two/sparse"), "old");
    SetTimes(tree.Path("two/sparse"), kBase);
  };
  for (const bool plain : {false, true}) {
    std::vector<FaultInjectionFileSystem::Call> calls;
    {
      const test::TempTree tree;
      prepare(tree);
      RouteFileSystem recorder(plain);
      RunSync(tree.Path("one"), tree.Path("two"), {.fs = &recorder});
      ASSERT_EQ(CompareCopy(tree.Path("one/sparse"), tree.Path("two/sparse")), "");
      calls = recorder.Journal();
    }
    std::map<FsOp, int> seen;
    int tried = 0;
    for (const auto& call : calls) {
      const int nth = ++seen[call.op];
      if (call.failed ||
          (call.op != FsOp::Lseek && call.op != FsOp::Ftruncate && call.op != FsOp::CopyFileRange &&
           call.op != FsOp::Read && call.op != FsOp::Write)) {
        continue;
      }
      ++tried;
      SCOPED_TRACE(std::string(plain ? "read and write: " : "kernel copy: ") + FsOpName(call.op) +
                   " call " + std::to_string(nth));
      const test::TempTree tree;
      prepare(tree);
      RouteFileSystem fs(plain);
      fs.FailNth(call.op, nth, EIO);
      const std::vector<std::string> log = RunSync(tree.Path("one"), tree.Path("two"), {.fs = &fs});
      EXPECT_EQ(LinesWith(log, "Cannot copy file").size(), 1u) << Joined(log);
      EXPECT_EQ(LinesWith(log, std::strerror(EIO)).size(), 1u) << Joined(log);
      EXPECT_EQ(ReadFile(tree.Path("two/sparse")), "old");
      const TreeState after = Snapshot(tree.Path("two"));
      EXPECT_EQ(after.size(), 1u) << "a temporary remains";
    }
    // The probe, two stretches and the length at least.
    EXPECT_GE(tried, 8);
  }
}

}  // namespace
}  // namespace vantrel::testsupport
