// The removal confirmation dialog: asked before each entry the exact-copy removal pass would
// delete, with the five answers No, No to all, Yes, Yes to all and Cancel.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QString>

class QShowEvent;

namespace vantrel {

// A fixed 445 x 123 dialog titled "ConfirmForm" whose title bar holds only a close button.
// exec() returns the answer code of the button pressed (bNo mrNo, bNoAll mrNoToAll, bYes mrYes,
// bYesAll mrYesToAll, bCancel mrCancel); Escape and the title-bar close answer mrCancel. bCancel
// is the default button and has the focus when the dialog opens. Each control's objectName is its
// member name. Shown with a parent, the dialog is centred over the parent's window.
class TConfirmForm : public QDialog {
  Q_OBJECT

 public:
  explicit TConfirmForm(QWidget* parent = nullptr);

  // The question for an entry of `kind` ("file" or "folder") at `path`, as Label1 holds it;
  // `toTrash`: the entry would be moved to the trash rather than deleted.
  static QString Message(const QString& kind, const QString& path, bool toTrash = false);
  // Puts Message(kind, path, toTrash) into Label1. A path too long for the label's fixed area is shown
  // shortened in its middle (the label's text() keeps it whole, and its tooltip shows the path).
  void SetMessage(const QString& kind, const QString& path, bool toTrash = false);
  // The message as Label1 paints it in its fixed area: Label1's text, or that text with the
  // path shortened in its middle (an ellipsis in place of the left-out part) when the whole
  // would not fit.
  QString ShownMessage() const;

  // Owned by the dialog.
  QLabel* Image1;  // the question icon; takes the icon's size when shown
  QLabel* Label1;  // the message, word-wrapped in a fixed area
  QPushButton* bNo;
  QPushButton* bNoAll;
  QPushButton* bYes;
  QPushButton* bYesAll;
  QPushButton* bCancel;

 public slots:
  // Escape and the title-bar close come here: they answer mrCancel.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Runs each time the dialog is shown: the icon, the question sound, the focus on bCancel.
  void FormShow();
};

// Creates a TConfirmForm over `parent` (or over the active window when null), shows it modally
// with Message(kind, path, toTrash), releases it with deleteLater() and returns the answer: always
// one of mrNo, mrNoToAll, mrYes, mrYesToAll, mrCancel.
int ConfirmRemoval(const QString& kind, const QString& path, QWidget* parent = nullptr,
                   bool toTrash = false);

}  // namespace vantrel
