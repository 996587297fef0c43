// The Preview dialog, the live counts of the Please wait page, the Results header and its
// highlighted failure lines, the focus on each page, and the web link's failure.
#include <QApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTextBlock>
#include <QTextLayout>

#include "UiTestMain.h"
#include "common/ModalResult.h"
#include "support/MainFormHarness.h"
#include "support/ModalDriver.h"
#include "ui/ResultHighlighter.h"
#include "ui/RunSummaryText.h"
#include "ui/UPlanModel.h"
#include "ui/UPreviewDialog.h"

using namespace vantrel;
using vantrel::test::MainFormHarness;

class PreviewWindow : public QObject {
  Q_OBJECT
  std::unique_ptr<MainFormHarness> h;
  QString one, two;

  // An exact-copy project on the Ready page: a.txt (3 bytes) and sub/b.txt (5 bytes) to copy,
  // old.txt (4 bytes) to remove.
  void ReadyToGo() {
    one = h->MakeDir("one");
    two = h->MakeDir("two");
    MainFormHarness::WriteFile(one + "/a.txt", "aaa");
    QDir().mkpath(one + "/sub");
    MainFormHarness::WriteFile(one + "/sub/b.txt", "bbbbb");
    MainFormHarness::WriteFile(two + "/old.txt", "oooo");
    h->Show();
    h->NewProjectToMode(one, two);
    h->form->rbUnidirect->setChecked(true);
    h->prompts.yesNoAnswers = {true};
    h->form->cbExactCopy->setChecked(true);
    h->form->cbSubDir->setChecked(true);
    h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgReady));
  }
  static QStringList Column(QAbstractItemModel* model, int column) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) {
      texts << model->index(row, column).data().toString();
    }
    return texts;
  }
  static TPreviewDialog* FinishedPreview(QWidget* w) {
    auto* dialog = qobject_cast<TPreviewDialog*>(w);
    return dialog != nullptr && dialog->Finished() ? dialog : nullptr;
  }

 private slots:
  void init() { h = std::make_unique<MainFormHarness>(); }
  void cleanup() { h.reset(); }

  void previewShowsThePlanAndChangesNothing() {
    ReadyToGo();
    QStringList totals, actions, paths, sizes, sortedSizes;
    test::ModalDriver driver;
    driver.Then([](QWidget* w) { return FinishedPreview(w) != nullptr; },
                [&](QWidget* w) {
                  TPreviewDialog* dialog = FinishedPreview(w);
                  totals << dialog->lPreviewTotals->text();
                  actions = Column(dialog->Model(), TPlanModel::colAction);
                  paths = Column(dialog->Model(), TPlanModel::colPath);
                  sizes = Column(dialog->Model(), TPlanModel::colSize);
                  dialog->tvPreviewPlan->sortByColumn(TPlanModel::colSize, Qt::DescendingOrder);
                  sortedSizes = Column(dialog->Model(), TPlanModel::colSize);
                  QTest::mouseClick(dialog->bPreviewClose, Qt::LeftButton);
                },
                "finished preview");
    QTest::mouseClick(h->form->bPreview, Qt::LeftButton);
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(totals, QStringList{"Copy 2 files (8 bytes) to Folder 2 \u00b7 remove 1 file "
                                 "(4 bytes) from Folder 2"});
    // The folder is made before its file; the file order within a folder is the file system's.
    QCOMPARE(actions.size(), 4);
    QVERIFY(actions.contains("Create folder in Folder 2"));
    QCOMPARE(actions.last(), "Remove file");
    // Paths are shown below their top folder.
    QCOMPARE(paths.last(), "old.txt");
    const int folder = int(paths.indexOf("sub"));
    QVERIFY(folder >= 0 && paths.indexOf("sub/b.txt") == folder + 1);
    QCOMPARE(sortedSizes, (QStringList{"5 bytes", "4 bytes", "3 bytes", ""}));
    QCOMPARE(h->Page(), int(TVTMainForm::pgReady));
    QVERIFY(!QFile::exists(two + "/a.txt") && QFile::exists(two + "/old.txt"));
    QVERIFY(h->prompts.log.filter("ConfirmRemoval").isEmpty());
    QCOMPARE(h->form->focusWidget(), h->form->bPreview);
    QCOMPARE(h->form->bNext->text(), "Go!");
  }

  void cancelStopsThePreviewAndAClosedOneReturns() {
    ReadyToGo();
    for (int i = 0; i < 20; ++i) MainFormHarness::WriteFile(one + QString("/m%1").arg(i), "m");
    h->tickStep = 100;  // every progress text is shown
    bool cancelled = false;
    h->onTick = [&] {
      auto* dialog = qobject_cast<TPreviewDialog*>(QApplication::activeModalWidget());
      if (dialog != nullptr && !cancelled) {
        cancelled = true;
        QTest::mouseClick(dialog->bPreviewCancel, Qt::LeftButton);
      }
    };
    QString totals;
    int rows = -1;
    test::ModalDriver driver;
    driver.Then([](QWidget* w) { return FinishedPreview(w) != nullptr; },
                [&](QWidget* w) {
                  totals = FinishedPreview(w)->lPreviewTotals->text();
                  rows = FinishedPreview(w)->Model()->rowCount();
                  FinishedPreview(w)->reject();
                },
                "stopped preview");
    QTest::mouseClick(h->form->bPreview, Qt::LeftButton);
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QVERIFY(cancelled);
    QVERIFY2(totals.startsWith("Stopped, so far: "), qPrintable(totals));
    QVERIFY(rows < 23);
    QCOMPARE(h->Page(), int(TVTMainForm::pgReady));
  }

  void countsLineHeaderAndHighlightedFailures() {
    ReadyToGo();
    MainFormHarness::WriteFile(one + "/c.txt", "c");
    h->form->lCurrent->setText("left from before");
    QStringList counts;
    QString currentAtStart = "unread";
    h->tickStep = 100;
    h->onTick = [&] {
      if (h->Page() != TVTMainForm::pgWait) return;
      if (currentAtStart == "unread") currentAtStart = h->form->lCurrent->text();
      counts << h->form->lCounts->text();
    };
    h->prompts.removalAnswers = {mrYes};
    h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
    QCOMPARE(currentAtStart, QString());
    QVERIFY(!counts.isEmpty());
    QCOMPARE(counts.first(),
             "Looked at 0 \u00b7 copied 0 (0 bytes) \u00b7 removed 0 \u00b7 failed 0 \u00b7 0:00");
    QVERIFY2(counts.last().contains("copied 3 (9 bytes)"), qPrintable(counts.join(" | ")));
    QCOMPARE(h->form->Label7->text(), "3 copied (9 bytes), 1 removed, 0 failed, in 0:00");
    QCOMPARE(h->form->focusWidget(), h->form->bSave);

    // A failure line stands out; the text stays as the log has it.
    const QString text =
        "Copy file \"a\" to \"b\"\nCannot copy file \"x\" to \"y\": Permission "
        "denied\nTerminated by user";
    h->form->ShowResultText(text);
    QCOMPARE(h->form->mResult->toPlainText(), text);
    QTextDocument* document = h->form->mResult->document();
    QList<bool> marked;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
      marked << !block.layout()->formats().isEmpty();
    }
    QCOMPARE(marked, (QList<bool>{false, true, true}));
  }

  // The field goes without its highlighter only where the highlighter would mark nothing,
  // whatever breaks the text into lines.
  void highlighterLeftOutOnlyWithoutFailureLines() {
    const QString texts[] = {
        "",
        "Copy file \"a\" to \"b\"\r\nCannot copy file \"x\": Permission denied\r\n",
        "Cannot remove file \"x\"",
        "Copy file \"a\rCannot b\" to \"c\"",
        QString("a") + QChar::ParagraphSeparator + "Terminated by user",
        "Terminated by user\r\n",
        "Terminated by user now\r\nCopy file \"Cannot\" to \"x\"\r\n",
        "xCannot copy\n Cannot copy\nCannot\n",
    };
    QPlainTextEdit field;
    TResultHighlighter highlighter(field.document());
    for (const QString& text : texts) {
      field.setPlainText(text);
      bool marked = false;
      for (QTextBlock block = field.document()->begin(); block.isValid(); block = block.next()) {
        marked = marked || !block.layout()->formats().isEmpty();
      }
      QVERIFY2(TResultHighlighter::AnyFailureLine(text) == marked, qPrintable(text));
    }
    // Only three of the texts hold no failure line.
    int without = 0;
    for (const QString& text : texts) without += !TResultHighlighter::AnyFailureLine(text);
    QCOMPARE(without, 3);
  }

  void summaryTexts() {
    RunSummary s;
    s.toFolder2 = {1234, 45600000};
    s.filesRemoved = 7;
    s.foldersRemoved = 2;
    s.removedBytes = 1200000;
    s.elapsedMs = 42999;
    QCOMPARE(PlanTotalsText(s),
             "Copy 1,234 files (45.6 MB) to Folder 2 \u00b7 remove 7 files and "
             "2 folders (1.2 MB) from Folder 2");
    s.failures = 2;
    QCOMPARE(ResultHeaderText(s), "1,234 copied (45.6 MB), 9 removed, 2 failed, in 0:42");
    s.stopped = true;
    s.elapsedMs = 3723000;
    QCOMPARE(ResultHeaderText(s),
             "Stopped after 1,234 copied (45.6 MB), 9 removed, 2 failed, "
             "in 1:02:03");
    QCOMPARE(PlanTotalsText(RunSummary()), "Nothing to do");
    QCOMPARE(BytesText(999), "999 bytes");
    QCOMPARE(BytesText(999950), "1.0 MB");
    QCOMPARE(CountText(1000000), "1,000,000");
  }

  void focusOnEachPageAndTheListSelectsItsFirstRow() {
    MainFormHarness::SaveProject("B", "Beta");
    MainFormHarness::SaveProject("A", "Alpha", "/f1", "/f2",
                                 [](TFolderSynchronizer& project) { project.SetCopyMode(1); });
    TVTMainForm& f = h->Show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    MainFormHarness::Click(f.rbExisting);
    QVERIFY(f.lvProject->SelectedRow() == nullptr);
    f.lvProject->setFocus();
    QVERIFY(f.lvProject->SelectedRow() == h->Row(0));
    QVERIFY(f.bNext->isEnabled());
    h->Next();
    QCOMPARE(f.focusWidget(), f.eFolder1);
    h->Next();
    QCOMPARE(f.focusWidget(), f.rbUnidirect);  // the stored project is unidirectional
    f.cbAdvanced->setChecked(true);
    h->Next();
    QCOMPARE(f.focusWidget(), f.eIncludeMask);
    h->Back();
    QCOMPARE(f.focusWidget(), f.rbUnidirect);
    h->Back();
    h->Back();
    QCOMPARE(f.focusWidget(), f.rbExisting);
  }

  void webLinkFailureIsShown() {
    TVTMainForm& f = h->Show();
    h->prompts.urlsOpen = false;
    f.Label5Click();
    QCOMPARE(h->prompts.errors,
             QStringList{"Cannot open the web page " + QString(TVTMainForm::kProductUrl)});
  }
};

VANTREL_UI_TEST(PreviewWindow)
#include "tst_preview.moc"
