// The stick that holds Folder 1 is not plugged in: its mount point is an empty folder, or the
// folder is not there at all. An exact copy answered with "Yes to all" must remove nothing.
// Needs no drive: what the engine sees of an unplugged stick is exactly this.
#include <gtest/gtest.h>

#include <ostream>

#include "common/ModalResult.h"
#include "engine/uVantrelProject.h"
#include "tests/core/TempTree.h"
#include "tests/realdrive/RealDriveFixture.h"

namespace vantrel::realdrive {
namespace {

struct Unplugged {
  const char* name;
  bool mountPointLeft;  // the empty folder of the mount point is still there
};

inline void PrintTo(const Unplugged& unplugged, std::ostream* out) { *out << unplugged.name; }

class UnpluggedFolder1 : public ::testing::TestWithParam<Unplugged> {};

TEST_P(UnpluggedFolder1, ExactCopyRemovesNothing) {
  vantrel::test::TempTree tree;
  const std::string stick = tree.Path("media/stick");
  const std::string home = tree.Path("home");
  tree.MakeFolder("media");
  if (GetParam().mountPointLeft) tree.MakeFolder("media/stick");
  tree.WriteFile("home/a.txt", "a\n");
  tree.WriteFile("home/sub/b.txt", "b\n");
  const std::vector<std::string> before = tree.List("home");

  TFolderSynchronizer sync(tree.Path("project.VTPrj"));
  sync.SetFolder1(stick);
  sync.SetFolder2(home);
  sync.SetCopyMode(1);
  sync.SetExactCopy(true);
  sync.SetUseTrash(false);
  sync.SetIncludeSubfolders(true);
  int questions = 0;
  sync.OnConfirmRemoval = [&questions](const std::string&, const std::string&) {
    ++questions;
    return mrYesToAll;
  };
  sync.Run();

  const std::string expected =
      GetParam().mountPointLeft
          ? "Folder \"" + stick + "\" is empty: nothing is removed from \"" + home + "\""
          : "Cannot read folder \"" + stick + "\": No such file or directory";
  EXPECT_EQ(sync.ResultLog(), std::vector<std::string>{expected});
  EXPECT_EQ(questions, 0);
  EXPECT_EQ(tree.List("home"), before);
  EXPECT_EQ(tree.Exists("media/stick"), GetParam().mountPointLeft)
      << "a missing Folder 1 must not be created";
}

INSTANTIATE_TEST_SUITE_P(Stick, UnpluggedFolder1,
                         ::testing::Values(Unplugged{"EmptyMountPoint", true},
                                           Unplugged{"MissingFolder", false}),
                         [](const ::testing::TestParamInfo<Unplugged>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace vantrel::realdrive
