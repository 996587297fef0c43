// Walking the wizard: headers and button states, the empty-folder refusal, the skipped Advanced
// options page, what Back keeps and drops, "Begin", and the default button.
#include "UiTestMain.h"
#include "common/ModalResult.h"
#include "support/MainFormHarness.h"

using namespace vantrel;
using vantrel::test::MainFormHarness;

class MainFormNavigation : public QObject {
  Q_OBJECT
  std::unique_ptr<MainFormHarness> h;

  // The header and buttons as one comparable line.
  QString State() const {
    const TVTMainForm& f = *h->form;
    auto button = [](const QPushButton* b) { return (b->isEnabled() ? "+" : "-") + b->text(); };
    return QStringList({f.Label6->text(), f.Label7->text(), button(f.bBack), button(f.bNext),
                        button(f.bClose)})
        .join(" | ");
  }
  // Runs the wizard from a new project to the Results page on two real folders.
  void RunNewProject() {
    h->NewProjectToMode(h->MakeDir("one"), h->MakeDir("two"));
    h->Next();
    h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
  }

 private slots:
  void init() { h = std::make_unique<MainFormHarness>(); }
  void cleanup() { h.reset(); }

  void headersAndButtons() {
    h->Show();
    QStringList seen{State()};
    h->NewProjectToMode(h->MakeDir("a"), h->MakeDir("b"));
    seen << State();
    h->Back();
    seen << State();
    h->Next();
    h->form->cbAdvanced->setChecked(true);
    h->Next();
    seen << State();
    h->Next();
    seen << State();
    QStringList duringRun;
    h->tickStep = 100;
    h->onTick = [&] {
      if (duringRun.isEmpty() && h->Page() == TVTMainForm::pgWait) duringRun << State();
    };
    MainFormHarness::WriteFile(h->data.filePath("a/file.txt"), "x");
    h->Next();
    seen << duringRun << State();
    const QStringList expected = {
        "1. Project | Creating a new project or open an existing one. | -<< Back | +Next >> | "
        "+Close",
        "3. Synchronization mode | Specify how to synchronize folders. | +<< Back | +Next >> | "
        "+Close",
        "2. Folders | Select source and destination folders. | +<< Back | +Next >> | +Close",
        "4. Advanced options | Specify files masks, which will included and excluded to "
        "synchronization process. | +<< Back | +Next >> | +Close",
        "5. Ready to process | Verify synchronization parameters, please. | +<< Back | +Go! | "
        "+Close",
        "6. Please wait ... | You may press Cancel button to stop process. | -<< Back | "
        "-Next >> | -Close",
        "7. Results | 1 copied (1 byte), 0 removed, 0 failed, in 0:00 | +Begin | -Next >> | "
        "+Close",
    };
    QCOMPARE(seen, expected);
  }

  void emptyFolderRefused_data() {
    QTest::addColumn<QString>("folder1");
    QTest::addColumn<QString>("folder2");
    QTest::addColumn<QString>("focus");  // empty: accepted
    QTest::newRow("both empty") << ""
                                << ""
                                << "eFolder1";
    QTest::newRow("second empty") << "/a"
                                  << ""
                                  << "eFolder2";
    QTest::newRow("first empty") << ""
                                 << "/b"
                                 << "eFolder1";
    QTest::newRow("blanks count as filled") << " "
                                            << " "
                                            << "";
  }
  void emptyFolderRefused() {
    QFETCH(QString, folder1);
    QFETCH(QString, folder2);
    QFETCH(QString, focus);
    TVTMainForm& f = h->Show();
    h->NewProjectToMode(folder1, folder2);
    if (focus.isEmpty()) {
      QCOMPARE(h->Page(), int(TVTMainForm::pgMode));
      QCOMPARE(f.Synchronizer()->Folder1(), " ");
      QCOMPARE(h->prompts.beeps, 0);
      return;
    }
    QCOMPARE(h->Page(), int(TVTMainForm::pgFolders));
    QCOMPARE(f.Label6->text(), "2. Folders");
    QCOMPARE(h->prompts.beeps, 1);
    QCOMPARE(f.focusWidget()->objectName(), focus);
    QVERIFY(f.Synchronizer()->Folder1().empty());
    QVERIFY(!f.Synchronizer()->Modified());
  }

  void advancedPageSkippedBothWays_data() {
    QTest::addColumn<bool>("advanced");
    QTest::newRow("off") << false;
    QTest::newRow("on") << true;
  }
  void advancedPageSkippedBothWays() {
    QFETCH(bool, advanced);
    TVTMainForm& f = h->Show();
    h->NewProjectToMode("/a", "/b");
    f.cbAdvanced->setChecked(advanced);
    h->Next();
    QCOMPARE(h->Page(), int(advanced ? TVTMainForm::pgAdvanced : TVTMainForm::pgReady));
    if (advanced) h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgReady));
    h->Back();
    QCOMPARE(h->Page(), int(advanced ? TVTMainForm::pgAdvanced : TVTMainForm::pgMode));
  }

  void backStoresNothing() {
    TVTMainForm& f = h->Show();
    h->NewProjectToMode("/stored1", "/stored2");
    // Unconfirmed edits on the mode page are replaced by the project's values after Back/Next.
    f.rbUnidirect->setChecked(true);
    f.cbSubDir->setChecked(true);
    h->Back();
    QCOMPARE(f.Synchronizer()->CopyMode(), 0);
    QCOMPARE(f.eFolder1->text(), "/stored1");  // kept: stored by the first Next
    f.eFolder1->setText("/typed");
    h->Next();
    QVERIFY(f.rbBidiret->isChecked());
    QVERIFY(!f.cbSubDir->isChecked());
    QCOMPARE(f.Synchronizer()->Folder1(), "/typed");
    // Back to the Project page and on again makes a fresh project with empty folders.
    h->Back();
    f.eFolder2->setText("/edited");
    h->Back();
    h->Next();
    QCOMPARE(f.eFolder1->text(), "");
    QCOMPARE(f.eFolder2->text(), "");
    QVERIFY(!f.Synchronizer()->Modified());
  }

  void begin_data() {
    QTest::addColumn<bool>("modify");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("page");
    QTest::newRow("unmodified") << false << 0 << int(TVTMainForm::pgProject);
    QTest::newRow("cancel") << true << mrCancel << int(TVTMainForm::pgResults);
    QTest::newRow("no") << true << mrNo << int(TVTMainForm::pgProject);
  }
  void begin() {
    QFETCH(bool, modify);
    QFETCH(int, answer);
    QFETCH(int, page);
    TVTMainForm& f = h->Show();
    RunNewProject();
    if (!modify) {
      h->prompts.projectNames = {"Saved"};
      MainFormHarness::Click(f.bSave);
    }
    f.rbExisting->setChecked(true);
    h->prompts.log.clear();
    h->prompts.yesNoCancelAnswers = {answer};
    h->Back();
    QCOMPARE(h->Page(), page);
    QCOMPARE(h->prompts.log, modify ? QStringList{"AskYesNoCancel: Save Project?"} : QStringList{});
    QCOMPARE(h->RowNames(), modify ? QStringList{} : QStringList{"Saved"});
    if (page == TVTMainForm::pgProject) {
      QCOMPARE(f.Label6->text(), "1. Project");
      QVERIFY(!f.bNext->isEnabled());  // "Open an Existing Project" kept, and no row selected
    }
  }

  // Enter presses the default button, but not where a button or a multi-line field has focus.
  void enterKey() {
    TVTMainForm& f = h->Show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.RadioButton1->setFocus();
    QTest::keyClick(f.RadioButton1, Qt::Key_Return);
    QCOMPARE(h->Page(), int(TVTMainForm::pgFolders));
    f.eFolder1->setText("/a");
    f.eFolder2->setText("/b");
    f.eFolder2->setFocus();
    QTest::keyClick(f.eFolder2, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(h->Page(), int(TVTMainForm::pgMode));
    QTest::keyClick(f.cbSubDir, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(h->Page(), int(TVTMainForm::pgMode));
    f.bBack->setFocus();
    QTest::keyClick(f.bBack, Qt::Key_Return);
    QCOMPARE(h->Page(), int(TVTMainForm::pgFolders));
    h->Next();
    h->Next();
    f.mReadyText->setFocus();
    QTest::keyClick(f.mReadyText, Qt::Key_Return);
    QCOMPARE(h->Page(), int(TVTMainForm::pgReady));
  }
};

VANTREL_UI_TEST(MainFormNavigation)
#include "tst_mainform_navigation.moc"
