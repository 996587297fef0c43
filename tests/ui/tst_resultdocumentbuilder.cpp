// The result document built on a second thread: the same document as the whole text gives,
// whatever the lines hold and however they are handed over.
#include <QTextDocument>
#include <QThread>

#include "UiTestMain.h"
#include "ui/ResultDocumentBuilder.h"
#include "ui/ResultHighlighter.h"

using namespace vantrel;

class ResultDocumentBuilder : public QObject {
  Q_OBJECT

 private slots:
  void sameAsTheWholeText_data() {
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("chunkLines");
    const QList<QByteArray> plain = {"Copy file \"a\" to \"b\"", "Copy file \"c\" to \"d\""};
    QList<QByteArray> many;
    for (int i = 0; i < 50; ++i) many << "Copy file \"f" + QByteArray::number(i) + "\"";
    many[31] = "Cannot copy file \"f31\": Permission denied";
    // Names may hold any bytes but "/" and NUL: line breaks, a lone CR, bytes that are no UTF-8.
    const QList<QByteArray> odd = {"Copy file \"a\nb\"", "", "Copy \"c\rd\"",
                                   "Copy \"\xff\xfe\xc3\"", "Terminated by user"};
    for (int chunk : {1, 2, 7, 4096}) {
      QTest::addRow("plain, %d", chunk) << plain << chunk;
      QTest::addRow("50 with a failure, %d", chunk) << many << chunk;
      QTest::addRow("odd bytes, %d", chunk) << odd << chunk;
    }
  }
  void sameAsTheWholeText() {
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, chunkLines);
    TResultDocumentBuilder builder(static_cast<std::size_t>(chunkLines));
    std::string whole;
    for (const QByteArray& line : lines) {
      builder.Add(line.toStdString());
      whole.append(line.toStdString()).append("\r\n");
    }
    QCOMPARE(builder.Lines(), static_cast<std::size_t>(lines.size()));
    bool failures = !TResultHighlighter::AnyFailureLine(QString::fromStdString(whole));
    std::unique_ptr<QTextDocument> built = builder.Finish(&failures);
    QVERIFY(built);
    QTextDocument expected;
    expected.setPlainText(QString::fromStdString(whole));
    QCOMPARE(built->toPlainText(), expected.toPlainText());
    QCOMPARE(built->blockCount(), expected.blockCount());
    QCOMPARE(failures, TResultHighlighter::AnyFailureLine(QString::fromStdString(whole)));
    QCOMPARE(built->thread(), QThread::currentThread());
    QCOMPARE(built->parent(), nullptr);
    QVERIFY(!built->isUndoAvailable());
  }
};

VANTREL_UI_TEST(ResultDocumentBuilder)
#include "tst_resultdocumentbuilder.moc"
