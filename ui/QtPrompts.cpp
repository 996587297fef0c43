#include "ui/QtPrompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>

#include "common/ModalResult.h"
#include "ui/uConfirmDelete.h"

namespace vantrel {
namespace {

const QString kConfirmation = QStringLiteral("Confirmation");
const QString kTitle = QStringLiteral("Vantrel");

int ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& message,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
            QMessageBox::StandardButton escapeButton = QMessageBox::NoButton) {
  QMessageBox box(icon, title, message, buttons, owner);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(defaultButton);
  if (escapeButton != QMessageBox::NoButton) box.setEscapeButton(escapeButton);
  box.exec();
  return box.standardButton(box.clickedButton());
}

// Accepts only an existing folder: a typed name of something missing, or of a file, keeps the
// dialog open. Opens centred on the screen rather than over its owner, as the chooser always has.
class FolderDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    // A typed name is what the user means. The list's selection can still be catching up with
    // a folder being read in the background, and then holds more than the one folder.
    QString candidate;
    const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (edit != nullptr && !edit->text().isEmpty()) {
      candidate = QFileInfo(directory(), edit->text()).absoluteFilePath();
    } else if (const QStringList selected = selectedFiles(); selected.size() == 1) {
      candidate = selected.front();
    }
    if (candidate.isEmpty() || !QFileInfo(candidate).isDir()) return;
    chosen_ = QDir::cleanPath(candidate);
    QFileDialog::accept();
  }
  // The folder accepted, without a trailing separator (except the root's).
  const QString& chosen() const { return chosen_; }

 protected:
  void showEvent(QShowEvent* event) override {
    QFileDialog::showEvent(event);
    if (const QScreen* shown = screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(shown->availableGeometry().center());
      move(frame.topLeft());
    }
  }

 private:
  QString chosen_;
};

}  // namespace

QtPrompts::QtPrompts(QWidget* parent) : parent_(parent) {}

QWidget* QtPrompts::Owner() const {
  return parent_ ? parent_.data() : QApplication::activeWindow();
}

bool QtPrompts::AskYesNo(const QString& message) {
  return ShowBox(Owner(), QMessageBox::Question, kConfirmation, message,
                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

int QtPrompts::AskYesNoCancel(const QString& message) {
  switch (ShowBox(Owner(), QMessageBox::Question, kConfirmation, message,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel,
                  QMessageBox::Cancel)) {
    case QMessageBox::Yes:
      return mrYes;
    case QMessageBox::No:
      return mrNo;
    default:
      return mrCancel;
  }
}

bool QtPrompts::InputProjectName(QString& text) {
  QInputDialog dialog(Owner());
  dialog.setWindowTitle(QStringLiteral("Project name"));
  dialog.setLabelText(QStringLiteral("Enter the project name"));
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextValue(QString());
  if (dialog.exec() != QDialog::Accepted) return false;
  text = dialog.textValue();
  return true;
}

bool QtPrompts::SelectFolder(const QString& startFolder, const QString& prompt, QString& folder) {
  FolderDialog dialog(Owner(), QStringLiteral("Select Folder"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setLabelText(QFileDialog::LookIn, prompt);
  dialog.setWindowModality(Qt::ApplicationModal);

  const QFileInfo start(startFolder);
  if (!startFolder.isEmpty() && start.isDir()) {
    const QString path = QDir::cleanPath(start.absoluteFilePath());
    if (QDir(path).isRoot()) {
      dialog.setDirectory(path);
    } else {
      const QFileInfo clean(path);
      dialog.setDirectory(clean.path());
      dialog.selectFile(clean.fileName());
    }
  } else {
    dialog.setDirectory(QDir::homePath());
  }

  if (dialog.exec() != QDialog::Accepted || dialog.chosen().isEmpty()) return false;
  folder = dialog.chosen();
  return true;
}

bool QtPrompts::SaveResultsFileName(QString& fileName) {
  QFileDialog dialog(Owner());
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({QStringLiteral("Text files (*.txt)"), QStringLiteral("All files (*.*)")});
  dialog.selectNameFilter(QStringLiteral("Text files (*.txt)"));
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  fileName = chosen.front();
  return true;
}

int QtPrompts::ConfirmRemoval(const QString& kind, const QString& path, bool toTrash) {
  return vantrel::ConfirmRemoval(kind, path, Owner(), toTrash);
}

void QtPrompts::ShowError(const QString& message) {
  ShowBox(Owner(), QMessageBox::Critical, kTitle, message, QMessageBox::Ok, QMessageBox::Ok);
}

void QtPrompts::ShowMessage(const QString& message) {
  ShowBox(Owner(), QMessageBox::NoIcon, kTitle, message, QMessageBox::Ok, QMessageBox::Ok);
}

void QtPrompts::Beep() { QApplication::beep(); }

bool QtPrompts::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace vantrel
