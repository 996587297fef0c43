// The Project page: the enabling rule, the list and its order, renaming in place, removal,
// unreadable project files, and what Next makes.
#include <QHeaderView>

#include "UiTestMain.h"
#include "common/ModalResult.h"
#include "support/MainFormHarness.h"

using namespace vantrel;
using vantrel::test::MainFormHarness;

class MainFormProject : public QObject {
  Q_OBJECT
  std::unique_ptr<MainFormHarness> h;

  QString Enabled() const {
    const TVTMainForm& f = *h->form;
    QString s;
    for (const QWidget* w :
         {static_cast<const QWidget*>(f.lvProject), static_cast<const QWidget*>(f.bNext),
          static_cast<const QWidget*>(f.bEdit), static_cast<const QWidget*>(f.bRemove)}) {
      s += w->isEnabled() ? '+' : '-';
    }
    return s;  // list, Next, Edit, Remove
  }
  // The name editor that is open (closed ones may linger until their deferred deletion).
  QLineEdit* OpenEditor() const {
    for (QLineEdit* editor : h->form->lvProject->findChildren<QLineEdit*>()) {
      if (editor->isVisible()) return editor;
    }
    return nullptr;
  }
  // Opens the name editor of row 0 with `key` (F2 or the button) and confirms `text` with Enter.
  void Rename(const QString& text, bool byButton = false) {
    TVTMainForm& f = *h->form;
    f.lvProject->setCurrentItem(h->Row(0));
    if (byButton) {
      MainFormHarness::Click(f.bEdit);
    } else {
      QTest::keyClick(f.lvProject, Qt::Key_F2, Qt::ShiftModifier);
    }
    QLineEdit* editor = OpenEditor();
    QVERIFY(editor && f.lvProject->Editing());
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
  }

 private slots:
  void init() { h = std::make_unique<MainFormHarness>(); }
  void cleanup() { h.reset(); }

  void enablingRule() {
    TVTMainForm& f = h->Show();
    QCOMPARE(Enabled(), "-+--");
    f.rbExisting->setChecked(true);
    QCOMPARE(Enabled(), "+---");  // empty list
    QCOMPARE(f.lvProject->palette().color(QPalette::Active, QPalette::Base),
             QApplication::palette().color(QPalette::Base));
    f.RadioButton1->setChecked(true);
    QCOMPARE(Enabled(), "-+--");

    MainFormHarness::SaveProject("AAAAAAAA", "One");
    f.FillProjectList();
    f.rbExisting->setChecked(true);
    QCOMPARE(Enabled(), "+---");
    QTest::mouseClick(f.lvProject->viewport(), Qt::LeftButton, {},
                      f.lvProject->visualItemRect(h->Row(0)).center());
    QCOMPARE(Enabled(), "++++");
    QTest::mouseClick(f.lvProject->viewport(), Qt::LeftButton, {}, QPoint(20, 120));
    QCOMPARE(Enabled(), "+---");
  }

  void listOrderAndColumns() {
    for (const auto& [stem, name] :
         std::vector<std::pair<QString, QString>>{{"AAAAAAA1", "delta"},
                                                  {"AAAAAAA2", "Alpha"},
                                                  {"AAAAAAA3", "same"},
                                                  {"AAAAAAA4", "beta"},
                                                  {"AAAAAAA5", "same"}}) {
      MainFormHarness::SaveProject(stem, name, "/s/" + stem);
    }
    TVTMainForm& f = h->Show();
    QStringList sorted = {"delta", "Alpha", "same", "beta", "same"};
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return a.localeAwareCompare(b) < 0; });
    QCOMPARE(h->RowNames(), sorted);
    QCOMPARE(f.lvProject->headerItem()->text(0), "Project Name");
    QCOMPARE(f.lvProject->headerItem()->text(1), "Description");
    QCOMPARE(f.lvProject->header()->sectionSize(0), 150);
    QCOMPARE(f.lvProject->header()->sectionSize(1), 400);
  }

  void rename_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("nameBox");  // the name box's answer when asked
    QTest::addColumn<QString>("saved");    // the name in the file afterwards
    QTest::addColumn<bool>("asked");
    QTest::newRow("unchanged") << "Old" << mrYes << QString() << "Old" << false;
    QTest::newRow("yes") << "New" << mrYes << QString() << "New" << true;
    QTest::newRow("no") << "New" << mrNo << QString() << "Old" << true;
    QTest::newRow("cancel") << "New" << mrCancel << QString() << "Old" << true;
    QTest::newRow("empty, named in the box") << "" << mrYes << "Boxed"
                                             << "Boxed" << true;
  }
  void rename() {
    QFETCH(QString, text);
    QFETCH(int, answer);
    QFETCH(QString, nameBox);
    QFETCH(QString, saved);
    QFETCH(bool, asked);
    const QString file = MainFormHarness::SaveProject("AAAAAAAA", "Old");
    MainFormHarness::SaveProject("BBBBBBBB", "Other");
    TVTMainForm& f = h->Show();
    f.rbExisting->setChecked(true);
    h->prompts.yesNoCancelAnswers = {answer};
    h->prompts.projectNames = {nameBox};
    Rename(text, QTest::currentDataTag() == QByteArray("yes"));
    QCOMPARE(h->prompts.log.contains("AskYesNoCancel: Save Project?"), asked);
    QCOMPARE(h->prompts.log.contains("InputProjectName"), !nameBox.isNull());
    QCOMPARE(MainFormHarness::LoadedName(file), saved.toStdString());
    QVERIFY(h->RowNames().contains(text));
    QCOMPARE(f.Synchronizer()->FileName(), file.toStdString());
    QCOMPARE(f.Synchronizer()->Modified(), answer != mrYes && asked);
  }

  void renameKeepsOrderAndEscapeDoesNothing() {
    MainFormHarness::SaveProject("AAAAAAAA", "a-first");
    MainFormHarness::SaveProject("BBBBBBBB", "b-second");
    TVTMainForm& f = h->Show();
    f.rbExisting->setChecked(true);
    h->prompts.yesNoCancelAnswers = {mrYes};
    Rename("c-last");
    QCOMPARE(h->RowNames(), QStringList({"b-second", "c-last"}));
    f.lvProject->setCurrentItem(h->Row(0));
    QTest::keyClick(f.lvProject, Qt::Key_F2);
    QLineEdit* editor = OpenEditor();
    QVERIFY(editor);
    editor->setText("changed");
    QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCOMPARE(h->RowNames(), QStringList({"b-second", "c-last"}));
    QCOMPARE(h->prompts.log.count("AskYesNoCancel: Save Project?"), 1);
    // F2 without a selected row opens nothing.
    f.lvProject->clearSelection();
    QTest::keyClick(f.lvProject, Qt::Key_F2);
    QVERIFY(!f.lvProject->Editing());
  }

  void remove_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
  }
  void remove() {
    QFETCH(bool, yes);
    const QString first = MainFormHarness::SaveProject("AAAAAAAA", "First");
    MainFormHarness::SaveProject("BBBBBBBB", "Second");
    TVTMainForm& f = h->Show();
    f.rbExisting->setChecked(true);
    f.lvProject->setCurrentItem(h->Row(0));
    h->prompts.yesNoAnswers = {yes};
    MainFormHarness::Click(f.bRemove);
    QCOMPARE(h->prompts.log, QStringList{"AskYesNo: Remove selected Project?"});
    QCOMPARE(QFile::exists(first), !yes);
    QCOMPARE(h->RowNames(), yes ? QStringList{"Second"} : QStringList({"First", "Second"}));
    QCOMPARE(f.lvProject->selectedItems().isEmpty(), yes);
    QCOMPARE(Enabled(), yes ? "+---" : "++++");
  }

  void unreadableFileHidesNothing() {
    MainFormHarness::SaveProject("AAAAAAAA", "Good one");
    const QString bad = MainFormHarness::ProjectsDir() + "/BBBBBBBB.VTPrj";
    MainFormHarness::WriteFile(bad, "[Root]\r\ncopymode=INTEGER|abc\r\n");
    MainFormHarness::SaveProject("CCCCCCCC", "Good two");
    h->Show();
    QCOMPARE(h->RowNames(), QStringList({"Good one", "Good two"}));
    QCOMPARE(h->prompts.errors.size(), 1);
    const QStringList lines = h->prompts.errors[0].split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].startsWith(bad + ": ") && lines[1].size() > bad.size() + 3,
             qPrintable(lines[1]));
  }

  void nextMakesTheProject() {
    const QString file = MainFormHarness::SaveProject("AAAAAAAA", "Saved", "/from", "/to");
    TVTMainForm& f = h->Show();
    h->Next();  // a new project: a free name in the projects folder, nothing written
    const QString made = QString::fromStdString(f.Synchronizer()->FileName());
    QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(MainFormHarness::ProjectsDir()) +
                                "/[0-9A-Z]{8}\\.VTPrj$")
                 .match(made)
                 .hasMatch(),
             qPrintable(made));
    QVERIFY(!QFile::exists(made));
    QCOMPARE(QDir(MainFormHarness::ProjectsDir()).entryList(QDir::Files).size(), 1);
    QCOMPARE(f.eFolder1->text(), "");
    QVERIFY(f.Synchronizer()->OnProgress && f.Synchronizer()->OnConfirmRemoval);

    h->Back();
    f.rbExisting->setChecked(true);
    f.lvProject->setCurrentItem(h->Row(0));
    h->Next();
    QCOMPARE(f.Synchronizer()->FileName(), file.toStdString());
    QCOMPARE(f.eFolder1->text(), "/from");
    QCOMPARE(f.eFolder2->text(), "/to");

    // A selected project that can no longer be read keeps the page.
    h->Back();
    f.lvProject->setCurrentItem(h->Row(0));
    MainFormHarness::WriteFile(file, "[Root]\r\ncopymode=INTEGER|x\r\n");
    h->Next();
    QCOMPARE(h->Page(), int(TVTMainForm::pgProject));
    QCOMPARE(h->prompts.errors.size(), 1);
  }
};

VANTREL_UI_TEST(MainFormProject)
#include "tst_mainform_project.moc"
