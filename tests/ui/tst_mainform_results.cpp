// The Results page: saving the results as text, saving the project, and the product link.
#include <QEnterEvent>

#include "UiTestMain.h"
#include "common/ModalResult.h"
#include "support/MainFormHarness.h"

using namespace vantrel;
using vantrel::test::MainFormHarness;

class MainFormResults : public QObject {
  Q_OBJECT
  std::unique_ptr<MainFormHarness> h;

  // Runs the project (a new one when `file` is empty) over two folders, one file to copy.
  void RunToResults(const QString& file = QString()) {
    TVTMainForm& f = *h->form;
    const QString one = h->MakeDir("one");
    MainFormHarness::WriteFile(one + "/a.txt", "a");
    if (file.isEmpty()) {
      h->NewProjectToMode(one, h->MakeDir("two"));
    } else {
      f.rbExisting->setChecked(true);
      f.lvProject->setCurrentItem(h->Row(0));
      h->Next();
      h->Next();
    }
    h->Next();
    if (h->Page() == TVTMainForm::pgAdvanced) h->Next();
    h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
  }

 private slots:
  void init() { h = std::make_unique<MainFormHarness>(); }
  void cleanup() { h.reset(); }

  void saveResults_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("no extension") << "log"
                                  << "log.txt"
                                  << "one\ntwo\n"
                                  << QByteArray("one\r\ntwo\r\n");
    QTest::newRow("own extension") << "log.csv"
                                   << "log.csv"
                                   << "one\ntwo" << QByteArray("one\r\ntwo\r\n");
    QTest::newRow("empty") << "empty.txt"
                           << "empty.txt"
                           << "" << QByteArray();
    QTest::newRow("blank lines kept") << "b"
                                      << "b.txt"
                                      << "\n\nx\n\n"
                                      << QByteArray("\r\n\r\nx\r\n\r\n");
    QTest::newRow("utf-8") << "u"
                           << "u.txt" << QString::fromUtf8("Grüße\n")
                           << QByteArray(
                                  "Gr\xC3\xBC\xC3\x9F"
                                  "e\r\n");
  }
  void saveResults() {
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    TVTMainForm& f = h->Show();
    RunToResults();
    const QString folder = h->MakeDir("out");
    MainFormHarness::WriteFile(folder + "/" + written, "old content to be replaced entirely");
    f.mResult->setPlainText(text);  // what the user sees and may have edited
    h->prompts.saveFileNames = {folder + "/" + typed};
    MainFormHarness::Click(f.Button2);
    QCOMPARE(MainFormHarness::ReadFile(folder + "/" + written), bytes);
    QVERIFY(h->prompts.errors.isEmpty());
  }

  void saveResultsAsTheRunLeftThem() {
    TVTMainForm& f = h->Show();
    RunToResults();
    const QString file = h->data.filePath("results.txt");
    h->prompts.saveFileNames = {QString(), file};
    MainFormHarness::Click(f.Button2);  // cancelled: nothing written
    QVERIFY(!QFile::exists(file));
    MainFormHarness::Click(f.Button2);
    QCOMPARE(MainFormHarness::ReadFile(file).toStdString(), f.Synchronizer()->GetResultText());
    // A file that cannot be written shows the error and keeps the results.
    h->prompts.saveFileNames = {h->data.filePath("missing/folder/r.txt")};
    MainFormHarness::Click(f.Button2);
    QCOMPARE(h->prompts.errors.size(), 1);
    QVERIFY(h->prompts.errors[0].startsWith("Cannot create file \""));
    QCOMPARE(h->Page(), int(TVTMainForm::pgResults));
    QVERIFY(!f.mResult->toPlainText().isEmpty());
  }

  void saveProjectButton_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("new project") << "new" << true;
    QTest::newRow("saved, unchanged") << "" << false;
    QTest::newRow("saved, hidden only") << "hidden" << false;
    QTest::newRow("saved, subfolders") << "subfolders" << true;
  }
  void saveProjectButton() {
    QFETCH(QString, change);
    QFETCH(bool, enabled);
    QString file;
    if (change != "new") {
      file = MainFormHarness::SaveProject("AAAAAAAA", "Named", h->data.filePath("one"),
                                          h->data.filePath("two"), [](TFolderSynchronizer& p) {
                                            p.SetCopyMode(1);
                                            p.SetAdvancedOptions(true);
                                            p.SetIncludeText("*.*");
                                          });
    }
    TVTMainForm& f = h->Show();
    // The change is made on its page while the run is prepared.
    auto onPage = [&](int page) {
      if (page == TVTMainForm::pgMode && change == "subfolders") f.cbSubDir->setChecked(true);
      if (page == TVTMainForm::pgAdvanced && change == "hidden") f.cbHidden->setChecked(true);
    };
    connect(f.PageControl1, &QStackedWidget::currentChanged, &f, onPage);
    RunToResults(file);
    QCOMPARE(f.bSave->isEnabled(), enabled);
    if (!enabled) return;
    h->prompts.projectNames = {"Asked"};
    MainFormHarness::Click(f.bSave);
    QVERIFY(!f.bSave->isEnabled());
    QCOMPARE(h->prompts.log.contains("InputProjectName"), change == "new");
    QCOMPARE(MainFormHarness::LoadedName(QString::fromStdString(f.Synchronizer()->FileName())),
             change == "new" ? "Asked" : "Named");
  }

  void productLink() {
    TVTMainForm& f = h->Show();
    const QColor teal(0, 128, 128), navy(0, 0, 128);
    QCOMPARE(f.Label5->palette().color(QPalette::WindowText), teal);
    QVERIFY(f.Label5->font().bold());
    QCOMPARE(f.Label5->font().pixelSize(), 13);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(f.Label5, &enter);
    QCOMPARE(f.Label5->palette().color(QPalette::WindowText), navy);
    QVERIFY(f.Label5->font().underline());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(f.Label5, &leave);
    QCOMPARE(f.Label5->palette().color(QPalette::WindowText), teal);
    QVERIFY(!f.Label5->font().underline());

    RunToResults();
    for (QWidget* w :
         {f.Panel4, static_cast<QWidget*>(f.Image2), static_cast<QWidget*>(f.Label5)}) {
      QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(3, 3));
      QCOMPARE(w->cursor().shape(), Qt::PointingHandCursor);
    }
    const QUrl link("https://www.brisklet.example/download?ref=vantrel");
    QCOMPARE(h->prompts.openedUrls, QList<QUrl>({link, link, link}));
    QCOMPARE(f.Panel4->toolTip(), "https://www.brisklet.example/");
    QCOMPARE(f.Image2->toolTip(), "https://www.brisklet.example/");
  }
};

VANTREL_UI_TEST(MainFormResults)
#include "tst_mainform_results.moc"
