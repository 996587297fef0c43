// The wizard window at first show, when it closes, and how it shows errors and messages.
#include "UiTestMain.h"
#include "common/MessageHook.h"
#include "common/ModalResult.h"
#include "support/MainFormHarness.h"
#include "ui/SyncAnimation.h"

using namespace vantrel;
using vantrel::test::MainFormHarness;

class MainFormStart : public QObject {
  Q_OBJECT
  std::unique_ptr<MainFormHarness> h;

 private slots:
  void init() { h = std::make_unique<MainFormHarness>(); }
  void cleanup() { h.reset(); }

  void firstShow() {
    const QString first = MainFormHarness::SaveProject("AAAAAAAA", "beta", "/b1", "/b2");
    const QString second = MainFormHarness::SaveProject("BBBBBBBB", "Alpha", "/a1", "/a2");
    TVTMainForm& f = h->Show();
    QCOMPARE(f.windowTitle(), "Vantrel 1.2");
    QCOMPARE(f.size(), QSize(542, 378));
    QCOMPARE(f.minimumSize(), f.maximumSize());
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(h->Page(), 0);
    QCOMPARE(f.Label6->text(), "1. Project");
    QCOMPARE(f.Label7->text(), "Creating a new project or open an existing one.");
    QVERIFY(!f.bBack->isEnabled());
    QVERIFY(f.bNext->isEnabled());
    QVERIFY(f.bClose->isEnabled());
    QCOMPARE(f.bNext->text(), "Next >>");
    QCOMPARE(f.focusWidget(), f.RadioButton1);
    QVERIFY(f.RadioButton1->isChecked());
    QVERIFY(!f.lvProject->isEnabled());

    const QStringList sheets = {"TabSheet1", "TabSheet2", "TabSheet4", "TabSheet5",
                                "TabSheet3", "TabSheet7", "TabSheet6"};
    for (int i = 0; i < sheets.size(); ++i) {
      QCOMPARE(f.PageControl1->widget(i)->objectName(), sheets[i]);
    }

    // Both files listed, in name order, with their descriptions; none selected.
    QCOMPARE(h->RowNames(), QStringList({"Alpha", "beta"}));
    QCOMPARE(h->Row(0)->text(1), "Folder \"/a1\" and \"/a2\"");
    QCOMPARE(TProjectListView::RowFileName(h->Row(1)), first.toStdString());
    QVERIFY(f.lvProject->selectedItems().isEmpty());
    // The current project is the last one loaded, unchanged.
    QVERIFY(f.Synchronizer() != nullptr);
    QVERIFY(!f.Synchronizer()->Modified());
    QVERIFY(f.Synchronizer()->FileName() == first.toStdString() ||
            f.Synchronizer()->FileName() == second.toStdString());

    // The animation is loaded but idle, centred; the link label is two lines high.
    QCOMPARE(f.Animate1->geometry(), QRect(167, 16, 208, 40));
    QCOMPARE(f.Animate1->FrameCount(), 20);
    QVERIFY(!f.Animate1->Active());
    QCOMPARE(f.Label5->toolTip(), "https://www.brisklet.example/download?ref=vantrel");
    const QFontMetrics metrics(f.Label5->font());
    QVERIFY(f.Label5->height() >= 2 * metrics.height());
    QVERIFY(f.Label5->height() >= metrics.size(0, f.Label5->text()).height());
    QVERIFY(h->prompts.log.isEmpty());
  }

  void firstShowWithoutProjects() {
    TVTMainForm& f = h->Show();
    QCOMPARE(f.lvProject->topLevelItemCount(), 0);
    QVERIFY(f.Synchronizer() == nullptr);
  }

  // How a close request ends, by the state of the project and the answers given.
  void close_data() {
    QTest::addColumn<bool>("modify");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("nameAnswer");  // null: Cancel in the name box
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("savedName");  // null: no file written
    QTest::newRow("unchanged") << false << 0 << QString() << true << QString();
    QTest::newRow("cancel") << true << mrCancel << QString() << false << QString();
    QTest::newRow("no") << true << mrNo << QString() << true << QString();
    QTest::newRow("yes, named") << true << mrYes << "Mine" << true << "Mine";
    QTest::newRow("yes, name cancelled") << true << mrYes << QString() << true << "<Empty Name>";
    QTest::newRow("yes, empty name") << true << mrYes << "" << true << "";
  }
  void close() {
    QFETCH(bool, modify);
    QFETCH(int, answer);
    QFETCH(QString, nameAnswer);
    QFETCH(bool, closes);
    QFETCH(QString, savedName);
    TVTMainForm& f = h->Show();
    if (modify) h->NewProjectToMode("/x1", "/x2");
    const int page = h->Page();
    h->prompts.yesNoCancelAnswers = {answer};
    h->prompts.projectNames = {nameAnswer};
    QCOMPARE(f.close(), closes);
    QCOMPARE(f.isVisible(), !closes);
    QCOMPARE(h->prompts.log.contains("AskYesNoCancel: Save Project?"), modify);
    if (!closes) QCOMPARE(h->Page(), page);
    const QString file =
        f.Synchronizer() ? QString::fromStdString(f.Synchronizer()->FileName()) : QString();
    QCOMPARE(QFile::exists(file), !savedName.isNull());
    if (!savedName.isNull()) {
      QCOMPARE(MainFormHarness::LoadedName(file), savedName.toStdString());
      QVERIFY(!f.Synchronizer()->Modified());
    }
  }

  void saveErrorRefusesClose() {
    TVTMainForm& f = h->Show();
    h->NewProjectToMode("/x1", "/x2");
    QVERIFY(QDir(MainFormHarness::ProjectsDir()).removeRecursively());
    h->prompts.yesNoCancelAnswers = {mrYes};
    h->prompts.projectNames = {"Name"};
    QVERIFY(!f.close());
    QVERIFY(f.isVisible());
    QCOMPARE(h->prompts.errors.size(), 1);
    QVERIFY(h->prompts.errors[0].endsWith('.'));
    QVERIFY(f.Synchronizer()->Modified());
  }

  void errorBoxText_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "File name is empty"
                            << "File name is empty.";
    QTest::newRow("digit") << "at (6"
                           << "at (6.";
    QTest::newRow("point") << "Done."
                           << "Done.";
    QTest::newRow("exclamation") << "Stop!"
                                 << "Stop!";
    QTest::newRow("parenthesis") << "at (6)"
                                 << "at (6)";
    QTest::newRow("quote") << "file \"a\""
                           << "file \"a\"";
    QTest::newRow("blank") << "trailing "
                           << "trailing ";
    QTest::newRow("minus, below the point") << "a -"
                                            << "a -";
    QTest::newRow("slash, above the point") << "/tmp/"
                                            << "/tmp/.";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Fehler ä") << QString::fromUtf8("Fehler ä.");
    QTest::newRow("empty") << ""
                           << "";
  }
  void errorBoxText() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorBoxText(message), shown);
    TVTMainForm& f = h->Show();
    f.Guard([&] { throw std::runtime_error(message.toStdString()); });
    QCOMPARE(h->prompts.errors, QStringList{shown});
  }

  void coreMessagesGoToTheMessageBox() {
    std::string seen;
    const MessageHook before = SetMessageHook([&](const std::string& m) { seen = m; });
    {
      TVTMainForm& f = h->Show();
      (void)f;
      ShowMessage("Unknown type 'BLOB'");
      QCOMPARE(h->prompts.messages, QStringList{"Unknown type 'BLOB'"});
      h->form.reset();
    }
    ShowMessage("after");
    QCOMPARE(seen, "after");
    SetMessageHook(before);
  }
};

VANTREL_UI_TEST(MainFormStart)
#include "tst_mainform_start.moc"
