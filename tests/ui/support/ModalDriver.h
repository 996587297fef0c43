// Answers modal dialogs for a Qt test, so that a test can make a blocking call (exec(), a
// prompt, a click whose handler opens a dialog) and still act on the dialog it opens.
//
//   ModalDriver driver;
//   driver.On<QMessageBox>(driver.Click("&Yes"), "Confirmation")   // by text or objectName
//         .On<TConfirmForm>(driver.Key(Qt::Key_Escape));
//   const bool yes = prompts.AskYesNo("Remove selected Project?");   // blocks until answered
//   QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
//
// Queue the steps BEFORE the blocking call. Each step waits until
// QApplication::activeModalWidget() is a dialog it accepts, then runs its action on that dialog
// (queued, so an action may itself open a nested modal dialog that a later step answers). A
// later step never takes the dialog an earlier step acted on until that dialog has been hidden
// (it may take it again when it is shown again). Waiting polls from a timer inside the modal's
// own event loop; nothing sleeps.
//
// Failures never hang a test: when a step finds no dialog in time, when an action leaves its
// dialog open and on top for the timeout, or when, after the last step, an unexpected dialog
// stays open over the dialog that step acted on, the driver records the failure (see Failure()) and
// from then on rejects every modal widget that shows up, until it is destroyed, so blocking calls
// return.
//
// Lifetime: create it on the stack of the test function; destroying it stops all waiting.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

namespace vantrel::test {

class ModalDriver : public QObject {
 public:
  using Action = std::function<void(QWidget* dialog)>;
  using Matcher = std::function<bool(QWidget* dialog)>;

  // `timeoutMs` bounds each wait: for a step's dialog to show and for an acted-on dialog to close.
  explicit ModalDriver(int timeoutMs = 5000);
  ~ModalDriver() override;

  // Queues a step for the next modal widget that `matches`; `what` names it in failure texts.
  ModalDriver& Then(Matcher matches, Action act, const QString& what);

  // Queues a step for the next modal widget that is a `Dialog` (and, when `windowTitle` is not
  // null, has that title). `act` is called with the dialog as `Dialog*` or as `QWidget*`.
  template <class Dialog, class F>
  ModalDriver& On(F act, const QString& windowTitle = QString()) {
    return Then(
        [windowTitle](QWidget* w) {
          return qobject_cast<Dialog*>(w) != nullptr &&
                 (windowTitle.isNull() || w->windowTitle() == windowTitle);
        },
        [act](QWidget* w) { act(qobject_cast<Dialog*>(w)); },
        QString::fromLatin1(Dialog::staticMetaObject.className()) +
            (windowTitle.isNull() ? QString() : " \"" + windowTitle + "\""));
  }

  // Ready-made actions. Each records a failure when it cannot do what it says (and the dialog is
  // then rejected like any other after a failure).
  // Clicks, with the mouse, the visible button whose objectName is `nameOrText`, or else whose
  // text equals it once the '&' of access keys are left out of both.
  Action Click(const QString& nameOrText);
  // Presses and releases `key` on the dialog's focus widget (the dialog itself when none).
  Action Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Closes the dialog as its title-bar close button does (a close event through QWidget::close).
  Action Close();

  // Records a failure; user actions may call it. Only the first failure is kept as Failure().
  void Fail(const QString& why);

  // True iff every queued step has acted, the last dialog acted on has been hidden, and nothing
  // failed.
  bool Done() const;
  // Runs the event loop until Done() or a failure, at most `timeoutMs`; returns Done().
  bool WaitDone(int timeoutMs = 5000);
  // The first failure, empty when none.
  QString Failure() const { return failure_; }
  // One entry per dialog acted on: its class name and window title, e.g. `QMessageBox "Vantrel"`.
  QStringList Seen() const { return seen_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Step {
    Matcher matches;
    Action act;
    QString what;
  };

  void Poll();
  static void Dismiss(QWidget* w);

  int timeoutMs_;
  std::deque<Step> steps_;
  QTimer timer_;
  QElapsedTimer waiting_;   // since the current wait began
  QPointer<QWidget> last_;  // the dialog the last step acted on
  bool lastHidden_ = true;
  bool lastOnTop_ = false;
  bool actionPending_ = false;
  QString failure_;
  QStringList seen_;
};

}  // namespace vantrel::test
