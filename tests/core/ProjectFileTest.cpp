#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/MessageHook.h"
#include "engine/uVantrelProject.h"
#include "storage/FileAccess.h"
#include "tests/core/StorageTestSupport.h"

namespace vantrel {
namespace {

using storetest::ErrorOf;
using storetest::ReadBytes;
using storetest::WriteBytes;
using test::TempTree;
using Strings = std::vector<std::string>;

const char kExampleProject[] =
    "[Root]\r\n"
    "advanced=INTEGER|1\r\n"
    "copymode=INTEGER|1\r\n"
    "destfolder=STRING|\"E:\\Backup\\My Documents\"\r\n"
    "exact=INTEGER|1\r\n"
    "exclude=STRINGLIST\r\n"
    "include=STRINGLIST\r\n"
    "processhidden=INTEGER|0\r\n"
    "processsystem=INTEGER|0\r\n"
    "projectname=STRING|\"Documents to USB disk\"\r\n"
    "sourcefolder=STRING|\"C:\\Data\\My Documents\"\r\n"
    "subfolders=INTEGER|1\r\n"
    "\r\n"
    "[\\exclude]\r\n"
    "s1=*.tmp\r\n"
    "s2=~*.*\r\n"
    "\r\n"
    "[\\include]\r\n"
    "s1=*.*\r\n"
    "\r\n";

const char kNewProject[] =
    "[Root]\r\n"
    "advanced=INTEGER|0\r\n"
    "copymode=INTEGER|0\r\n"
    "destfolder=STRING|\"\"\r\n"
    "exact=INTEGER|0\r\n"
    "exclude=STRINGLIST\r\n"
    "include=STRINGLIST\r\n"
    "processhidden=INTEGER|0\r\n"
    "processsystem=INTEGER|0\r\n"
    "projectname=STRING|\"\"\r\n"
    "sourcefolder=STRING|\"\"\r\n"
    "subfolders=INTEGER|0\r\n"
    "\r\n";

// Every setting of a project as one text, so two projects compare in one assertion.
std::string Settings(const TFolderSynchronizer& p) {
  std::string text = "name=" + p.ProjectName() + " f1=" + p.Folder1() + " f2=" + p.Folder2() +
                     " mode=" + std::to_string(p.CopyMode());
  text += std::string(" exact=") + (p.ExactCopy() ? "1" : "0") +
          " adv=" + (p.AdvancedOptions() ? "1" : "0") +
          " sub=" + (p.IncludeSubfolders() ? "1" : "0") +
          " hid=" + (p.ProcessHidden() ? "1" : "0") + " sys=" + (p.ProcessSystem() ? "1" : "0");
  text += " inc=";
  for (const auto& m : p.IncludeMasks()) text += "<" + m + ">";
  text += " exc=";
  for (const auto& m : p.ExcludeMasks()) text += "<" + m + ">";
  return text;
}

void SetUpExample(TFolderSynchronizer& p) {
  p.SetProjectName("Documents to USB disk");
  p.SetFolder1("C:\\Data\\My Documents");
  p.SetFolder2("E:\\Backup\\My Documents");
  p.SetCopyMode(1);
  p.SetExactCopy(true);
  p.SetIncludeSubfolders(true);
  p.SetAdvancedOptions(true);
  p.SetIncludeText("*.*");
  p.SetExcludeText("*.tmp,~*.*");
  p.SetProcessHidden(false);
  p.SetProcessSystem(false);
}

const char kExampleSettings[] =
    "name=Documents to USB disk f1=C:\\Data\\My Documents f2=E:\\Backup\\My Documents mode=1 "
    "exact=1 adv=1 sub=1 hid=0 sys=0 inc=<*.*> exc=<*.tmp><~*.*>";

const char kDefaultSettings[] = "name= f1= f2= mode=1 exact=0 adv=0 sub=0 hid=0 sys=0 inc= exc=";

std::string LoadedSettings(const std::string& path) {
  TFolderSynchronizer p(path);
  p.Load();
  return Settings(p);
}

TEST(ProjectFile, SavesTheExampleProjectByteForByteAndLoadsItBack) {
  TempTree folder;
  const std::string path = folder.Path("K3ZQ0M7A.VTPrj");
  TFolderSynchronizer project(path);
  SetUpExample(project);
  ASSERT_TRUE(project.Modified());
  project.Save();
  EXPECT_FALSE(project.Modified());
  EXPECT_EQ(ReadBytes(path), kExampleProject);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  TFolderSynchronizer loaded(path);
  loaded.SetProjectName("changed before loading");
  loaded.Load();
  EXPECT_FALSE(loaded.Modified());
  EXPECT_EQ(Settings(loaded), kExampleSettings);
  EXPECT_EQ(Settings(loaded), Settings(project));
}

TEST(ProjectFile, ANewProjectHasNoListSections) {
  TempTree folder;
  TFolderSynchronizer project(folder.Path("n.VTPrj"));
  project.Save();
  EXPECT_EQ(ReadBytes(folder.Path("n.VTPrj")), kNewProject);
}

TEST(ProjectFile, LoadGivesDefaultsForMissingKeys) {
  TempTree folder;
  EXPECT_EQ(LoadedSettings(folder.Path("never-saved.VTPrj")), kDefaultSettings);
  EXPECT_TRUE(folder.ListingOrder().empty());  // loading creates nothing

  mkdir(folder.Path("x.VTPrj").c_str(), 0700);  // a folder is listed, and loads as empty
  EXPECT_EQ(LoadedSettings(folder.Path("x.VTPrj")), kDefaultSettings);

  WriteBytes(folder.Path("some.VTPrj"), "[Root]\r\nprojectname=STRING|\"Only a name\"\r\n");
  EXPECT_EQ(LoadedSettings(folder.Path("some.VTPrj")),
            "name=Only a name f1= f2= mode=1 exact=0 adv=0 sub=0 hid=0 sys=0 inc= exc=");

  // Missing lists leave the masks the object had.
  TFolderSynchronizer keeps(folder.Path("some.VTPrj"));
  keeps.SetIncludeText("*.doc,*.txt");
  keeps.Load();
  EXPECT_EQ(keeps.IncludeMasks(), (Strings{"*.doc", "*.txt"}));
}

TEST(ProjectFile, TheTrashIsOnUnlessTheFileSaysOff) {
  TempTree folder;
  TFolderSynchronizer fresh(folder.Path("t.VTPrj"));
  EXPECT_TRUE(fresh.UseTrash());
  fresh.SetUseTrash(true);
  EXPECT_FALSE(fresh.Modified());
  fresh.Save();
  EXPECT_EQ(ReadBytes(folder.Path("t.VTPrj")), kNewProject);  // the default writes no key

  fresh.SetUseTrash(false);
  EXPECT_TRUE(fresh.Modified());
  fresh.Save();
  const std::string off = ReadBytes(folder.Path("t.VTPrj"));
  EXPECT_NE(off.find("\r\nusetrash=INTEGER|0\r\n"), std::string::npos) << off;
  TFolderSynchronizer loaded(folder.Path("t.VTPrj"));
  loaded.Load();
  EXPECT_FALSE(loaded.UseTrash());
  EXPECT_FALSE(loaded.Modified());

  WriteBytes(folder.Path("old.VTPrj"), "[Root]\r\nprojectname=STRING|\"Before the trash\"\r\n");
  TFolderSynchronizer old(folder.Path("old.VTPrj"));
  old.SetUseTrash(false);
  old.Load();
  EXPECT_TRUE(old.UseTrash());
}

TEST(ProjectFile, HandWrittenFilesLoadAndAreWrittenBackCanonically) {
  TempTree folder;
  const std::string path = folder.Path("h.VTPrj");
  WriteBytes(path,
             "; edited by hand\n"
             "[root]\n"
             "SUBFOLDERS = integer|5\n"
             "Include=StringList\n"
             "comment=STRING|\"not a setting\"\n"
             "ProjectName = STRING | \"Hand \"\"made\"\"\"\n"
             "exact=INTEGER|-1\n"
             "copymode=INTEGER|7\n"
             "[\\INCLUDE]\n"
             "s3=*.c\n"
             "s1=*.h\n");
  TFolderSynchronizer project(path);
  project.Load();
  EXPECT_EQ(
      Settings(project),
      "name=Hand \"made\" f1= f2= mode=7 exact=1 adv=0 sub=1 hid=0 sys=0 inc=<*.c><*.h> exc=");
  project.Save();
  EXPECT_EQ(ReadBytes(path),
            "[Root]\r\n"
            "advanced=INTEGER|0\r\n"
            "copymode=INTEGER|7\r\n"
            "destfolder=STRING|\"\"\r\n"
            "exact=INTEGER|1\r\n"
            "exclude=STRINGLIST\r\n"
            "include=STRINGLIST\r\n"
            "processhidden=INTEGER|0\r\n"
            "processsystem=INTEGER|0\r\n"
            "projectname=STRING|\"Hand \"\"made\"\"\"\r\n"
            "sourcefolder=STRING|\"\"\r\n"
            "subfolders=INTEGER|1\r\n"
            "\r\n"
            "[\\include]\r\n"
            "s1=*.c\r\n"
            "s2=*.h\r\n"
            "\r\n");
}

TEST(ProjectFile, BadFilesFailWithTheirMessage) {
  const struct {
    const char* keys;
    const char* message;
  } cases[] = {
      {"copymode=STRING|\"x\"", "It's not an integer \"copymode\""},
      {"projectname=INTEGER|1", "It's not a string \"projectname\""},
      {"include=STRING|\"*.*\"", "It's not a string list \"include\""},
      {"copymode=INTEGER|x", "'x' is not a valid integer value"},
      {"copymode=INTEGER", "List index out of bounds (1)"},
      {"copymode=", "List index out of bounds (0)"},
  };
  for (const auto& c : cases) {
    TempTree folder;
    const std::string path = folder.Path("bad.VTPrj");
    WriteBytes(path, std::string("[Root]\r\n") + c.keys + "\r\n");
    TFolderSynchronizer project(path);
    project.SetExactCopy(true);
    EXPECT_EQ(ErrorOf([&] { project.Load(); }), c.message) << c.keys;
    EXPECT_TRUE(project.Modified()) << c.keys;
  }

  // What was read before the failure stays read.
  TempTree folder;
  const std::string path = folder.Path("half.VTPrj");
  WriteBytes(path, "[Root]\r\nprojectname=STRING|\"Half\"\r\ncopymode=STRING|\"1\"\r\n");
  TFolderSynchronizer project(path);
  EXPECT_EQ(ErrorOf([&] { project.Load(); }), "It's not an integer \"copymode\"");
  EXPECT_EQ(project.ProjectName(), "Half");

  TFolderSynchronizer unnamed("");
  EXPECT_EQ(ErrorOf([&] { unnamed.Load(); }), "File name is empty");
  EXPECT_EQ(ErrorOf([&] { unnamed.Save(); }), "File name is empty");
}

TEST(ProjectFile, AnUnknownTagIsShownAtEveryLoadAndCountsAsMissing) {
  TempTree folder;
  const std::string path = folder.Path("t.VTPrj");
  WriteBytes(path, "[Root]\r\ncopymode=BOOL|0\r\nexact=INTEGER|1\r\n");
  Strings shown;
  const MessageHook previous =
      SetMessageHook([&](const std::string& message) { shown.push_back(message); });
  const std::string first = LoadedSettings(path);
  const std::string second = LoadedSettings(path);
  SetMessageHook(previous);
  EXPECT_EQ(first, "name= f1= f2= mode=1 exact=1 adv=0 sub=0 hid=0 sys=0 inc= exc=");
  EXPECT_EQ(second, first);
  EXPECT_EQ(shown, (Strings{"Unknown type 'BOOL'", "Unknown type 'BOOL'"}));
}

class FullDisc : public FileSystemWrapper {
 public:
  FullDisc() : FileSystemWrapper(FileSystem::Default()) {}
  long Write(int, const void*, std::size_t) override {
    errno = ENOSPC;
    return -1;
  }
};

TEST(ProjectFile, AFailedSaveKeepsTheOldFileAndTheChanges) {
  TempTree folder;
  const std::string path = folder.Path("p.VTPrj");
  TFolderSynchronizer project(path);
  SetUpExample(project);
  project.Save();

  project.SetProjectName("Renamed");
  {
    FullDisc disc;
    FileSystem* previous = SetStorageFileSystem(&disc);
    const std::string error = ErrorOf([&] { project.Save(); });
    SetStorageFileSystem(previous);
    EXPECT_EQ(error, "Cannot create file \"" + path + "\". " + std::strerror(ENOSPC));
  }
  EXPECT_TRUE(project.Modified());
  EXPECT_EQ(ReadBytes(path), kExampleProject);
  EXPECT_EQ(folder.ListingOrder(), (Strings{"p.VTPrj"}));

  project.SetProjectName("Two\r\nlines");
  EXPECT_EQ(ErrorOf([&] { project.Save(); }),
            "Cannot save \"projectname\": the value holds a line break");
  EXPECT_TRUE(project.Modified());
  EXPECT_EQ(ReadBytes(path), kExampleProject);

  project.SetProjectName("Fine");
  project.SetIncludeText("\"a\nb\"");  // a quoted mask keeps its line break
  EXPECT_EQ(ErrorOf([&] { project.Save(); }),
            "Cannot save \"include\": the value holds a line break");
  EXPECT_EQ(ReadBytes(path), kExampleProject);
}

}  // namespace
}  // namespace vantrel
