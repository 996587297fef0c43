#include "ui/ResultHighlighter.h"

#include <QColor>

namespace vantrel {

TResultHighlighter::TResultHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  setObjectName(QStringLiteral("ResultHighlighter"));
  failure_.setForeground(QColor(0xB0, 0x00, 0x00));
  failure_.setFontWeight(QFont::Bold);
}

bool TResultHighlighter::IsFailureLine(QStringView line) {
  return line.startsWith(QLatin1String("Cannot ")) || line == QLatin1String("Terminated by user");
}

bool TResultHighlighter::AnyFailureLine(QStringView text) {
  qsizetype start = 0;
  for (qsizetype i = 0; i <= text.size(); ++i) {
    if (i < text.size()) {
      const QChar c = text[i];
      if (c != u'\n' && c != u'\r' && c != QChar::ParagraphSeparator && c != QChar::LineSeparator)
        continue;
    }
    if (IsFailureLine(text.sliced(start, i - start))) return true;
    start = i + 1;
  }
  return false;
}

void TResultHighlighter::highlightBlock(const QString& text) {
  if (IsFailureLine(text)) setFormat(0, static_cast<int>(text.size()), failure_);
}

}  // namespace vantrel
