#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "storage/uGlobal.h"
#include "tests/core/StorageTestSupport.h"

namespace vantrel {
namespace {

using storetest::WriteBytes;
using test::TempTree;
using Strings = std::vector<std::string>;

// Points ProjectsFolder somewhere for one test and puts the old value back.
class ProjectsFolderScope {
 public:
  explicit ProjectsFolderScope(const std::string& folder) : saved_(ProjectsFolder) {
    ProjectsFolder = folder;
  }
  ~ProjectsFolderScope() { ProjectsFolder = saved_; }

 private:
  std::string saved_;
};

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(ProjectsFolder, IsCreatedBelowTheUserDataFolder) {
  TempTree temp;
  ProjectsFolderScope scope("");
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old != nullptr ? old : "";
  setenv("XDG_DATA_HOME", temp.Path("data").c_str(), 1);
  InitProjectsFolder();
  if (old != nullptr) {
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
  EXPECT_EQ(ProjectsFolder, temp.Path("data/Kestrune/VantrelProjects"));
  EXPECT_TRUE(IsFolder(ProjectsFolder));
  EXPECT_EQ(ProjectExt, "VTPrj");
}

TEST(ProjectsFolder, ListsEveryEntryEndingInTheExtension) {
  TempTree temp;
  ProjectsFolderScope scope(temp.root());
  for (const char* name : {"a.VTPrj", "B.vtprj", ".VTPrj", "c.txt", "VTPrj", "d.VTPrj.tmp"}) {
    WriteBytes(temp.Path(name), "");
  }
  mkdir(temp.Path("x.VTPrj").c_str(), 0700);
  Strings listed = ListProjectFiles();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (Strings{temp.Path(".VTPrj"), temp.Path("B.vtprj"), temp.Path("a.VTPrj"),
                             temp.Path("x.VTPrj")}));

  ProjectsFolderScope missing(temp.Path("missing"));
  EXPECT_TRUE(ListProjectFiles().empty());
}

TEST(ProjectsFolder, NewFileNamesAreFreeAndNotCreated) {
  TempTree temp;
  ProjectsFolderScope scope(temp.root());
  const std::string path = NewProjectFileName();
  ASSERT_EQ(path.size(), temp.root().size() + 1 + 8 + 6);
  EXPECT_EQ(path.substr(0, temp.root().size() + 1), temp.root() + "/");
  for (char c : path.substr(temp.root().size() + 1, 8)) {
    EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) << path;
  }
  EXPECT_EQ(path.substr(path.size() - 6), ".VTPrj");
  EXPECT_TRUE(temp.ListingOrder().empty());
}

}  // namespace
}  // namespace vantrel
