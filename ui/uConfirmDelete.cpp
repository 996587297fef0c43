#include "ui/uConfirmDelete.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <cmath>

#include "common/ModalResult.h"

namespace vantrel {
namespace {

constexpr QChar kBreak(0x200B);  // zero-width space: a line may break here

// `text` made ready for layout: its line feeds as line separators, a break allowed after each
// path separator (a path wraps between its folders), and, in a word or name too wide for a whole
// line, between any two characters, so that it flows on from where it starts instead of
// beginning a new line and overflowing it.
QString Breakable(const QString& text, const QFontMetrics& metrics, int width) {
  QString out;
  QString word;
  auto flushWord = [&] {
    if (metrics.horizontalAdvance(word) <= width) {
      out += word;
    } else {
      QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, word);
      qsizetype from = 0;
      for (qsizetype to = graphemes.toNextBoundary(); to > 0; to = graphemes.toNextBoundary()) {
        out += word.mid(from, to - from);
        if (to < word.size()) out += kBreak;
        from = to;
      }
    }
    word.clear();
  };
  for (const QChar c : text) {
    if (c == u' ' || c == u'/' || c == u'\n') {
      flushWord();
      out += c == u'\n' ? QChar(QChar::LineSeparator) : c;
      if (c == u'/') out += kBreak;
    } else {
      word += c;
    }
  }
  flushWord();
  return out;
}

// A plain-text label that wraps its text as Breakable() allows. When the wrapped text is still
// taller than the label, the span set by SetElidable (the path) is shortened in its middle until
// the text fits, so the question line below the path always shows.
class MessageLabel : public QLabel {
 public:
  explicit MessageLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }

  void SetElidable(qsizetype start, qsizetype length) {
    elideStart_ = start;
    elideLength_ = length;
    update();
  }

  // The text as painted in the current size.
  QString ShownText() const {
    const QString full = text();
    const int height = contentsRect().height();
    if (Height(full) <= height || elideLength_ <= 0) return full;
    // Keep as many characters of the span as fit, half from each end.
    qsizetype low = 0, high = elideLength_ - 1;
    while (low < high) {
      const qsizetype mid = (low + high + 1) / 2;
      if (Height(Elided(full, mid)) <= height) {
        low = mid;
      } else {
        high = mid - 1;
      }
    }
    return Elided(full, low);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    QTextLayout layout;
    Layout(ShownText(), layout);
    layout.draw(&painter, contentsRect().topLeft());
  }

 private:
  QString Elided(const QString& full, qsizetype keep) const {
    const qsizetype head = (keep + 1) / 2;
    const qsizetype tail = keep - head;
    return full.left(elideStart_ + head) + QChar(0x2026) +
           full.mid(elideStart_ + elideLength_ - tail);
  }

  // Lays `text` out in the label's width; returns its height in pixels.
  int Layout(const QString& text, QTextLayout& layout) const {
    layout.setText(Breakable(text, fontMetrics(), contentsRect().width()));
    layout.setFont(font());
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(contentsRect().width());
      line.setPosition(QPointF(0, y));
      y += line.height();
    }
    layout.endLayout();
    return static_cast<int>(std::ceil(y));
  }

  int Height(const QString& text) const {
    QTextLayout layout;
    return Layout(text, layout);
  }

  qsizetype elideStart_ = 0;
  qsizetype elideLength_ = 0;
};

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int left,
                        int result, TConfirmForm* form) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, 88, 75, 25);
  QObject::connect(button, &QPushButton::clicked, form, [form, result] { form->done(result); });
  return button;
}

}  // namespace

TConfirmForm::TConfirmForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("ConfirmForm"));
  setWindowTitle(QStringLiteral("ConfirmForm"));
  setFixedSize(445, 123);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(16, 12, 48, 48);

  Label1 = new MessageLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(72, 12, 353, 65);

  // Created in tab order, left to right.
  bNo = MakeButton(this, "bNo", QStringLiteral("No"), 16, mrNo, this);
  bNoAll = MakeButton(this, "bNoAll", QStringLiteral("No to all"), 96, mrNoToAll, this);
  bYes = MakeButton(this, "bYes", QStringLiteral("Yes"), 184, mrYes, this);
  bYesAll = MakeButton(this, "bYesAll", QStringLiteral("Yes to all"), 264, mrYesToAll, this);
  bCancel = MakeButton(this, "bCancel", QStringLiteral("Cancel"), 352, mrCancel, this);
  bCancel->setDefault(true);
}

QString TConfirmForm::Message(const QString& kind, const QString& path, bool toTrash) {
  return (toTrash
              ? QStringLiteral("The %1 \"%2\" will be moved to the trash.\nAre you sure to remove "
                               "this %3?")
              : QStringLiteral("The %1 \"%2\" will be removed.\nAre you sure to remove this %3?"))
      .arg(kind, path, kind);
}

void TConfirmForm::SetMessage(const QString& kind, const QString& path, bool toTrash) {
  const QString message = Message(kind, path, toTrash);
  Label1->setText(message);
  Label1->setToolTip(path);
  // The path starts after `The <kind> "`.
  static_cast<MessageLabel*>(Label1)->SetElidable(kind.size() + 6, path.size());
}

QString TConfirmForm::ShownMessage() const {
  return static_cast<const MessageLabel*>(Label1)->ShownText();
}

void TConfirmForm::reject() { done(mrCancel); }

void TConfirmForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TConfirmForm::FormShow() {
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  const QPixmap icon = style()
                           ->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this)
                           .pixmap(QSize(size, size), devicePixelRatio());
  Image1->setPixmap(icon);
  // The icon may come smaller than asked for; the picture takes the icon's own size.
  Image1->resize(icon.deviceIndependentSize().toSize());
  bCancel->setFocus(Qt::OtherFocusReason);
  QApplication::beep();
}

int ConfirmRemoval(const QString& kind, const QString& path, QWidget* parent, bool toTrash) {
  // Guarded: the form dies with its parent if that window goes away while the question is open.
  QPointer<TConfirmForm> form =
      new TConfirmForm(parent != nullptr ? parent : QApplication::activeWindow());
  form->SetMessage(kind, path, toTrash);
  const int answer = form->exec();
  if (form) form->deleteLater();
  switch (answer) {
    case mrNo:
    case mrNoToAll:
    case mrYes:
    case mrYesToAll:
      return answer;
    default:  // hidden by other means than its buttons
      return mrCancel;
  }
}

}  // namespace vantrel
