// Renders the wizard on each of its seven pages, the Preview dialog (a small plan and one of
// 100,000 actions) and the removal dialog, with realistic content,
// and checks on each page that every text fits its control and no two controls overlap.
// With VANTREL_SCREENSHOT_DIR set the pictures are kept there (tools/screenshots.sh does so).
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "common/ModalResult.h"
#include "support/MainFormHarness.h"
#include "ui/SyncAnimation.h"
#include "ui/UMainPictures.h"
#include "ui/UPlanModel.h"
#include "ui/UPreviewDialog.h"
#include "ui/uConfirmDelete.h"

using namespace vantrel;
using vantrel::test::MainFormHarness;

namespace {

QString Plain(QString text) { return text.remove(QRegularExpression("&(?!&)")); }

// Why `w`'s text does not fit its own size, or empty when it fits.
QString TextClipped(QWidget* w) {
  const QFontMetrics fm(w->font());
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->text().isEmpty() || label->objectName() == "lCurrent") return {};
    const int need = label->wordWrap() ? label->heightForWidth(label->width())
                                       : fm.size(0, Plain(label->text())).height();
    const int needWidth = label->wordWrap() ? 0 : fm.size(0, Plain(label->text())).width();
    if (need > label->height() || needWidth > label->width()) return "label text";
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    if (button->text().isEmpty()) return {};
    int width = fm.horizontalAdvance(Plain(button->text()));
    if (!button->icon().isNull()) width += button->iconSize().width() + 4;
    if (qobject_cast<QPushButton*>(w)) {
      width += 2 * w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
    } else {
      width += w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
               w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
    }
    if (width > button->width() || fm.height() + 4 > button->height()) return "button text";
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    if (fm.height() + 4 > edit->height()) return "field height";
  }
  return {};
}

// Every problem of the page's visible controls: clipped texts, controls reaching out of their
// parent, siblings overlapping (the header's white picture and the etched lines are backdrops).
QStringList LayoutProblems(QWidget* page) {
  QStringList problems;
  QList<QWidget*> all = page->findChildren<QWidget*>();
  all.prepend(page);
  for (QWidget* w : all) {
    if (!w->isVisibleTo(w->window()) || w->objectName().isEmpty()) continue;
    const QString clipped = TextClipped(w);
    if (!clipped.isEmpty()) problems << w->objectName() + ": " + clipped;
    QWidget* parent = w->parentWidget();
    if (parent && w != page && !parent->rect().contains(w->geometry())) {
      problems << w->objectName() + ": outside " + parent->objectName();
    }
    for (QObject* o : w->children()) {
      auto* a = qobject_cast<QWidget*>(o);
      if (!a || a->objectName().isEmpty() || !a->isVisibleTo(w) || a->objectName() == "Image1" ||
          a->objectName().startsWith("Bevel"))
        continue;
      for (QObject* p : w->children()) {
        auto* b = qobject_cast<QWidget*>(p);
        if (!b || b == a || b->objectName().isEmpty() || !b->isVisibleTo(w) ||
            b->objectName() == "Image1" || b->objectName().startsWith("Bevel") ||
            a->objectName() > b->objectName())
          continue;
        if (a->geometry().intersects(b->geometry())) {
          problems << a->objectName() + " overlaps " + b->objectName();
        }
      }
    }
  }
  return problems;
}

}  // namespace

class MainFormScreens : public QObject {
  Q_OBJECT
  MainFormHarness h{QDir::tempPath() + "/vantrel-XXXXXX"};
  QTemporaryDir scratch;
  QString outDir;

  void Shoot(QWidget* w, const QString& name) {
    QCoreApplication::processEvents();
    QVERIFY2(w->grab().save(outDir + "/" + name + ".png"), qPrintable(name));
  }
  void CheckAndShoot(const QString& name) {
    TVTMainForm& f = *h.form;
    const QStringList problems = LayoutProblems(&f);
    QVERIFY2(problems.isEmpty(), qPrintable(name + ": " + problems.join("; ")));
    Shoot(&f, name);
  }

 private slots:
  void initTestCase() {
    outDir = qEnvironmentVariable("VANTREL_SCREENSHOT_DIR", scratch.path());
    QVERIFY(QDir().mkpath(outDir));
  }

  void everyPage() {
    const QString docs = h.MakeDir("home/anna/Documents");
    const QString usb = h.MakeDir("media/anna/USB-STICK/Backup/Documents");
    for (const char* name : {"Budget 2024.ods", "letter-to-bank.odt", "notes.txt", "~lock.tmp"}) {
      MainFormHarness::WriteFile(docs + "/" + name, "content of " + QByteArray(name));
    }
    MainFormHarness::WriteFile(usb + "/old-draft.odt", "old");
    // A pipe is never copied: the Results page then shows a highlighted failure line.
    QVERIFY(::mkfifo(QFile::encodeName(docs + "/pipe").constData(), 0644) == 0);
    MainFormHarness::SaveProject("K3ZQ0M7A", "Documents to USB disk", docs, usb);
    MainFormHarness::SaveProject("P0RT7X2B", "Photos", "/home/anna/Pictures", "/mnt/nas/photos");
    MainFormHarness::SaveProject("W9ABCD12", "Work projects", "/home/anna/work",
                                 "/media/anna/USB-STICK/work");
    TVTMainForm& f = h.Show();

    f.rbExisting->setChecked(true);
    f.lvProject->setCurrentItem(h.Row(0));
    CheckAndShoot("1-project");

    h.Next();
    CheckAndShoot("2-folders");
    h.Next();
    f.rbUnidirect->setChecked(true);
    h.prompts.yesNoAnswers = {true};
    f.cbExactCopy->setChecked(true);
    f.cbSubDir->setChecked(true);
    f.cbAdvanced->setChecked(true);
    CheckAndShoot("3-mode");
    h.Next();
    f.eExcludeMask->setText("*.tmp, ~*.*");
    f.cbSystem->setChecked(true);
    CheckAndShoot("4-advanced");
    h.Next();
    CheckAndShoot("5-ready");

    // The Please wait page is taken inside the run, at its first shown progress text.
    h.tickStep = 100;
    bool shot = false;
    h.onTick = [&] {
      if (shot || h.Page() != TVTMainForm::pgWait) return;
      shot = true;
      QTimer::singleShot(0, [&] {
        f.Animate1->update();
        CheckAndShoot("6-please-wait");
      });
    };
    h.prompts.removalAnswers = {mrYes};
    h.Next();
    QVERIFY(shot);
    QCOMPARE(h.Page(), int(TVTMainForm::pgResults));
    CheckAndShoot("7-results");
    f.Label5MouseEnter();
    Shoot(f.TabSheet6, "7-results-link-hovered");
  }

  // All frames of the animation on a chequered ground, so that transparency shows.
  void animationFrames() {
    QImage sheet(4 * 216, 5 * 48, QImage::Format_ARGB32);
    QPainter p(&sheet);
    for (int y = 0; y < sheet.height(); y += 8)
      for (int x = 0; x < sheet.width(); x += 8)
        p.fillRect(x, y, 8, 8, (x / 8 + y / 8) % 2 ? QColor(0xDD, 0xDD, 0xDD) : Qt::white);
    for (int i = 0; i < TSyncAnimation::kFrameCount; ++i) {
      p.drawImage(4 + (i % 4) * 216, 4 + (i / 4) * 48, TSyncAnimation::RenderSyncFrame(i));
    }
    p.end();
    QVERIFY(sheet.save(outDir + "/6-animation-frames.png"));
    QVERIFY(ProgramIconPixmap(128).save(outDir + "/0-program-icon.png"));
  }

  // The Preview dialog over a small pair of trees and over 100,000 files to copy; the big one
  // must open, scroll and sort fast.
  void previewDialog_data() {
    QTest::addColumn<int>("files");
    QTest::newRow("small") << 0;
    QTest::newRow("100000") << 100000;
  }
  void previewDialog() {
    QFETCH(int, files);
    const bool big = files > 0;
    QTemporaryDir trees(QDir("/dev/shm").exists() ? "/dev/shm/vantrel-preview-XXXXXX"
                                                  : QDir::tempPath() + "/vantrel-preview-XXXXXX");
    const QString one = trees.filePath("home/anna/Documents");
    const QString two = trees.filePath("media/anna/USB-STICK/Backup/Documents");
    QDir().mkpath(one + "/Letters");
    QDir().mkpath(two + "/Old drafts");
    if (big) {
      for (int folder = 0; folder < 100; ++folder) {
        const QString sub = one + QString("/Project %1").arg(folder, 3, 10, QChar('0'));
        QDir().mkpath(sub);
        for (int i = 0; i < files / 100; ++i) {
          MainFormHarness::WriteFile(sub + QString("/report-%1.txt").arg(i, 4, 10, QChar('0')),
                                     QByteArray(i % 700, 'r'));
        }
      }
    } else {
      MainFormHarness::WriteFile(one + "/Budget 2024.ods", QByteArray(48213, 'b'));
      MainFormHarness::WriteFile(one + "/Letters/letter-to-bank.odt", QByteArray(20480, 'l'));
      MainFormHarness::WriteFile(one + "/notes.txt", "notes");
      MainFormHarness::WriteFile(two + "/notes.txt", "old");
      QFile old(two + "/notes.txt");
      QVERIFY(old.open(QIODevice::ReadWrite) &&
              old.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(9, 0)),
                              QFileDevice::FileModificationTime));
      MainFormHarness::WriteFile(two + "/Old drafts/draft-1.odt", QByteArray(120000, 'd'));
      MainFormHarness::WriteFile(two + "/Old drafts/draft-2.odt", QByteArray(90000, 'd'));
      MainFormHarness::WriteFile(two + "/old-draft.odt", QByteArray(3100, 'o'));
    }
    TFolderSynchronizer project((trees.path() + "/p.VTPrj").toStdString());
    project.SetFolder1(one.toStdString());
    project.SetFolder2(two.toStdString());
    project.SetCopyMode(1);
    project.SetExactCopy(true);
    project.SetIncludeSubfolders(true);
    TPreviewDialog dialog(project, h.prompts, [] { return SystemTickCount(); });
    dialog.show();
    QElapsedTimer timer;
    timer.start();
    dialog.RunPreview();
    const qint64 walked = timer.restart();
    QCoreApplication::processEvents();
    dialog.tvPreviewPlan->scrollToBottom();
    QCoreApplication::processEvents();
    const qint64 shown = timer.restart();
    dialog.tvPreviewPlan->sortByColumn(TPlanModel::colPath, Qt::DescendingOrder);
    QCoreApplication::processEvents();
    const qint64 sorted = timer.restart();
    dialog.tvPreviewPlan->sortByColumn(TPlanModel::colSize, Qt::AscendingOrder);
    dialog.tvPreviewPlan->sortByColumn(-1, Qt::AscendingOrder);
    dialog.tvPreviewPlan->scrollToTop();
    qInfo("preview of %d rows: walk %lld ms, show and scroll %lld ms, sort by path %lld ms",
          dialog.Model()->rowCount(), walked, shown, sorted);
    QVERIFY(dialog.Finished());
    if (big) {
      QCOMPARE(dialog.Model()->rowCount(), files + 101);  // and the old folder
      QVERIFY2(shown < 1000 && sorted < 3000, "the table is slow with 100,000 rows");
    } else {
      QCOMPARE(dialog.lPreviewTotals->text(),
               "Copy 3 files (68.7 KB) to Folder 2 · remove 1 file and 1 folder "
               "(213.1 KB) from Folder 2");
    }
    const QStringList problems = LayoutProblems(&dialog);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    Shoot(&dialog, big ? "9-preview-100000" : "9-preview-small");
  }

  void removalDialog() {
    TConfirmForm dialog;
    dialog.SetMessage("file", "/media/anna/USB-STICK/Backup/Documents/old-draft.odt");
    dialog.show();
    QCoreApplication::processEvents();
    Shoot(&dialog, "8-removal-dialog");
  }
};

QTEST_MAIN(MainFormScreens)
#include "tst_mainform_screens.moc"
