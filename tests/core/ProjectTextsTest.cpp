// The project's texts and the change tracking of its setters.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/uVantrelProject.h"

namespace vantrel {
namespace {

TEST(ProjectTexts, NewProjectStartsBidirectionalAndUnmodified) {
  TFolderSynchronizer sync("/projects/AB12CD34.VTPrj");
  EXPECT_EQ(sync.FileName(), "/projects/AB12CD34.VTPrj");
  EXPECT_EQ(sync.CopyMode(), 0);
  EXPECT_FALSE(sync.Modified());
  EXPECT_FALSE(sync.Terminated());
  EXPECT_EQ(sync.GetResultText(), "No files processed ... ");
  EXPECT_EQ(sync.GetCaptionText(), "Folder \"\" and \"\"");
}

TEST(ProjectTexts, SummaryForEveryModeAndOption) {
  struct Case {
    std::int32_t mode;
    bool exact;
    bool subfolders;
    const char* modeLine;
  };
  const Case cases[] = {
      {0, false, true, "  Bidirectional with subfolders"},
      {0, true, false, "  Bidirectional without subfolders"},
      {1, false, true, "  Unidirectional with subfolders"},
      {1, true, false, "  Unidirectional (exact copy) without subfolders"},
      {2, true, true, " with subfolders"},
      {-1, false, false, " without subfolders"},
  };
  for (const Case& c : cases) {
    TFolderSynchronizer sync("p");
    sync.SetFolder1("/home/u/a b");
    sync.SetFolder2("/media/\"x\"");
    sync.SetCopyMode(c.mode);
    sync.SetExactCopy(c.exact);
    sync.SetIncludeSubfolders(c.subfolders);
    sync.SetIncludeText("*.txt, *.doc");
    sync.SetExcludeText("My Files*.txt");
    const std::string head = std::string("Folders:\r\n  1-st folder: /home/u/a b\r\n") +
                             "  2-nd folder: /media/\"x\"\r\n\r\nSyncronize mode:\r\n" +
                             c.modeLine + "\r\n\r\n";
    EXPECT_EQ(sync.GetSummaryText(), head + "Include files: All files\r\n") << c.modeLine;
    sync.SetAdvancedOptions(true);
    EXPECT_EQ(sync.GetSummaryText(),
              head + "Include files: *.txt,*.doc\r\nExclude files: My,Files*.txt\r\n")
        << c.modeLine;
  }
}

TEST(ProjectTexts, CaptionAndMaskTexts) {
  TFolderSynchronizer sync("p");
  sync.SetFolder1("/a");
  sync.SetFolder2("/b/");
  sync.SetIncludeText("\"My Files*.txt\",,x");
  EXPECT_EQ(sync.GetCaptionText(), "Folder \"/a\" and \"/b/\"");
  EXPECT_EQ(sync.GetIncludeText(), "\"My Files*.txt\",,x");
  EXPECT_EQ(sync.IncludeMasks(), (std::vector<std::string>{"My Files*.txt", "", "x"}));
  EXPECT_EQ(sync.GetExcludeText(), "");
}

TEST(ProjectTexts, SettersMarkChangesExceptHiddenAndSystem) {
  struct Case {
    const char* name;
    std::function<void(TFolderSynchronizer&)> same;    // stores the current value again
    std::function<void(TFolderSynchronizer&)> change;  // stores a different value
    bool marks;
  };
  const Case cases[] = {
      {"AdvancedOptions", [](auto& s) { s.SetAdvancedOptions(false); },
       [](auto& s) { s.SetAdvancedOptions(true); }, true},
      {"CopyMode", [](auto& s) { s.SetCopyMode(0); }, [](auto& s) { s.SetCopyMode(1); }, true},
      {"ExactCopy", [](auto& s) { s.SetExactCopy(false); }, [](auto& s) { s.SetExactCopy(true); },
       true},
      {"Folder1", [](auto& s) { s.SetFolder1(""); }, [](auto& s) { s.SetFolder1("/x"); }, true},
      {"Folder2", [](auto& s) { s.SetFolder2(""); }, [](auto& s) { s.SetFolder2("/X"); }, true},
      {"ProjectName", [](auto& s) { s.SetProjectName(""); }, [](auto& s) { s.SetProjectName("n"); },
       true},
      {"IncludeSubfolders", [](auto& s) { s.SetIncludeSubfolders(false); },
       [](auto& s) { s.SetIncludeSubfolders(true); }, true},
      {"IncludeText", [](auto& s) { s.SetIncludeText(""); },
       [](auto& s) { s.SetIncludeText("*.txt"); }, true},
      {"ExcludeText", [](auto& s) { s.SetExcludeText(""); },
       [](auto& s) { s.SetExcludeText("*.bak"); }, true},
      {"ProcessHidden", [](auto& s) { s.SetProcessHidden(false); },
       [](auto& s) { s.SetProcessHidden(true); }, false},
      {"ProcessSystem", [](auto& s) { s.SetProcessSystem(false); },
       [](auto& s) { s.SetProcessSystem(true); }, false},
  };
  for (const Case& c : cases) {
    TFolderSynchronizer sync("p");
    c.same(sync);
    EXPECT_FALSE(sync.Modified()) << c.name;
    c.change(sync);
    EXPECT_EQ(sync.Modified(), c.marks) << c.name;
    c.same(sync);  // no setter ever clears the mark
    EXPECT_EQ(sync.Modified(), c.marks) << c.name;
  }
  TFolderSynchronizer sync("p");
  sync.SetProcessHidden(true);
  sync.SetProcessSystem(true);
  EXPECT_TRUE(sync.ProcessHidden());
  EXPECT_TRUE(sync.ProcessSystem());
}

}  // namespace
}  // namespace vantrel
