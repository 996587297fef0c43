// QtPrompts shows real dialogs: each is opened for real, inspected while open, and answered.
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestMain.h"
#include "common/ModalResult.h"
#include "support/ModalDriver.h"
#include "ui/QtPrompts.h"
#include "ui/uConfirmDelete.h"

using vantrel::QtPrompts;
using vantrel::test::ModalDriver;

namespace {

// What a message box showed while it was open.
struct BoxSeen {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  Qt::TextFormat format = Qt::AutoText;
  bool modal = false;
};

BoxSeen Inspect(QMessageBox* box) {
  BoxSeen seen;
  seen.title = box->windowTitle();
  seen.text = box->text();
  seen.icon = box->icon();
  seen.buttons = box->standardButtons();
  seen.defaultButton = box->standardButton(box->defaultButton());
  seen.format = box->textFormat();
  seen.modal = box->isModal();
  return seen;
}

// One way of answering a dialog: a button's text, a key, or the title-bar close.
ModalDriver::Action Answer(ModalDriver& driver, const QString& how) {
  if (how == "Enter") return driver.Key(Qt::Key_Return);
  if (how == "Escape") return driver.Key(Qt::Key_Escape);
  if (how == "close") return driver.Close();
  return driver.Click(how);
}

QLineEdit* FileNameEdit(QFileDialog* dialog) {
  return dialog->findChild<QLineEdit*>("fileNameEdit");
}

void Type(QFileDialog* dialog, const QString& text) {
  FileNameEdit(dialog)->clear();
  QTest::keyClicks(FileNameEdit(dialog), text);
}

QPushButton* AcceptButton(QFileDialog* dialog) {
  auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox");
  return qobject_cast<QPushButton*>(box->buttons().value(0));
}

}  // namespace

class TestQtPrompts : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;
  QString Tmp(const QString& name = QString()) const {
    return name.isEmpty() ? tmp_.path() : tmp_.path() + "/" + name;
  }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    QVERIFY(QDir(Tmp()).mkpath("alpha"));
    QVERIFY(QDir(Tmp()).mkpath("beta"));
    QFile note(Tmp("note.txt"));
    QVERIFY(note.open(QIODevice::WriteOnly));
  }

  void askYesNo_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("expected");
    QTest::newRow("Yes") << "&Yes" << true;
    QTest::newRow("No") << "&No" << false;
    QTest::newRow("Enter takes the default No") << "Enter" << false;
    QTest::newRow("Escape") << "Escape" << false;
  }
  void askYesNo() {
    QFETCH(QString, how);
    QFETCH(bool, expected);
    QtPrompts prompts;
    ModalDriver driver;
    BoxSeen seen;
    const ModalDriver::Action answer = Answer(driver, how);
    driver.On<QMessageBox>([&](QMessageBox* box) {
      seen = Inspect(box);
      answer(box);
    });
    const bool result = prompts.AskYesNo("Remove selected Project?");
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(result, expected);
    QCOMPARE(seen.title, QString("Confirmation"));
    QCOMPARE(seen.text, QString("Remove selected Project?"));
    QCOMPARE(seen.icon, QMessageBox::Question);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen.defaultButton, QMessageBox::No);
    QVERIFY(seen.modal);
  }

  void askYesNoCancel_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expected");
    QTest::newRow("Yes") << "&Yes" << vantrel::mrYes;
    QTest::newRow("No") << "&No" << vantrel::mrNo;
    QTest::newRow("Cancel") << "Cancel" << vantrel::mrCancel;
    QTest::newRow("Enter takes the default Cancel") << "Enter" << vantrel::mrCancel;
    QTest::newRow("Escape") << "Escape" << vantrel::mrCancel;
    QTest::newRow("title-bar close") << "close" << vantrel::mrCancel;
  }
  void askYesNoCancel() {
    QFETCH(QString, how);
    QFETCH(int, expected);
    QtPrompts prompts;
    ModalDriver driver;
    BoxSeen seen;
    const ModalDriver::Action answer = Answer(driver, how);
    driver.On<QMessageBox>([&](QMessageBox* box) {
      seen = Inspect(box);
      answer(box);
    });
    const int result = prompts.AskYesNoCancel("Save Project?");
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(result, expected);
    QCOMPARE(seen.title, QString("Confirmation"));
    QCOMPARE(seen.icon, QMessageBox::Question);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(seen.defaultButton, QMessageBox::Cancel);
  }

  // Error and storage messages carry names and paths: they must read as given, never as markup.
  void errorAndMessageBoxes_data() {
    QTest::addColumn<bool>("error");
    QTest::addColumn<int>("icon");
    QTest::newRow("ShowError") << true << int(QMessageBox::Critical);
    QTest::newRow("ShowMessage") << false << int(QMessageBox::NoIcon);
  }
  void errorAndMessageBoxes() {
    QFETCH(bool, error);
    QFETCH(int, icon);
    const QString message = "Cannot read \"<Empty Name> & <b>co</b>.VTPrj\".";
    QtPrompts prompts;
    ModalDriver driver;
    BoxSeen seen;
    driver.On<QMessageBox>([&](QMessageBox* box) {
      seen = Inspect(box);
      driver.Click("&OK")(box);
    });
    if (error) {
      prompts.ShowError(message);
    } else {
      prompts.ShowMessage(message);
    }
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(seen.title, QString("Vantrel"));
    QCOMPARE(int(seen.icon), icon);
    QCOMPARE(seen.buttons, QMessageBox::Ok);
    QCOMPARE(seen.text, message);
    QCOMPARE(seen.format, Qt::PlainText);
  }

  void inputProjectName_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("expectedOk");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("OK") << "Holiday photos"
                        << "OK" << true << "Holiday photos";
    QTest::newRow("OK on empty") << ""
                                 << "OK" << true << "";
    QTest::newRow("Enter") << "Work"
                           << "Enter" << true << "Work";
    QTest::newRow("Cancel") << "ignored"
                            << "Cancel" << false << "before";
    QTest::newRow("Escape") << "ignored"
                            << "Escape" << false << "before";
  }
  void inputProjectName() {
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(bool, expectedOk);
    QFETCH(QString, expectedText);
    QtPrompts prompts;
    ModalDriver driver;
    QString title, label, initial;
    const ModalDriver::Action answer = Answer(driver, how);
    driver.On<QInputDialog>([&](QInputDialog* dialog) {
      title = dialog->windowTitle();
      label = dialog->labelText();
      auto* edit = dialog->findChild<QLineEdit*>();
      initial = edit->text();
      QTest::keyClicks(edit, typed);
      answer(dialog);
    });
    QString text = "before";
    const bool ok = prompts.InputProjectName(text);
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(ok, expectedOk);
    QCOMPARE(text, expectedText);
    QCOMPARE(title, QString("Project name"));
    QCOMPARE(label, QString("Enter the project name"));
    QCOMPARE(initial, QString(""));
  }

  void saveDialogOptions() {
    QtPrompts prompts;
    ModalDriver driver;
    driver.On<QFileDialog>([&](QFileDialog* dialog) {
      QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
      QCOMPARE(dialog->nameFilters(), QStringList({"Text files (*.txt)", "All files (*.*)"}));
      QCOMPARE(dialog->selectedNameFilter(), QString("Text files (*.txt)"));
      QCOMPARE(dialog->defaultSuffix(), QString("txt"));
      QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
      QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
      QVERIFY(dialog->isModal());
      dialog->reject();
    });
    QString name = "untouched";
    QVERIFY(!prompts.SaveResultsFileName(name));
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(name, QString("untouched"));
  }

  void saveDialogNames_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("suffix appended") << "results"
                                     << "results.txt";
    QTest::newRow("suffix kept") << "log.txt"
                                 << "log.txt";
    QTest::newRow("existing file, no question") << "note.txt"
                                                << "note.txt";
  }
  void saveDialogNames() {
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QtPrompts prompts;
    ModalDriver driver;
    driver.On<QFileDialog>([&](QFileDialog* dialog) {
      dialog->setDirectory(Tmp());
      Type(dialog, typed);
      driver.Key(Qt::Key_Return)(dialog);
    });
    QString name;
    QVERIFY(prompts.SaveResultsFileName(name));
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(name, Tmp(expected));
  }

  void folderChooserOptions() {
    // An owner in a corner: the chooser still opens centred on the screen, not over it.
    QWidget owner;
    owner.setGeometry(0, 0, 200, 100);
    owner.show();
    QtPrompts prompts(&owner);
    ModalDriver driver;
    QString lookIn, directory;
    QStringList selected;
    driver.On<QFileDialog>([&](QFileDialog* dialog) {
      QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
      QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
      QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
      QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
      const QPoint screenCentre = dialog->screen()->availableGeometry().center();
      QVERIFY2((dialog->frameGeometry().center() - screenCentre).manhattanLength() <= 2,
               "the folder chooser opens centred on the screen");
      lookIn = dialog->findChild<QLabel*>("lookInLabel")->text();
      directory = dialog->directory().absolutePath();
      selected = dialog->selectedFiles();
      dialog->reject();
    });
    QString folder = "as it was";
    QVERIFY(!prompts.SelectFolder(Tmp("alpha"), "Select folder:", folder));
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(folder, QString("as it was"));
    QCOMPARE(lookIn, QString("Select folder:"));
    QCOMPARE(directory, Tmp());
    QCOMPARE(selected, QStringList({Tmp("alpha")}));
  }

  void folderChooserStart_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("selected");  // the name in the file-name field
    QTest::newRow("existing") << Tmp("alpha") << Tmp() << "alpha";
    QTest::newRow("trailing separator") << Tmp("beta") + "/" << Tmp() << "beta";
    QTest::newRow("missing") << Tmp("missing") << QDir::homePath() << "";
    QTest::newRow("a file") << Tmp("note.txt") << QDir::homePath() << "";
    QTest::newRow("empty") << "" << QDir::homePath() << "";
    QTest::newRow("root") << "/"
                          << "/"
                          << "";
  }
  void folderChooserStart() {
    QFETCH(QString, start);
    QFETCH(QString, directory);
    QFETCH(QString, selected);
    QtPrompts prompts;
    ModalDriver driver;
    QString seenDirectory, seenSelected;
    driver.On<QFileDialog>([&](QFileDialog* dialog) {
      seenDirectory = dialog->directory().absolutePath();
      seenSelected = FileNameEdit(dialog)->text();
      dialog->reject();
    });
    QString folder;
    QVERIFY(!prompts.SelectFolder(start, "Select folder:", folder));
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(seenDirectory, directory);
    QCOMPARE(seenSelected, selected);
  }

  void folderChooserResult_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("typed");  // null: take what is selected
    QTest::addColumn<QString>("expected");
    QTest::newRow("start folder confirmed") << Tmp("alpha") << QString() << Tmp("alpha");
    QTest::newRow("typed with trailing separator") << Tmp() << Tmp("beta") + "/" << Tmp("beta");
    QTest::newRow("root keeps its separator") << "/" << QString() << "/";
  }
  void folderChooserResult() {
    QFETCH(QString, start);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QtPrompts prompts;
    ModalDriver driver;
    driver.On<QFileDialog>([&](QFileDialog* dialog) {
      if (!typed.isNull()) Type(dialog, typed);
      QTest::mouseClick(AcceptButton(dialog), Qt::LeftButton);
    });
    QString folder;
    QVERIFY(prompts.SelectFolder(start, "Select folder:", folder));
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(folder, expected);
  }

  // Only an existing folder can be chosen: a missing name or a file keeps the chooser open.
  // Without a start folder, the list still holds the folder it was moved to as selected when
  // the name is typed; the typed folder is the one chosen all the same.
  void folderChooserRefusesWhatIsNoFolder_data() {
    QTest::addColumn<QString>("start");
    QTest::newRow("start folder") << Tmp();
    QTest::newRow("no start folder") << QString();
  }
  void folderChooserRefusesWhatIsNoFolder() {
    QFETCH(QString, start);
    QtPrompts prompts;
    ModalDriver driver;
    bool missingEnabled = true, openAfterMissing = false, openAfterFile = false;
    driver.On<QFileDialog>([&](QFileDialog* dialog) {
      dialog->setDirectory(Tmp());
      Type(dialog, "missing");
      missingEnabled = AcceptButton(dialog)->isEnabled();
      QTest::keyClick(FileNameEdit(dialog), Qt::Key_Return);
      openAfterMissing = dialog->isVisible();
      Type(dialog, "note.txt");
      QTest::keyClick(FileNameEdit(dialog), Qt::Key_Return);
      openAfterFile = dialog->isVisible();
      Type(dialog, "beta");
      QTest::keyClick(FileNameEdit(dialog), Qt::Key_Return);
    });
    QString folder;
    QVERIFY(prompts.SelectFolder(start, "Select folder:", folder));
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QVERIFY(!missingEnabled);
    QVERIFY(openAfterMissing);
    QVERIFY(openAfterFile);
    QCOMPARE(folder, Tmp("beta"));
  }

  void confirmRemovalGoesThroughTheDialog() {
    QtPrompts prompts;
    ModalDriver driver;
    QString message;
    driver.On<vantrel::TConfirmForm>([&](vantrel::TConfirmForm* form) {
      message = form->Label1->text();
      driver.Click("bYesAll")(form);
    });
    QCOMPARE(prompts.ConfirmRemoval("folder", "/srv/old", false), vantrel::mrYesToAll);
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    QCOMPARE(message, vantrel::TConfirmForm::Message("folder", "/srv/old"));
  }

  // The driver itself: a dialog it was not told about is rejected instead of hanging the test.
  void driverRejectsTheWrongDialog() {
    QtPrompts prompts;
    ModalDriver driver(200);
    driver.On<QFileDialog>(driver.Click("Cancel"));
    QCOMPARE(prompts.AskYesNoCancel("Save Project?"), vantrel::mrCancel);
    QVERIFY(!driver.WaitDone(100));
    QVERIFY2(driver.Failure().contains("QFileDialog"), qPrintable(driver.Failure()));
  }
};

VANTREL_UI_TEST(TestQtPrompts)
#include "tst_qtprompts.moc"
