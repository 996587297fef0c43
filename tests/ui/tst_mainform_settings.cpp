// The settings pages: folders with the chooser and the swap, the mode page and its exact-copy
// question, the masks' default and what marks a project modified.
#include "UiTestMain.h"
#include "common/ModalResult.h"
#include "support/MainFormHarness.h"

using namespace vantrel;
using vantrel::test::MainFormHarness;

class MainFormSettings : public QObject {
  Q_OBJECT
  std::unique_ptr<MainFormHarness> h;

  // Opens the saved project `file` and moves on to the mode page.
  void OpenToMode(const QString& file) {
    TVTMainForm& f = *h->form;
    f.FillProjectList();
    f.rbExisting->setChecked(true);
    for (int i = 0; i < f.lvProject->topLevelItemCount(); ++i) {
      if (TProjectListView::RowFileName(h->Row(i)) == file.toStdString()) {
        f.lvProject->setCurrentItem(h->Row(i));
      }
    }
    h->Next();
    h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgMode));
  }

 private slots:
  void init() { h = std::make_unique<MainFormHarness>(); }
  void cleanup() { h.reset(); }

  void newProjectDefaults() {
    TVTMainForm& f = h->Show();
    h->NewProjectToMode("/a", "/b");
    QVERIFY(f.rbBidiret->isChecked());
    QVERIFY(!f.cbExactCopy->isChecked());
    QVERIFY(!f.cbExactCopy->isEnabled());
    QVERIFY(!f.cbSubDir->isChecked());
    QVERIFY(!f.cbAdvanced->isChecked());
    QVERIFY(f.cbUseTrash->isChecked());
    QCOMPARE(f.cbUseTrash->text(), QString("Move removed and replaced files to the &trash"));
    // Cleared, it reaches the project at Next and marks it modified; the summary is unchanged.
    const QString summaryBefore = QString::fromStdString(f.Synchronizer()->GetSummaryText());
    f.cbUseTrash->setChecked(false);
    h->Next();
    QVERIFY(!f.Synchronizer()->UseTrash());
    QVERIFY(f.Synchronizer()->Modified());
    QCOMPARE(QString::fromStdString(f.Synchronizer()->GetSummaryText()), summaryBefore);
  }

  void exactCopyQuestion() {
    TVTMainForm& f = h->Show();
    h->NewProjectToMode("/a", "/b");
    MainFormHarness::Click(f.rbUnidirect);
    QVERIFY(f.cbExactCopy->isEnabled());
    h->prompts.yesNoAnswers = {false, true};
    MainFormHarness::Click(f.cbExactCopy);  // No clears it again, without a second question
    QVERIFY(!f.cbExactCopy->isChecked());
    QCOMPARE(h->prompts.log.size(), 1);
    MainFormHarness::Click(f.cbExactCopy);  // Yes keeps it
    QVERIFY(f.cbExactCopy->isChecked());
    MainFormHarness::Click(f.rbBidiret);  // disabled, mark kept, stored as it stands
    QVERIFY(!f.cbExactCopy->isEnabled());
    QVERIFY(f.cbExactCopy->isChecked());
    h->Next();
    QVERIFY(f.Synchronizer()->ExactCopy());
    QCOMPARE(f.Synchronizer()->CopyMode(), 0);
    QVERIFY(f.mReadyText->toPlainText().contains("  Bidirectional without subfolders"));
    h->Back();
    MainFormHarness::Click(f.rbUnidirect);
    MainFormHarness::Click(f.cbExactCopy);  // clearing asks nothing
    QVERIFY(!f.cbExactCopy->isChecked());
    QCOMPARE(h->prompts.log.size(), 2);

    // A project stored with exact copy shows the mark without the question.
    const QString file =
        MainFormHarness::SaveProject("AAAAAAAA", "Exact", "/a", "/b", [](TFolderSynchronizer& p) {
          p.SetCopyMode(1);
          p.SetExactCopy(true);
        });
    h->Back();
    h->Back();
    OpenToMode(file);
    QVERIFY(f.rbUnidirect->isChecked());
    QVERIFY(f.cbExactCopy->isChecked());
    QCOMPARE(h->prompts.log.size(), 2);
  }

  void folderFields() {
    TVTMainForm& f = h->Show();
    h->Next();
    f.eFolder1->setText("/start");
    h->prompts.folders = {QString(), "/chosen/one", "/"};
    MainFormHarness::Click(f.bSelectFolder);  // cancelled
    QCOMPARE(f.eFolder1->text(), "/start");
    MainFormHarness::Click(f.bSelectFolder);
    QCOMPARE(f.eFolder1->text(), "/chosen/one");
    MainFormHarness::Click(f.BitBtn6);
    QCOMPARE(f.eFolder2->text(), "/");
    QCOMPARE(
        h->prompts.log,
        QStringList({"SelectFolder: /start | Select folder:",
                     "SelectFolder: /start | Select folder:", "SelectFolder:  | Select folder:"}));
    QCOMPARE(f.bSelectFolder->toolTip(), "Select Folder");

    MainFormHarness::Click(f.Button1);
    QCOMPARE(f.eFolder1->text(), "/");
    QCOMPARE(f.eFolder2->text(), "/chosen/one");
    h->Next();
    QCOMPARE(f.Synchronizer()->Folder1(), "/");
    h->Back();
    MainFormHarness::Click(f.Button1);
    h->Back();  // the swap was never confirmed
    QCOMPARE(f.Synchronizer()->Folder1(), "/");
    QCOMPARE(f.Synchronizer()->Folder2(), "/chosen/one");
  }

  void copyModeTwoShownAsUnidirectional() {
    const QString file = MainFormHarness::SaveProject(
        "AAAAAAAA", "Two", "/a", "/b", [](TFolderSynchronizer& p) { p.SetCopyMode(2); });
    TVTMainForm& f = h->Show();
    OpenToMode(file);
    QVERIFY(f.rbUnidirect->isChecked());
    QVERIFY(!f.Synchronizer()->Modified());
    h->Next();
    QCOMPARE(f.Synchronizer()->CopyMode(), 1);
    QVERIFY(f.Synchronizer()->Modified());
  }

  void masksAndModified() {
    const QString file = MainFormHarness::SaveProject("AAAAAAAA", "Masks");
    TVTMainForm& f = h->Show();
    OpenToMode(file);
    // Advanced options off: the fields are filled but never stored.
    h->Next();
    QCOMPARE(f.eIncludeMask->text(), "*.*");
    QVERIFY(f.mReadyText->toPlainText().endsWith("Include files: All files\n"));
    QVERIFY(!f.Synchronizer()->Modified());
    // Hidden and system alone leave the project unmodified.
    h->Back();
    f.cbAdvanced->setChecked(true);
    h->Next();
    f.Synchronizer()->Save();
    f.cbHidden->setChecked(true);
    f.cbSystem->setChecked(true);
    f.eIncludeMask->setText("");
    h->Next();
    QVERIFY(f.Synchronizer()->ProcessHidden());
    QVERIFY(!f.Synchronizer()->Modified());
    // The "*.*" default reaches the project only through the page's Next.
    h->Back();
    QCOMPARE(f.eIncludeMask->text(), "");
    h->Back();
    h->Next();
    QCOMPARE(f.eIncludeMask->text(), "*.*");
    f.eExcludeMask->setText("*.tmp, ~*.*");
    h->Next();
    QCOMPARE(f.Synchronizer()->IncludeMasks(), std::vector<std::string>{"*.*"});
    QCOMPARE(f.Synchronizer()->ExcludeMasks().size(), size_t(2));
    QVERIFY(f.Synchronizer()->Modified());
    QVERIFY(f.mReadyText->toPlainText().contains("Include files: *.*\nExclude files: "));
  }
};

VANTREL_UI_TEST(MainFormSettings)
#include "tst_mainform_settings.moc"
