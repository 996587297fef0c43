// The prompts the real window uses: each question or chooser is a real modal Qt dialog. Every
// dialog is a Qt (not a platform-native) one, so it looks and behaves the same on every desktop
// and under the offscreen platform.
#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/Prompts.h"

namespace vantrel {

class QtPrompts : public TPrompts {
 public:
  // The dialogs are shown over `parent` when given (not owned; it may die first), else over the
  // application's active window at the time of the question.
  explicit QtPrompts(QWidget* parent = nullptr);
  void SetParent(QWidget* parent) { parent_ = parent; }

  // QMessageBox "Confirmation", question icon, Yes and No, No the default; true iff Yes.
  bool AskYesNo(const QString& message) override;
  // QMessageBox "Confirmation", question icon, Yes/No/Cancel, Cancel the default and the Escape
  // button; any way of closing it but Yes or No answers mrCancel.
  int AskYesNoCancel(const QString& message) override;
  // QInputDialog titled "Project name", label "Enter the project name", empty text field.
  bool InputProjectName(QString& text) override;
  // QFileDialog for folders only, titled "Select Folder", with `prompt` as the label above the
  // list. An existing `startFolder` is selected in its parent folder (the root is opened), else
  // the home folder is opened with nothing selected. Only an existing folder is accepted. The
  // path comes back cleaned: no trailing separator except for "/".
  bool SelectFolder(const QString& startFolder, const QString& prompt, QString& folder) override;
  // QFileDialog in save mode, filters "Text files (*.txt)" (selected) and "All files (*.*)",
  // default suffix "txt", no question before replacing a file. A non-empty `fileName` on entry
  // is preselected.
  bool SaveResultsFileName(QString& fileName) override;
  // The TConfirmForm over the prompts' parent.
  int ConfirmRemoval(const QString& kind, const QString& path, bool toTrash) override;
  // QMessageBox titled "Vantrel", critical icon, OK.
  void ShowError(const QString& message) override;
  // QMessageBox titled "Vantrel", no icon, OK.
  void ShowMessage(const QString& message) override;
  void Beep() override;
  bool OpenUrl(const QUrl& url) override;

  // Messages are always shown as plain text: a path or name holding '<' or '&' reads as typed.

 private:
  QWidget* Owner() const;

  QPointer<QWidget> parent_;
};

}  // namespace vantrel
