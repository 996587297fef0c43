#include "ui/ResultHighlighter.h"

#include <QColor>

namespace vantrel {

TResultHighlighter::TResultHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  setObjectName(QStringLiteral("ResultHighlighter"));
  failure_.setForeground(QColor(0xB0, 0x00, 0x00));
  failure_.setFontWeight(QFont::Bold);
}

bool TResultHighlighter::IsFailureLine(const QString& line) {
  return line.startsWith(QLatin1String("Cannot ")) || line == QLatin1String("Terminated by user");
}

void TResultHighlighter::highlightBlock(const QString& text) {
  if (IsFailureLine(text)) setFormat(0, static_cast<int>(text.size()), failure_);
}

}  // namespace vantrel
