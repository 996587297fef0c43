// A run works with the settings it took at its start, and its summary counts what it did.
#include <gtest/gtest.h>

#include "common/ModalResult.h"
#include "tests/core/SyncFixture.h"

namespace vantrel::test {
namespace {

class RunSettings : public SyncFixture {};

TEST_F(RunSettings, ChangesDuringARunDoNotReachIt) {
  for (int i = 0; i < 4; ++i) tree_.WriteFile("one/sub" + std::to_string(i) + "/f.txt", "x");
  sync_.OnProgress = [this](TFolderSynchronizer& sender, const std::string&) {
    sender.SetIncludeSubfolders(false);
    sender.SetAdvancedOptions(true);
    sender.SetIncludeText("*.none");
    sender.SetProcessHidden(false);
  };
  ASSERT_TRUE(sync_.Run());
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(tree_.Exists("two/sub" + std::to_string(i) + "/f.txt"));
  EXPECT_EQ(sync_.Summary().toFolder2.files, 4u);
  EXPECT_EQ(sync_.Summary().foldersCreated, 4u);
}

TEST_F(RunSettings, SummaryCountsFailuresStopsAndBothDirections) {
  tree_.WriteFile("one/a.txt", "12345");
  tree_.WriteFile("two/b.txt", "123");
  tree_.MakeFifo("one/pipe");  // never copied: a "Cannot copy" line
  sync_.SetCopyMode(0);
  sync_.SetProcessSystem(true);
  ASSERT_TRUE(sync_.Run());
  const RunSummary& s = sync_.Summary();
  EXPECT_EQ(s.toFolder2.files, 1u);
  EXPECT_EQ(s.toFolder2.bytes, 5u);
  EXPECT_EQ(s.toFolder1.files, 1u);
  EXPECT_EQ(s.toFolder1.bytes, 3u);
  EXPECT_EQ(s.failures, 1u);
  EXPECT_EQ(s.filesLookedAt, 4u);  // a.txt, pipe; then a.txt and b.txt in Folder 2
  EXPECT_FALSE(s.stopped);

  // A Cancel answer stops the run, and a new run starts its counts afresh.
  tree_.WriteFile("two/extra.txt", "e");
  sync_.SetCopyMode(1);
  sync_.SetExactCopy(true);
  sync_.SetProcessSystem(false);
  ScriptedConfirmer cancel({mrCancel});
  sync_.OnConfirmRemoval = cancel.Handler();
  ASSERT_TRUE(sync_.Run());
  EXPECT_TRUE(sync_.Summary().stopped);
  EXPECT_EQ(sync_.Summary().failures, 0u);
  EXPECT_EQ(sync_.Summary().FilesCopied(), 0u);
  EXPECT_EQ(sync_.Summary().filesRemoved, 0u);
}

}  // namespace
}  // namespace vantrel::test
