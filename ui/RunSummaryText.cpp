#include "ui/RunSummaryText.h"

#include <QStringList>

namespace vantrel {
namespace {

const QString kDot = QStringLiteral(" \u00b7 ");

QString Plural(std::uint64_t count, const char* one, const char* many) {
  return CountText(count) + u' ' + QString::fromLatin1(count == 1 ? one : many);
}

}  // namespace

QString CountText(std::uint64_t count) {
  QString digits = QString::number(count);
  for (int at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, u',');
  return digits;
}

QString BytesText(std::uint64_t bytes) {
  if (bytes < 1000) return Plural(bytes, "byte", "bytes");
  const char* units[] = {"KB", "MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes) / 1000.0;
  int unit = 0;
  while (value >= 999.95 && unit < 4) {
    value /= 1000.0;
    ++unit;
  }
  return QString::number(value, 'f', 1) + u' ' + QString::fromLatin1(units[unit]);
}

QString ElapsedText(std::uint64_t milliseconds) {
  const std::uint64_t seconds = milliseconds / 1000;
  const std::uint64_t hours = seconds / 3600;
  const QString minutesSeconds =
      QStringLiteral("%1:%2")
          .arg(hours > 0 ? QStringLiteral("%1").arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
                         : QString::number(seconds / 60))
          .arg(seconds % 60, 2, 10, QChar(u'0'));
  return hours > 0 ? QString::number(hours) + u':' + minutesSeconds : minutesSeconds;
}

QString PlanTotalsText(const RunSummary& summary) {
  QStringList parts;
  if (summary.toFolder2.files > 0) {
    parts << QStringLiteral("Copy %1 (%2) to Folder 2")
                 .arg(Plural(summary.toFolder2.files, "file", "files"),
                      BytesText(summary.toFolder2.bytes));
  }
  if (summary.toFolder1.files > 0) {
    parts << QStringLiteral("%1 %2 (%3) to Folder 1")
                 .arg(parts.isEmpty() ? QStringLiteral("Copy") : QStringLiteral("copy"),
                      Plural(summary.toFolder1.files, "file", "files"),
                      BytesText(summary.toFolder1.bytes));
  }
  if (summary.filesRemoved > 0 || summary.foldersRemoved > 0) {
    QStringList what;
    if (summary.filesRemoved > 0) what << Plural(summary.filesRemoved, "file", "files");
    if (summary.foldersRemoved > 0) what << Plural(summary.foldersRemoved, "folder", "folders");
    parts << QStringLiteral("%1 %2 (%3) from Folder 2")
                 .arg(parts.isEmpty() ? QStringLiteral("Remove") : QStringLiteral("remove"),
                      what.join(QStringLiteral(" and ")), BytesText(summary.removedBytes));
  }
  QString text = parts.isEmpty() ? QStringLiteral("Nothing to do") : parts.join(kDot);
  if (summary.failures > 0) {
    text += kDot + Plural(summary.failures, "problem", "problems") + QStringLiteral(" found");
  }
  if (summary.stopped) text = QStringLiteral("Stopped, so far: ") + text;
  return text;
}

QString LiveCountsText(const RunSummary& summary) {
  return QStringLiteral("Looked at %1").arg(CountText(summary.filesLookedAt)) + kDot +
         QStringLiteral("copied %1 (%2)")
             .arg(CountText(summary.FilesCopied()), BytesText(summary.BytesCopied())) +
         kDot +
         QStringLiteral("removed %1")
             .arg(CountText(summary.filesRemoved + summary.foldersRemoved)) +
         kDot + QStringLiteral("failed %1").arg(CountText(summary.failures)) + kDot +
         ElapsedText(summary.elapsedMs);
}

QString ResultHeaderText(const RunSummary& summary) {
  QString text = QStringLiteral("%1 copied (%2), %3 removed, %4 failed, in %5")
                     .arg(CountText(summary.FilesCopied()), BytesText(summary.BytesCopied()),
                          CountText(summary.filesRemoved + summary.foldersRemoved),
                          CountText(summary.failures), ElapsedText(summary.elapsedMs));
  return summary.stopped ? QStringLiteral("Stopped after ") + text : text;
}

}  // namespace vantrel
