#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTest>

namespace vantrel::test {
namespace {

constexpr int kPollMs = 10;

QString Describe(const QWidget* w) {
  return QString::fromLatin1(w->metaObject()->className()) + " \"" + w->windowTitle() + "\"";
}

// "&Yes" and "Yes" name the same button; "&&" stands for one '&'.
QString WithoutAccessKeys(const QString& text) {
  QString plain;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

}  // namespace

ModalDriver::ModalDriver(int timeoutMs) : timeoutMs_(timeoutMs) {
  waiting_.start();
  timer_.setInterval(kPollMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
  timer_.start();
}

ModalDriver::~ModalDriver() {
  timer_.stop();
  if (last_) last_->removeEventFilter(this);
}

ModalDriver& ModalDriver::Then(Matcher matches, Action act, const QString& what) {
  if (steps_.empty()) waiting_.restart();
  steps_.push_back({std::move(matches), std::move(act), what});
  return *this;
}

ModalDriver::Action ModalDriver::Click(const QString& nameOrText) {
  return [this, nameOrText](QWidget* dialog) {
    const QList<QAbstractButton*> buttons = dialog->findChildren<QAbstractButton*>();
    QAbstractButton* found = nullptr;
    for (QAbstractButton* b : buttons) {
      if (b->isVisible() && b->objectName() == nameOrText) {
        found = b;
        break;
      }
    }
    if (found == nullptr) {
      const QString wanted = WithoutAccessKeys(nameOrText);
      for (QAbstractButton* b : buttons) {
        if (b->isVisible() && WithoutAccessKeys(b->text()) == wanted) {
          found = b;
          break;
        }
      }
    }
    if (found == nullptr) {
      Fail("no visible button \"" + nameOrText + "\" on " + Describe(dialog));
    } else if (!found->isEnabled()) {
      Fail("button \"" + nameOrText + "\" is disabled on " + Describe(dialog));
    } else {
      QTest::mouseClick(found, Qt::LeftButton);
    }
  };
}

ModalDriver::Action ModalDriver::Key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  return [key, modifiers](QWidget* dialog) {
    QPointer<QWidget> target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QTest::keyPress(target, key, modifiers);
    if (target) QTest::keyRelease(target, key, modifiers);
  };
}

ModalDriver::Action ModalDriver::Close() {
  return [](QWidget* dialog) { dialog->close(); };
}

void ModalDriver::Fail(const QString& why) {
  if (failure_.isEmpty()) failure_ = why;
}

bool ModalDriver::Done() const {
  return failure_.isEmpty() && steps_.empty() && !actionPending_ && (last_.isNull() || lastHidden_);
}

bool ModalDriver::WaitDone(int timeoutMs) {
  (void)QTest::qWaitFor([this] { return Done() || !failure_.isEmpty(); }, timeoutMs);
  return Done();
}

bool ModalDriver::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Hide && watched == last_) lastHidden_ = true;
  return QObject::eventFilter(watched, event);
}

void ModalDriver::Dismiss(QWidget* w) {
  if (auto* dialog = qobject_cast<QDialog*>(w)) {
    dialog->reject();
  } else {
    w->close();
  }
}

void ModalDriver::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!failure_.isEmpty()) {
    if (modal != nullptr) Dismiss(modal);
    return;
  }
  if (actionPending_) return;

  const bool lastOnTop = last_ && !lastHidden_ && modal == last_;
  if (lastOnTop != lastOnTop_) {
    lastOnTop_ = lastOnTop;
    waiting_.restart();
  }
  if (lastOnTop) {
    if (waiting_.hasExpired(timeoutMs_)) {
      Fail(Describe(modal) + " was still open " + QString::number(timeoutMs_) +
           " ms after its action");
    }
    return;
  }
  const bool fresh = modal != nullptr && (modal != last_ || lastHidden_);
  if (steps_.empty()) {
    // A dialog nobody expected, opened over the one the last step acted on, would block that
    // step's caller for good.
    const bool covered = last_ && !lastHidden_ && fresh;
    if (covered && waiting_.hasExpired(timeoutMs_)) {
      Fail("unexpected " + Describe(modal) + " opened over " + Describe(last_));
    }
    return;
  }

  if (fresh && steps_.front().matches(modal)) {
    Action act = std::move(steps_.front().act);
    steps_.pop_front();
    if (last_) last_->removeEventFilter(this);
    last_ = modal;
    lastHidden_ = false;
    lastOnTop_ = true;
    modal->installEventFilter(this);
    seen_ << Describe(modal);
    // Queued, so that this poll returns first and keeps answering dialogs the action opens.
    actionPending_ = true;
    QPointer<QWidget> target = modal;
    QTimer::singleShot(0, this, [this, target, act = std::move(act)] {
      actionPending_ = false;
      waiting_.restart();
      if (target) {
        act(target);
      } else {
        Fail("the dialog closed before its action ran");
      }
    });
    return;
  }
  if (waiting_.hasExpired(timeoutMs_)) {
    Fail("no " + steps_.front().what + " within " + QString::number(timeoutMs_) + " ms" +
         (modal != nullptr ? "; the modal widget was " + Describe(modal) : QString()));
  }
}

}  // namespace vantrel::test
