// The run through the window: a whole exact-copy run end to end, stopping it, the throttled
// progress display, an invalid mask, a close during the run, and the animation.
#include <QApplication>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include "UiTestMain.h"
#include "common/ModalResult.h"
#include "storage/ProjectLock.h"
#include "support/MainFormHarness.h"
#include "support/ModalDriver.h"
#include "ui/QtPrompts.h"
#include "ui/ResultHighlighter.h"
#include "ui/SyncAnimation.h"
#include "ui/uConfirmDelete.h"

using namespace vantrel;
using vantrel::test::MainFormHarness;

class MainFormRun : public QObject {
  Q_OBJECT
  std::unique_ptr<MainFormHarness> h;
  QString one, two;

  // A new unidirectional project over `one` (ten files) and `two`, on the Ready page.
  void ReadyToGo(bool advanced = false) {
    one = h->MakeDir("one");
    two = h->MakeDir("two");
    for (int i = 0; i < 10; ++i) MainFormHarness::WriteFile(one + QString("/f%1.txt").arg(i), "x");
    h->NewProjectToMode(one, two);
    h->form->rbUnidirect->setChecked(true);
    h->form->cbAdvanced->setChecked(advanced);
    h->Next();
    if (advanced) h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgReady));
  }
  int CopiedFiles() const { return int(QDir(two).entryList(QDir::Files).size()); }

 private slots:
  void init() { h = std::make_unique<MainFormHarness>(); }
  void cleanup() { h.reset(); }

  void wholeRunEndToEnd() {
    const QString source = h->MakeDir("src");
    const QString target = h->MakeDir("dst");
    QDir().mkpath(source + "/sub");
    MainFormHarness::WriteFile(source + "/a.txt", "a");
    MainFormHarness::WriteFile(source + "/sub/b.txt", "b");
    MainFormHarness::WriteFile(source + "/skip.txt", "s");
    MainFormHarness::WriteFile(source + "/c.doc", "c");
    MainFormHarness::WriteFile(target + "/extra.txt", "e");
    TVTMainForm& f = h->Show();
    h->Next();
    QTest::keyClicks(f.eFolder1, source);
    QTest::keyClicks(f.eFolder2, target);
    h->Next();
    MainFormHarness::Click(f.rbUnidirect);
    h->prompts.yesNoAnswers = {true};
    MainFormHarness::Click(f.cbExactCopy);
    MainFormHarness::Click(f.cbSubDir);
    MainFormHarness::Click(f.cbAdvanced);
    h->Next();
    f.eIncludeMask->setText("*.txt");
    f.eExcludeMask->setText("skip*.*");
    h->Next();
    const QString summary = "Folders:\n  1-st folder: " + source + "\n  2-nd folder: " + target +
                            "\n\nSyncronize mode:\n  Unidirectional (exact copy) with subfolders"
                            "\n\nInclude files: *.txt\nExclude files: skip*.*\n";
    QCOMPARE(f.mReadyText->toPlainText(), summary);
    QCOMPARE(f.bNext->text(), "Go!");

    h->prompts.removalAnswers = {mrYes};
    h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
    QCOMPARE(h->prompts.log.filter("ConfirmRemoval").size(), 1);
    QVERIFY(h->prompts.log.filter("ConfirmRemoval")[0].endsWith("extra.txt"));
    QVERIFY(QFile::exists(target + "/a.txt") && QFile::exists(target + "/sub/b.txt"));
    QVERIFY(!QFile::exists(target + "/skip.txt") && !QFile::exists(target + "/c.doc"));
    QVERIFY(!QFile::exists(target + "/extra.txt"));
    QCOMPARE(MainFormHarness::CrLf(f.mResult),
             QString::fromStdString(f.Synchronizer()->GetResultText()));
    QVERIFY(f.mResult->toPlainText().contains("extra.txt"));

    QVERIFY(f.bSave->isEnabled());
    h->prompts.projectNames = {"My sync"};
    MainFormHarness::Click(f.bSave);
    QVERIFY(!f.bSave->isEnabled());
    const QString file = QString::fromStdString(f.Synchronizer()->FileName());
    QCOMPARE(MainFormHarness::LoadedName(file), "My sync");
    h->Back();  // "Begin": nothing to ask
    QCOMPARE(h->Page(), int(TVTMainForm::pgProject));
    QCOMPARE(h->RowNames(), QStringList{"My sync"});
    QCOMPARE(h->Row(0)->text(1), "Folder \"" + source + "\" and \"" + target + "\"");
    QCOMPARE(h->prompts.log.filter("AskYesNoCancel").size(), 0);
  }

  // A run's result lines go into a document of their own beside the run: the field shows it
  // as it shows a text put in, in the field's font, with its failure lines marked, and a
  // second run's document takes the place of the first's.
  void resultDocumentBuiltBesideTheRun() {
    TVTMainForm& f = h->Show();
    f.mResult->setFont(QFont("Monospace", 15));  // not the document's default
    const QTextDocument* own = f.mResult->document();
    const QFont font = own->defaultFont();
    QCOMPARE(font.pointSize(), 15);
    const QTextOption::WrapMode wrap = own->defaultTextOption().wrapMode();
    const qreal margin = own->documentMargin();
    const auto blocks = [&f](bool marks) {
      QList<bool> list;
      for (QTextBlock b = f.mResult->document()->begin(); b.isValid(); b = b.next()) {
        list << (marks ? !b.layout()->formats().isEmpty()
                       : TResultHighlighter::IsFailureLine(b.text()));
      }
      return list;
    };
    for (const bool stop : {false, true}) {
      const QString name = stop ? "stopped" : "whole";
      const QString source = h->MakeDir(name + "1");
      for (int i = 0; i < 10; ++i) MainFormHarness::WriteFile(source + QString("/f%1").arg(i), "x");
      h->NewProjectToMode(source, h->MakeDir(name + "2"));
      h->form->rbUnidirect->setChecked(true);
      h->Next();
      int ticks = 0;
      h->tickStep = stop ? 100 : 0;
      h->onTick = [&] {
        if (stop && ++ticks == 3) QTimer::singleShot(0, f.BitBtn3, &QPushButton::click);
      };
      h->prompts.yesNoAnswers = {true};
      h->Next();
      QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
      QCOMPARE(MainFormHarness::CrLf(f.mResult),
               QString::fromStdString(f.Synchronizer()->GetResultText()));
      QVERIFY(f.mResult->document() != own);
      QCOMPARE(f.mResult->document()->defaultFont(), font);
      QCOMPARE(f.mResult->document()->defaultTextOption().wrapMode(), wrap);
      QCOMPARE(f.mResult->document()->documentMargin(), margin);
      QCOMPARE(blocks(false).contains(true), stop);
      QTRY_COMPARE(blocks(true), blocks(false));
      h->onTick = nullptr;
      h->prompts.yesNoCancelAnswers = {mrNo};  // "Save Project?"
      h->Back();                               // "Begin"
      QCOMPARE(h->Page(), int(TVTMainForm::pgProject));
    }
  }

  // Another program running the same project holds its lock: an error box, and nothing done.
  void refusedWhileAnotherRunHoldsTheProject() {
    TVTMainForm& f = h->Show();
    ReadyToGo();
    ProjectLock other(f.Synchronizer()->FileName());
    QVERIFY(other.TryLock());
    h->Next();
    QCOMPARE(h->prompts.errors.size(), 1);
    QVERIFY(h->prompts.errors[0].contains("being run by another program"));
    QCOMPARE(h->Page(), int(TVTMainForm::pgReady));
    QCOMPARE(CopiedFiles(), 0);
    other.Unlock();
    h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
    QCOMPARE(CopiedFiles(), 10);
    // The run let go of the lock: the next one can take it.
    QVERIFY(other.TryLock());
  }

  void nothingToDo() {
    TVTMainForm& f = h->Show();
    h->NewProjectToMode(h->MakeDir("e1"), h->MakeDir("e2"));
    h->Next();
    h->Next();
    QCOMPARE(f.mResult->toPlainText(), "No files processed ... ");
  }

  void cancelDuringRun_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
  }
  void cancelDuringRun() {
    QFETCH(bool, yes);
    TVTMainForm& f = h->Show();
    ReadyToGo();
    h->tickStep = 100;
    int ticks = 0;
    h->onTick = [&] {
      if (++ticks == 3) QTimer::singleShot(0, f.BitBtn3, &QPushButton::click);
    };
    h->prompts.yesNoAnswers = {yes};
    h->Next();
    QCOMPARE(h->prompts.log.filter("AskYesNo: Are You sure to stop Synchronization?").size(), 1);
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
    QCOMPARE(CopiedFiles(), yes ? 3 : 10);
    QCOMPARE(f.mResult->toPlainText().contains("Terminated by user"), yes);
    QCOMPARE(MainFormHarness::CrLf(f.mResult),
             QString::fromStdString(f.Synchronizer()->GetResultText()));
  }

  // Texts 70 ms or less after the last shown one are dropped, by the unsigned 32-bit difference.
  void progressThrottling_data() {
    QTest::addColumn<QList<uint>>("ticks");
    QTest::addColumn<QString>("shown");  // lCurrent after each, "-" when dropped
    QTest::newRow("first after start") << QList<uint>{71} << "0";
    QTest::newRow("too early after start") << QList<uint>{70, 5} << "--";
    QTest::newRow("70 dropped, 71 shown") << QList<uint>{1000, 1070, 1071, 1100, 1142} << "0-2-4";
    QTest::newRow("wrap-around") << QList<uint>{0xFFFFFFF0u, 0x30u, 0x37u} << "0-2";
  }
  void progressThrottling() {
    QFETCH(QList<uint>, ticks);
    QFETCH(QString, shown);
    TVTMainForm& f = h->Show();
    QList<uint> queue = ticks;
    f.SetTickClock([&] { return std::uint32_t(queue.takeFirst()); });
    TFolderSynchronizer sender("");
    QString seen;
    for (int i = 0; i < ticks.size(); ++i) {
      bool ranEvents = false;
      QTimer::singleShot(0, [&] { ranEvents = true; });
      f.SyncProgress(sender, QString::number(i).toStdString());
      const bool wasShown = f.lCurrent->text() == QString::number(i);
      QCOMPARE(ranEvents, wasShown);  // events run exactly when a text is shown
      if (wasShown) QCOMPARE(f.LastProgressTick, ticks[i]);
      seen += wasShown ? QString::number(i) : "-";
      QCoreApplication::processEvents();
    }
    QCOMPARE(seen, shown);
  }

  // The bad mask is first reached by the removal pass, after the copy pass copied f1.txt.
  void invalidMaskEndsOnResults() {
    const QString a = h->MakeDir("a"), b = h->MakeDir("b");
    MainFormHarness::WriteFile(a + "/f1.txt", "1");
    MainFormHarness::WriteFile(b + "/zz.txt", "z");
    TVTMainForm& f = h->Show();
    h->NewProjectToMode(a, b);
    MainFormHarness::Click(f.rbUnidirect);
    h->prompts.yesNoAnswers = {true};
    MainFormHarness::Click(f.cbExactCopy);
    MainFormHarness::Click(f.cbAdvanced);
    h->Next();
    f.eIncludeMask->setText("f1.*, [abc.");
    h->Next();
    h->Next();
    QCOMPARE(h->prompts.errors.size(), 1);
    QVERIFY2(h->prompts.errors[0].contains("[abc."), qPrintable(h->prompts.errors[0]));
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
    QVERIFY(!f.Animate1->Active());
    QVERIFY(f.bClose->isEnabled());
    QCOMPARE(f.bBack->text(), "Begin");
    QVERIFY(QFile::exists(b + "/f1.txt") && QFile::exists(b + "/zz.txt"));
    const QString shown = MainFormHarness::CrLf(f.mResult);
    QVERIFY2(shown.startsWith("'[abc.' is an invalid mask"), qPrintable(shown));
    QVERIFY(shown.endsWith(QString::fromStdString(f.Synchronizer()->GetResultText())));
    QVERIFY(f.mResult->toPlainText().contains("f1.txt"));
  }

  // A refused pair says why on the Results page instead of "No files processed".
  void refusedRunShowsWhyOnResults() {
    const QString a = h->MakeDir("a");
    TVTMainForm& f = h->Show();
    h->NewProjectToMode(a, a + "/inner");
    h->Next();
    h->Next();
    QCOMPARE(h->prompts.errors.size(), 1);
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
    const QString why = "Cannot synchronize \"" + a + "\" with \"" + a +
                        "/inner\": one folder contains the other\r\n";
    QCOMPARE(MainFormHarness::CrLf(f.mResult), why);
    QVERIFY(!QFile::exists(a + "/inner"));
  }

  // A close granted during the run stops it at its next file and ends the application when the
  // run returns.
  void closeDuringRun() {
    TVTMainForm& f = h->Show();
    ReadyToGo();
    h->tickStep = 100;
    int ticks = 0;
    bool animated = false;
    h->onTick = [&] {
      animated = animated || f.Animate1->Active();
      if (++ticks == 2) QTimer::singleShot(0, &f, &QWidget::close);
    };
    h->prompts.yesNoCancelAnswers = {mrNo};
    QTimer::singleShot(0, [&] { h->Next(); });
    QTimer safety;
    safety.setSingleShot(true);
    connect(&safety, &QTimer::timeout, [&] { QCoreApplication::exit(1); });
    safety.start(20000);
    QCOMPARE(QApplication::exec(), 0);  // ended by the window's close, not by the safety timer
    QVERIFY(!f.isVisible());
    QVERIFY(animated);
    QCOMPARE(h->prompts.log.filter("AskYesNoCancel").size(), 1);
    QCOMPARE(CopiedFiles(), 2);
    QVERIFY(!f.Running());
    QVERIFY(!f.Animate1->Active());
  }

  // The real dialogs, opened from inside the run (the removal question comes from the engine).
  void realDialogsInsideTheRun() {
    const QString a = h->MakeDir("a"), b = h->MakeDir("b");
    MainFormHarness::WriteFile(a + "/keep.txt", "k");
    MainFormHarness::WriteFile(b + "/extra.txt", "e");
    QtPrompts prompts;
    TVTMainForm f(prompts);
    prompts.SetParent(&f);
    f.show();
    test::ModalDriver driver;
    driver.On<QMessageBox>(driver.Click("&Yes"), "Confirmation")
        .On<TConfirmForm>(driver.Click("bYes"));
    MainFormHarness::Click(f.bNext);
    f.eFolder1->setText(a);
    f.eFolder2->setText(b);
    MainFormHarness::Click(f.bNext);
    MainFormHarness::Click(f.rbUnidirect);
    MainFormHarness::Click(f.cbExactCopy);
    QVERIFY(f.cbExactCopy->isChecked());
    MainFormHarness::Click(f.bNext);
    MainFormHarness::Click(f.bNext);
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(f.PageControl1->currentIndex(), int(TVTMainForm::pgResults));
    QVERIFY(QFile::exists(b + "/keep.txt"));
    QVERIFY(!QFile::exists(b + "/extra.txt"));
  }

  void animationFrames() {
    TSyncAnimation animation;
    QVERIFY(!animation.Open("OTHER"));
    QCOMPARE(animation.FrameCount(), 0);
    QVERIFY(animation.Open("SYNC"));
    QCOMPARE(animation.size(), QSize(208, 40));
    QCOMPARE(animation.FrameCount(), 20);
    QSet<QByteArray> distinct;
    for (int i = 0; i < 20; ++i) {
      const QImage frame = TSyncAnimation::RenderSyncFrame(i);
      QCOMPARE(frame.size(), QSize(208, 40));
      QCOMPARE(qAlpha(frame.pixel(0, 0)), 0);
      QCOMPARE(qAlpha(frame.pixel(100, 39)), 0);
      distinct.insert(
          QByteArray(reinterpret_cast<const char*>(frame.constBits()), frame.sizeInBytes()));
    }
    QCOMPARE(distinct.size(), 20);
    animation.Play();
    QVERIFY(animation.Active());
    QTRY_VERIFY_WITH_TIMEOUT(animation.CurrentFrame() >= 2, 2000);
    animation.Stop();
    const int stopped = animation.CurrentFrame();
    QTest::qWait(250);
    QCOMPARE(animation.CurrentFrame(), stopped);
  }
};

VANTREL_UI_TEST(MainFormRun)
#include "tst_mainform_run.moc"
