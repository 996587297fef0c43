// Makes the lines of the result text that report a failure stand out; the text is unchanged.
#pragma once

#include <QSyntaxHighlighter>

namespace vantrel {

class TResultHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit TResultHighlighter(QTextDocument* document);

  // True iff the line reports a failure: "Cannot ..." and "Terminated by user".
  static bool IsFailureLine(QStringView line);
  // True iff a line of `text` may report a failure: every line the highlighter would mark,
  // whatever breaks the text into lines.
  static bool AnyFailureLine(QStringView text);

 protected:
  void highlightBlock(const QString& text) override;

 private:
  QTextCharFormat failure_;
};

}  // namespace vantrel
