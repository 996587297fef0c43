// Everything modal that the window asks or opens goes through one TPrompts, so that tests can
// answer for the user. QtPrompts (ui/QtPrompts.h) shows real dialogs.
#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace vantrel {

class TPrompts {
 public:
  virtual ~TPrompts() = default;

  // "Confirmation" box, question icon, Yes and No, No the default. True iff Yes.
  virtual bool AskYesNo(const QString& message) = 0;
  // "Confirmation" box, question icon, Yes/No/Cancel, Cancel the default; closing it is Cancel.
  // Returns mrYes, mrNo or mrCancel.
  virtual int AskYesNoCancel(const QString& message) = 0;
  // The "Project name" input box ("Enter the project name", empty field, OK and Cancel).
  // Returns true on OK with the text in `text`.
  virtual bool InputProjectName(QString& text) = 0;
  // The folder chooser. Returns true with the chosen folder's path (no trailing separator but
  // for the root) in `folder`; false when cancelled.
  virtual bool SelectFolder(const QString& startFolder, const QString& prompt,
                            QString& folder) = 0;
  // The save dialog of "Save &Results". Returns true with the chosen file name (".txt" appended
  // when typed without extension) in `fileName`.
  virtual bool SaveResultsFileName(QString& fileName) = 0;
  // The removal confirmation dialog; returns one of the five answer codes. `toTrash`: the entry
  // would be moved to the trash, and the question says so.
  virtual int ConfirmRemoval(const QString& kind, const QString& path, bool toTrash) = 0;
  // The error box: error icon, title "Vantrel", OK. `message` is shown as given.
  virtual void ShowError(const QString& message) = 0;
  // An OK box titled "Vantrel" for messages the storage shows and goes on.
  virtual void ShowMessage(const QString& message) = 0;
  // The platform's warning beep.
  virtual void Beep() = 0;
  // Opens a web address in the user's browser; false when no browser could be started.
  virtual bool OpenUrl(const QUrl& url) = 0;
};

}  // namespace vantrel
