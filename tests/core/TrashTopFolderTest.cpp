// Removed and replaced files of another file system go to the trash at its top folder, where
// trash-cli finds them through the mount list and restores them.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/ModalResult.h"
#include "engine/TrashCan.h"
#include "tests/core/SyncFixture.h"
#include "tests/core/TrashSupport.h"

namespace vantrel::test {
namespace {

constexpr std::time_t kOld = 1600000000;
constexpr std::time_t kNew = 1700000000;

// A small ext4 image on a loop device, mounted in a folder of `tree`. Unmounts and detaches
// when destroyed, whatever the test did.
class Ext4Drive {
 public:
  // Returns why the drive cannot be made, or empty and the drive in `out`.
  static std::string Make(TempTree& tree, std::unique_ptr<Ext4Drive>& out) {
    if (geteuid() != 0) return "needs root to attach and mount a loop device";
    if (access("/dev/loop-control", F_OK) != 0) return "no /dev/loop-control";
    if (Shell("command -v mkfs.ext4").find('/') == std::string::npos) {
      return "mkfs.ext4 is not installed (scripts/deps.sh installs e2fsprogs)";
    }
    auto drive = std::unique_ptr<Ext4Drive>(new Ext4Drive);
    drive->image_ = tree.Path("drive.img");
    drive->mountPoint_ = tree.Path("mnt");
    tree.MakeFolder("mnt");
    const std::string made =
        Shell("truncate -s 32M '" + drive->image_ + "' && mkfs.ext4 -q '" + drive->image_ +
              "' && losetup -f --show '" + drive->image_ + "'");
    const std::size_t at = made.rfind("/dev/loop");
    if (at == std::string::npos) return "cannot make and attach the image: " + made;
    drive->device_ = made.substr(at, made.find('\n', at) - at);
    if (mount(drive->device_.c_str(), drive->mountPoint_.c_str(), "ext4", 0, nullptr) != 0) {
      return "cannot mount " + drive->device_ + ": " + std::strerror(errno);
    }
    drive->mounted_ = true;
    out = std::move(drive);
    return {};
  }
  ~Ext4Drive() {
    if (mounted_ && umount(mountPoint_.c_str()) != 0) umount2(mountPoint_.c_str(), MNT_DETACH);
    if (!device_.empty()) Shell("losetup -d " + device_);
  }
  void RemountReadOnly() {
    ASSERT_EQ(mount(nullptr, mountPoint_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
  }
  const std::string& Top() const { return mountPoint_; }

 private:
  Ext4Drive() = default;
  std::string image_, mountPoint_, device_;
  bool mounted_ = false;
};

// An exact copy from "one" to "drive/two", the home trash on the local disk (another file
// system).
class TrashTopFolderTest : public SyncFixture {
 protected:
  void SetUp() override {
    const std::string missing = Ext4Drive::Make(tree_, drive_);
    if (!missing.empty()) GTEST_SKIP() << "no ext4 loop drive: " << missing;
    setenv("XDG_DATA_HOME", tree_.Path("data").c_str(), 1);
    top_ = drive_->Top();
    ASSERT_EQ(mkdir((top_ + "/two").c_str(), 0755), 0);
    sync_.SetFolder2(top_ + "/two");
    sync_.SetUseTrash(true);
    sync_.SetExactCopy(true);
    sync_.SetProcessHidden(true);
    sync_.OnConfirmRemoval = [](const std::string&, const std::string&) { return mrYesToAll; };
    tree_.WriteFile("one/kept.txt", "kept");
  }
  void TearDown() override {
    setenv("XDG_DATA_HOME", (std::string(getenv("HOME")) + "/.local/share").c_str(), 1);
    drive_.reset();
  }

  // Paths on the drive, below its top folder.
  std::string On(const std::string& relative) const { return top_ + "/" + relative; }
  bool Logged(const std::string& line) const {
    const auto log = sync_.ResultLog();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  void Write(const std::string& relative, const std::string& contents) {
    tree_.WriteFile("mnt/" + relative, contents);
  }
  std::string Read(const std::string& relative) const { return tree_.ReadFile("mnt/" + relative); }
  bool Exists(const std::string& relative) const {
    struct stat st;
    return lstat(On(relative).c_str(), &st) == 0;
  }
  // A replacing run: "two/report.txt" replaced by a newer Folder 1 version.
  void AddReplacedFile() {
    Write("two/report.txt", "old version");
    tree_.SetTime("mnt/two/report.txt", kOld);
    tree_.WriteFile("one/report.txt", "new version");
    tree_.SetTime("one/report.txt", kNew);
  }
  bool HomeTrashEmpty() const {
    return !tree_.Exists("data/Trash/files") || tree_.List("data/Trash/files").empty();
  }

  std::unique_ptr<Ext4Drive> drive_;
  std::string top_;
};

TEST_F(TrashTopFolderTest, ItemsGoToTheUsersTrashAtTheTopFolderWhereTrashCliRestoresThem) {
  if (!HaveTrashCli()) GTEST_SKIP() << "trash-cli is not installed (scripts/deps.sh installs it)";
  struct Case {
    const char* relative;  // below Folder 2
    const char* contents;
    bool folder;  // the entry removed is the folder holding the last part
  };
  const std::vector<Case> cases = {
      {"plain.txt", "plain\n", false},
      {".hidden", "hidden\n", false},
      {"per%cent 20%.txt", "percent\n", false},
      {"tree/inner/deep.txt", "deep\n", true},
  };
  for (const Case& c : cases) Write(std::string("two/") + c.relative, c.contents);
  AddReplacedFile();
  sync_.Run();

  const std::string bin = ".Trash-" + std::to_string(getuid());
  struct stat st;
  ASSERT_EQ(lstat(On(bin).c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(Read("two/report.txt"), "new version");
  EXPECT_EQ(Read(bin + "/files/report.txt"), "old version");
  EXPECT_TRUE(HomeTrashEmpty());

  const std::string list = TrashList();
  std::vector<std::string> tops;
  for (const Case& c : cases) {
    const std::string relative = c.relative;
    tops.push_back(c.folder ? relative.substr(0, relative.find('/')) : relative);
  }
  tops.push_back("report.txt");
  for (const std::string& name : tops) {
    SCOPED_TRACE(name);
    // The info file names the entry relative to the top folder; trash-cli makes it absolute.
    const std::string info = Read(bin + "/info/" + name + ".trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + PercentEncoded("two/" + name) + "\n", 0), 0u)
        << info;
    EXPECT_NE(list.find(" " + On("two/" + name) + "\n"), std::string::npos) << list;
  }
  ASSERT_EQ(unlink(On("two/report.txt").c_str()), 0);  // trash-restore never overwrites
  for (const Case& c : cases) {
    SCOPED_TRACE(c.relative);
    const std::string relative = c.relative;
    const std::string top = c.folder ? relative.substr(0, relative.find('/')) : relative;
    EXPECT_FALSE(Exists("two/" + top));
    const int index = RestoreIndex(On("two"), On("two/" + top));
    ASSERT_GE(index, 0) << list;
    TrashRestore(On("two"), index);
    EXPECT_EQ(Read("two/" + relative), c.contents);
  }
  const int index = RestoreIndex(On("two"), On("two/report.txt"));
  ASSERT_GE(index, 0) << list;
  TrashRestore(On("two"), index);
  EXPECT_EQ(Read("two/report.txt"), "old version");
}

// Which trash the top folder's ".Trash" leaves to us: only a real folder with the sticky bit is
// an administrator's shared trash.
TEST_F(TrashTopFolderTest, OnlyAStickyRealDotTrashIsShared) {
  const std::string user = std::to_string(getuid());
  struct Case {
    const char* name;
    mode_t mode;      // of the folder made as ".Trash" (or as its link's target)
    bool link;        // ".Trash" is a link to that folder
    const char* bin;  // where the entries go, below the top folder
  };
  const std::vector<Case> cases = {
      {"sticky folder", 01777, false, ".Trash/"},
      {"folder without the sticky bit", 0777, false, ".Trash-"},
      {"link to a sticky folder", 01777, true, ".Trash-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Shell("rm -rf '" + On(".Trash") + "' '" + On(".Trash-" + user) + "' '" + On("target") + "'");
    const std::string made = On(c.link ? "target" : ".Trash");
    ASSERT_EQ(mkdir(made.c_str(), 0700), 0);
    ASSERT_EQ(chmod(made.c_str(), c.mode), 0);
    if (c.link) {
      ASSERT_EQ(symlink("target", On(".Trash").c_str()), 0);
    }
    Write("two/gone.txt", c.name);
    sync_.Run();
    const std::string bin = c.bin + user;
    EXPECT_FALSE(Exists("two/gone.txt"));
    EXPECT_EQ(Read(bin + "/files/gone.txt"), c.name);
    EXPECT_EQ(Read(bin + "/info/gone.txt.trashinfo").rfind("[Trash Info]\nPath=two/gone.txt\n", 0),
              0u);
    EXPECT_FALSE(Exists(std::string(c.bin[6] == '-' ? ".Trash/" : ".Trash-") + user));
    if (c.link) {
      EXPECT_FALSE(Exists("target/" + user));
    }
    struct stat st;
    ASSERT_EQ(lstat(On(bin).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
  }
}

// A top folder that cannot be written: nothing is deleted, each item says why, the run goes on.
TEST_F(TrashTopFolderTest, ReadOnlyDriveKeepsEveryItem) {
  Write("two/a.txt", "a");
  Write("two/b.txt", "b");
  Write("two/dir/inside.txt", "i");
  drive_->RemountReadOnly();
  if (HasFatalFailure()) return;
  sync_.Run();
  const std::string reason = std::strerror(EROFS);
  for (const char* name : {"a.txt", "b.txt"}) {
    EXPECT_TRUE(Logged("Cannot move file \"" + On(std::string("two/") + name) +
                       "\" to the trash: " + reason))
        << name;
  }
  EXPECT_TRUE(Logged("Cannot move folder \"" + On("two/dir") + "\" to the trash: " + reason));
  EXPECT_EQ(Read("two/a.txt"), "a");
  EXPECT_EQ(Read("two/b.txt"), "b");
  EXPECT_EQ(Read("two/dir/inside.txt"), "i");
  EXPECT_FALSE(Exists(".Trash-" + std::to_string(getuid())));
  EXPECT_TRUE(HomeTrashEmpty());
}

}  // namespace
}  // namespace vantrel::test
