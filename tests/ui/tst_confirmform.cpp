// The removal confirmation dialog, driven for real: layout, texts, answers and keyboard.
#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QTest>

#include "UiTestMain.h"
#include "common/ModalResult.h"
#include "support/ModalDriver.h"
#include "ui/uConfirmDelete.h"

using vantrel::ConfirmRemoval;
using vantrel::TConfirmForm;
using vantrel::test::ModalDriver;

namespace {

// Number of separate bands of text rows painted in `label` (its text lines, roughly).
int InkBands(QWidget* label) {
  const QImage image = label->grab().toImage();
  int bands = 0;
  bool inInk = false;
  for (int y = 0; y < image.height(); ++y) {
    bool ink = false;
    for (int x = 0; x < image.width() && !ink; ++x) ink = qGray(image.pixel(x, y)) < 128;
    if (ink && !inInk) ++bands;
    inInk = ink;
  }
  return bands;
}

// Number of dark pixels in column `x` of `label` as painted.
int InkInColumn(QWidget* label, int x) {
  const QImage image = label->grab().toImage();
  int ink = 0;
  for (int y = 0; y < image.height(); ++y) ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
  return ink;
}

}  // namespace

class TestConfirmForm : public QObject {
  Q_OBJECT

 private slots:
  void frameAndControls() {
    TConfirmForm form;
    form.SetMessage("folder", "/srv/data/old stuff");
    QCOMPARE(form.windowTitle(), QString("ConfirmForm"));
    QCOMPARE(form.Label1->text(), QString("The folder \"/srv/data/old stuff\" will be removed.\n"
                                          "Are you sure to remove this folder?"));
    form.SetMessage("file", "/srv/a b.txt", true);
    QCOMPARE(form.Label1->text(), QString("The file \"/srv/a b.txt\" will be moved to the trash.\n"
                                          "Are you sure to remove this file?"));
    QCOMPARE(form.minimumSize(), QSize(445, 123));
    QCOMPARE(form.maximumSize(), QSize(445, 123));
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                       Qt::WindowContextHelpButtonHint)));

    struct Expected {
      QWidget* widget;
      const char* name;
      const char* text;
      QRect place;
    };
    const Expected controls[] = {
        {form.Image1, "Image1", nullptr, {16, 12, 48, 48}},
        {form.Label1, "Label1", nullptr, {72, 12, 353, 65}},
        {form.bNo, "bNo", "No", {16, 88, 75, 25}},
        {form.bNoAll, "bNoAll", "No to all", {96, 88, 75, 25}},
        {form.bYes, "bYes", "Yes", {184, 88, 75, 25}},
        {form.bYesAll, "bYesAll", "Yes to all", {264, 88, 75, 25}},
        {form.bCancel, "bCancel", "Cancel", {352, 88, 75, 25}},
    };
    for (const Expected& c : controls) {
      QCOMPARE(c.widget->objectName(), QString(c.name));
      QCOMPARE(form.findChild<QWidget*>(c.name), c.widget);
      QCOMPARE(c.widget->geometry(), c.place);
      if (c.text) QCOMPARE(static_cast<QPushButton*>(c.widget)->text(), QString(c.text));
    }
    QVERIFY(form.bCancel->isDefault());

    // Tab walks the buttons left to right; the picture and the text take no focus.
    QList<QWidget*> chain;
    QWidget* w = form.bNo;
    do {
      if (w->focusPolicy() & Qt::TabFocus) chain << w;
      w = w->nextInFocusChain();
    } while (w != form.bNo);
    const QList<QWidget*> order = {form.bNo, form.bNoAll, form.bYes, form.bYesAll, form.bCancel};
    QCOMPARE(chain, order);
  }

  void showing() {
    TConfirmForm form;
    form.SetMessage("file", "/tmp/a.txt");
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.Image1->pixmap().isNull());
    QCOMPARE(form.Image1->size(), form.Image1->pixmap().deviceIndependentSize().toSize());
    QVERIFY(form.Image1->width() <= 48 && form.Image1->height() <= 48);
    QCOMPARE(form.focusWidget(), form.bCancel);
    QCOMPARE(form.size(), QSize(445, 123));
  }

  void answers_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("how");  // a button's objectName, "key", or "close"
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::newRow("No") << "file"
                        << "bNo" << 0 << vantrel::mrNo;
    QTest::newRow("No to all") << "folder"
                               << "bNoAll" << 0 << vantrel::mrNoToAll;
    QTest::newRow("Yes") << "file"
                         << "bYes" << 0 << vantrel::mrYes;
    QTest::newRow("Yes to all") << "folder"
                                << "bYesAll" << 0 << vantrel::mrYesToAll;
    QTest::newRow("Cancel") << "file"
                            << "bCancel" << 0 << vantrel::mrCancel;
    QTest::newRow("Return at once") << "file"
                                    << "key" << int(Qt::Key_Return) << vantrel::mrCancel;
    QTest::newRow("Enter at once") << "folder"
                                   << "key" << int(Qt::Key_Enter) << vantrel::mrCancel;
    QTest::newRow("Escape") << "file"
                            << "key" << int(Qt::Key_Escape) << vantrel::mrCancel;
    QTest::newRow("title-bar close") << "folder"
                                     << "close" << 0 << vantrel::mrCancel;
  }
  void answers() {
    QFETCH(QString, kind);
    QFETCH(QString, how);
    QFETCH(int, key);
    QFETCH(int, expected);
    const QString path = "/home/user/Folder 2/" + kind + " \"quoted\".dat";

    ModalDriver driver;
    const ModalDriver::Action act = how == "key"     ? driver.Key(Qt::Key(key))
                                    : how == "close" ? driver.Close()
                                                     : driver.Click(how);
    QString title, message;
    QWidget* focus = nullptr;
    QPointer<TConfirmForm> dialog;
    driver.On<TConfirmForm>([&](TConfirmForm* form) {
      dialog = form;
      title = form->windowTitle();
      message = form->Label1->text();
      focus = form->focusWidget();
      QVERIFY(form->isModal());
      act(form);
    });
    const int answer = ConfirmRemoval(kind, path);
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));

    QCOMPARE(answer, expected);
    QCOMPARE(title, QString("ConfirmForm"));
    QCOMPARE(message, TConfirmForm::Message(kind, path));
    QVERIFY(message.contains("\"" + path + "\""));
    QVERIFY(focus != nullptr);
    QCOMPARE(focus->objectName(), QString("bCancel"));
    QTRY_VERIFY(dialog.isNull());  // released once the question is answered
  }

  void longUnbrokenPathWraps() {
    TConfirmForm form;
    const QString path = "/data/" + QString(90, u'x') + ".txt";
    form.SetMessage("file", path);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.ShownMessage(), form.Label1->text());  // fits whole, so nothing left out
    // Lines are broken inside the name: it is not cut off at the label's right edge, and the
    // text takes more than the two lines it would take unbroken.
    QVERIFY2(InkBands(form.Label1) >= 3, qPrintable(QString::number(InkBands(form.Label1))));
    QCOMPARE(InkInColumn(form.Label1, form.Label1->width() - 1), 0);
    QCOMPARE(form.size(), QSize(445, 123));
    QCOMPARE(form.Label1->geometry(), QRect(72, 12, 353, 65));
  }

  void hugePathIsShortenedNotTheQuestion() {
    TConfirmForm form;
    QString path;
    for (int i = 0; i < 60; ++i) path += QString("/segment-%1").arg(i, 2, 10, QChar(u'0'));
    path += "/final-name.txt";
    form.SetMessage("folder", path);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    const QString shown = form.ShownMessage();
    QVERIFY(shown.contains(QChar(0x2026)));
    QVERIFY(shown.startsWith("The folder \"/segment-00"));
    QVERIFY2(shown.endsWith("/final-name.txt\" will be removed.\n"
                            "Are you sure to remove this folder?"),
             qPrintable(shown));
    QCOMPARE(form.Label1->text(), TConfirmForm::Message("folder", path));
    QCOMPARE(form.Label1->toolTip(), path);
    QCOMPARE(form.size(), QSize(445, 123));
  }

  void centredOverTheWindow_data() {
    QTest::addColumn<bool>("passParent");
    QTest::newRow("parent given") << true;
    QTest::newRow("active window") << false;
  }
  void centredOverTheWindow() {
    QFETCH(bool, passParent);
    QWidget main;
    main.setGeometry(300, 200, 542, 378);
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));

    ModalDriver driver;
    QRect placed;
    driver.On<TConfirmForm>([&](TConfirmForm* form) {
      placed = form->frameGeometry();
      form->reject();
    });
    ConfirmRemoval("file", "/x", passParent ? &main : nullptr);
    QVERIFY2(driver.WaitDone(), qPrintable(driver.Failure()));
    const QPoint offset = placed.center() - main.frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QString("%1,%2").arg(offset.x()).arg(offset.y())));
  }
};

VANTREL_UI_TEST(TestConfirmForm)
#include "tst_confirmform.moc"
