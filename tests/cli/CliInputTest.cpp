// The list, and wrong input: a clear message on standard error, exit 2, nothing touched.
#include "CliTestSupport.h"

namespace vantrel::test {
namespace {

TEST_F(CliTest, ListShowsEveryReadableProjectSortedByName) {
  SaveProject("Photos", "BBBBBBBB.VTPrj");
  SaveProject("Backup", "CCCCCCCC.VTPrj");
  SaveProject("Archive", "DDDDDDDD.VTPrj");
  tree.WriteFile("data/Kestrune/VantrelProjects/EEEEEEEE.VTPrj",
                 "[Root]\r\ncopymode=INTEGER|x\r\n");
  const ProcessResult result = Sync({"list"});
  EXPECT_EQ(result.exitCode, 0);
  const std::string folder = ProjectsFolder() + "/";
  EXPECT_EQ(result.out, "Archive\t" + folder + "DDDDDDDD.VTPrj\nBackup\t" + folder +
                            "CCCCCCCC.VTPrj\nPhotos\t" + folder + "BBBBBBBB.VTPrj\n");
  EXPECT_NE(result.err.find("EEEEEEEE.VTPrj"), std::string::npos) << result.err;
}

TEST_F(CliTest, WrongInputIsExitTwoWithAMessageAndTouchesNothing) {
  SaveProject("Backup");
  SaveProject("Twice", "TWICE001.VTPrj");
  SaveProject("Twice", "TWICE002.VTPrj");
  tree.WriteFile("one/a.txt", "a");
  tree.WriteFile("two/extra.txt", "e");
  // A value of the wrong type, an unknown tag, a key without a value, a file without folders.
  tree.WriteFile("bad1.VTPrj", "[Root]\r\ncopymode=STRING|\"one\"\r\n");
  tree.WriteFile("bad2.VTPrj", "[Root]\r\nsourcefolder=WHATEVER|x\r\n");
  tree.WriteFile("bad3.VTPrj", "[Root]\r\ncopymode=INTEGER\r\n");
  tree.WriteFile("bad4.VTPrj", "[Root]\r\nprojectname=STRING|\"Empty\"\r\n");
  const std::string before = Snapshot();
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "no command"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"run", "Backup", "--frobnicate"}, "unknown option '--frobnicate'"},
      {{"run", "Backup", "-x"}, "unknown option '-x'"},
      {{"run"}, "needs a project"},
      {{"run", "--yes"}, "needs a project"},
      {{"run", "Backup", "Other"}, "more than one project"},
      {{"list", "extra"}, "takes no arguments"},
      {{"run", "Nobody"}, "no project named \"Nobody\""},
      {{"run", "backup"}, "no project named \"backup\""},  // names match exactly
      {{"run", "Twice", "--yes"}, "TWICE002.VTPrj"},
      {{"run", tree.Path("missing.VTPrj"), "--yes"}, "no project file"},
      {{"run", tree.Path("bad1.VTPrj"), "--yes"}, "It's not an integer"},
      {{"run", tree.Path("bad2.VTPrj"), "--yes"}, "Unknown type 'WHATEVER'"},
      {{"run", tree.Path("bad3.VTPrj"), "--yes"}, "List index out of bounds (1)"},
      {{"run", tree.Path("bad4.VTPrj"), "--yes"}, "no Folder 1"},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    const ProcessResult result = Sync(c.args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.rfind("vantrel-sync: ", 0), 0u) << result.err;
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(CliTest, HelpAndVersion) {
  const ProcessResult help = Sync({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("vantrel-sync run PROJECT [options]"), std::string::npos);
  const ProcessResult version = Sync({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "vantrel-sync " VANTREL_VERSION "\n");
}

}  // namespace
}  // namespace vantrel::test
