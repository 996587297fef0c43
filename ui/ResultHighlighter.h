// Makes the lines of the result text that report a failure stand out; the text is unchanged.
#pragma once

#include <QSyntaxHighlighter>

namespace vantrel {

class TResultHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit TResultHighlighter(QTextDocument* document);

  // True iff the line reports a failure: "Cannot ..." and "Terminated by user".
  static bool IsFailureLine(const QString& line);

 protected:
  void highlightBlock(const QString& text) override;

 private:
  QTextCharFormat failure_;
};

}  // namespace vantrel
