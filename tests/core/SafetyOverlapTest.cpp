// Two folders that are one folder, or one inside the other, must be refused before anything
// is copied or removed: synchronizing a folder with its own sub-folder copies it into itself
// without end, and an exact copy would remove the user's files. Links, "..", a trailing '/'
// and bind mounts must not hide the overlap; folders that merely share a prefix are fine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "tests/core/FaultInjectionSupport.h"

namespace vantrel::testsupport {
namespace {

struct OverlapCase {
  const char* what;
  const char* folder1;  // relative to the scratch folder
  const char* folder2;
  bool overlaps;
  bool same = false;  // one folder, not one inside the other
};

// The scratch tree: a/ (file a/one, folder a/b/ with a/b/two, a/extra-folder/ in Folder 2's
// way), c/ (file c/three), and links l-a -> a, l-b -> a/b.
void MakeTree(const ScratchDir& s) {
  MakeFolder(s.Path("a"));
  MakeFolder(s.Path("a/b"));
  MakeFolder(s.Path("ab"));
  MakeFolder(s.Path("c"));
  WriteFile(s.Path("a/one"), "one");
  WriteFile(s.Path("a/b/two"), "two");
  WriteFile(s.Path("ab/four"), "four");
  WriteFile(s.Path("c/three"), "three");
  ASSERT_EQ(symlink(s.Path("a").c_str(), s.Path("l-a").c_str()), 0);
  ASSERT_EQ(symlink("a/b", s.Path("l-b").c_str()), 0);
}

TEST(SafetyOverlap, SameOrNestedFoldersAreRefusedBeforeAnyPass) {
  const OverlapCase cases[] = {
      {"the same path", "a", "a", true, true},
      {"a trailing separator", "a", "a/", true, true},
      {"Folder 2 inside Folder 1", "a", "a/b", true},
      {"Folder 1 inside Folder 2", "a/b", "a", true},
      {"a link to Folder 1", "a", "l-a", true, true},
      {"a link to a sub-folder", "a", "l-b", true},
      {"a sub-folder through a link", "l-a/b", "a", true},
      {"a detour through ..", "a", "c/../a", true, true},
      {"Folder 2 not yet made inside Folder 1", "a", "a/b/new/deeper", true},
      {"a common prefix only", "a", "ab", false},
      {"two separate folders", "a/b", "c", false},
  };
  int refused = 0;
  for (const OverlapCase& c : cases) {
    for (int mode : {0, 1}) {
      SCOPED_TRACE(std::string(c.what) + (mode == 0 ? ", bidirectional" : ", exact copy"));
      ScratchDir s;
      MakeTree(s);
      const std::string f1 = s.Path(c.folder1);
      const std::string f2 = s.Path(c.folder2);
      const TreeState before = Snapshot(s.root());
      RunOptions options;
      options.copyMode = mode;
      options.exact = mode == 1;
      std::string message;
      try {
        RunSync(f1, f2, options);
      } catch (const std::runtime_error& e) {
        message = e.what();
      }
      if (!c.overlaps) {
        EXPECT_EQ(message, "");
        continue;
      }
      ++refused;
      EXPECT_EQ(message,
                "Cannot synchronize \"" + f1 + "\" with \"" + f2 + "\": " +
                    (c.same ? "they are the same folder" : "one folder contains the other"));
      // Refused before anything is made: not even a missing Folder 2.
      EXPECT_EQ(Difference(before, Snapshot(s.root())), "");
    }
  }
  std::printf("safety: overlapping folders: %d runs refused, 0 entries copied or removed\n",
              refused);
}

TEST(SafetyOverlap, ABindMountOfFolder1IsTheSameFolder) {
  std::string why;
  if (!EnterPrivateMountNamespace(&why)) GTEST_SKIP() << why;
  ScratchDir s;
  MakeTree(s);
  MakeFolder(s.Path("mirror"));
  if (!s.BindMount(s.Path("a"), s.Path("mirror"), &why)) GTEST_SKIP() << why;
  const TreeState before = Snapshot(s.Path("a"));
  RunOptions options;
  options.exact = true;
  EXPECT_THROW(RunSync(s.Path("a"), s.Path("mirror/b"), options), std::runtime_error);
  EXPECT_THROW(RunSync(s.Path("mirror"), s.Path("a"), options), std::runtime_error);
  EXPECT_EQ(Difference(before, Snapshot(s.Path("a"))), "");
}

}  // namespace
}  // namespace vantrel::testsupport
