// EnableControlTree: labels reach their buddies, panels reach everything inside them, and the
// editable controls are tinted with the system's window or button-face colour.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <memory>

#include "UiTestMain.h"
#include "ui/EnableControlTree.h"

using vantrel::EnableControlTree;

namespace {

QColor SystemColour(QPalette::ColorRole role) {
  return QApplication::palette().color(QPalette::Active, role);
}

// The Base colour the widget paints its editing area with, in the group its state selects.
QColor BaseOf(const QWidget* w) {
  return w->palette().color(w->isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Base);
}

// True iff EnableControlTree itself disabled `w` (not just its parent).
bool ExplicitlyDisabled(const QWidget* w) { return w->testAttribute(Qt::WA_ForceDisabled); }

QWidget* MakeEditable(const QString& kind, QWidget* parent) {
  if (kind == "QLineEdit") return new QLineEdit(parent);
  if (kind == "QPlainTextEdit") return new QPlainTextEdit(parent);
  if (kind == "QTextEdit") return new QTextEdit(parent);
  if (kind == "QTreeWidget") return new QTreeWidget(parent);
  if (kind == "QListView") return new QListView(parent);
  return nullptr;
}

}  // namespace

class TestEnableControlTree : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Otherwise the tint checks below could not tell the two colours apart.
    QVERIFY(SystemColour(QPalette::Base) != SystemColour(QPalette::Button));
  }

  void editablesAreTinted_data() {
    QTest::addColumn<QString>("kind");
    for (const char* kind :
         {"QLineEdit", "QPlainTextEdit", "QTextEdit", "QTreeWidget", "QListView"}) {
      QTest::newRow(kind) << QString::fromLatin1(kind);
    }
  }
  void editablesAreTinted() {
    QFETCH(QString, kind);
    QWidget panel;
    QWidget* edit = MakeEditable(kind, &panel);
    QVERIFY(edit != nullptr);

    EnableControlTree(edit, false);
    QVERIFY(!edit->isEnabled());
    QCOMPARE(BaseOf(edit), SystemColour(QPalette::Button));

    EnableControlTree(edit, true);
    QVERIFY(edit->isEnabled());
    QCOMPARE(BaseOf(edit), SystemColour(QPalette::Base));
  }

  void labelReachesItsBuddy() {
    QWidget panel;
    auto* label = new QLabel("Folder &1 (Source Folder):", &panel);
    auto* edit = new QLineEdit(&panel);
    auto* bystander = new QLineEdit(&panel);
    label->setBuddy(edit);

    EnableControlTree(label, false);
    QVERIFY(!label->isEnabled());
    QVERIFY(!edit->isEnabled());
    QCOMPARE(BaseOf(edit), SystemColour(QPalette::Button));
    QVERIFY(bystander->isEnabled());

    EnableControlTree(label, true);
    QVERIFY(label->isEnabled());
    QVERIFY(edit->isEnabled());
    QCOMPARE(BaseOf(edit), SystemColour(QPalette::Base));

    auto* alone = new QLabel("no buddy", &panel);
    EnableControlTree(alone, false);  // must not reach anything else
    QVERIFY(!alone->isEnabled());
    QVERIFY(bystander->isEnabled());
    EnableControlTree(nullptr, false);  // an absent control is ignored
  }

  void panelReachesNestedControls() {
    QWidget window;
    auto* panel = new QWidget(&window);
    auto* sibling = new QPushButton("outside", &window);
    auto* edit = new QLineEdit(panel);
    auto* check = new QCheckBox("Process &Hidden Files", panel);
    auto* group = new QGroupBox("group", panel);
    auto* memo = new QPlainTextEdit(group);
    auto* frame = new QFrame(group);
    auto* tree = new QTreeWidget(frame);
    auto* radio = new QRadioButton("radio", frame);
    auto* pages = new QStackedWidget(panel);
    auto* page = new QWidget();
    pages->addWidget(page);
    auto* pageEdit = new QTextEdit(page);
    auto* scroll = new QScrollArea(panel);
    auto* scrolled = new QWidget();
    auto* scrolledEdit = new QLineEdit(scrolled);
    scroll->setWidget(scrolled);
    const QList<QWidget*> inside = {edit,  check, group, memo,     frame,    tree,
                                    radio, pages, page,  pageEdit, scrolled, scrolledEdit};
    const QList<QWidget*> editables = {edit, memo, tree, pageEdit, scrolledEdit};

    EnableControlTree(panel, false);
    for (QWidget* w : inside) QVERIFY2(ExplicitlyDisabled(w), w->metaObject()->className());
    for (QWidget* w : editables) {
      QVERIFY2(BaseOf(w) == SystemColour(QPalette::Button), w->metaObject()->className());
    }
    QVERIFY(sibling->isEnabled());

    EnableControlTree(panel, true);
    for (QWidget* w : inside) QVERIFY2(w->isEnabled(), w->metaObject()->className());
    for (QWidget* w : editables) {
      QVERIFY2(BaseOf(w) == SystemColour(QPalette::Base), w->metaObject()->className());
    }
  }

  // Compound controls keep their inner parts to themselves, and a dialog owned by a panel is a
  // window of its own, not part of the panel.
  void leavesAndOwnedWindowsAreNotEntered() {
    QWidget panel;
    auto* combo = new QComboBox(&panel);
    combo->setEditable(true);
    auto* spin = new QSpinBox(&panel);
    auto* owned = new QDialog(&panel);
    auto* ownedEdit = new QLineEdit(owned);
    const QColor comboBase = BaseOf(combo->lineEdit());

    EnableControlTree(&panel, false);
    QVERIFY(ExplicitlyDisabled(combo));
    QVERIFY(ExplicitlyDisabled(spin));
    QVERIFY(!ExplicitlyDisabled(combo->lineEdit()));
    QCOMPARE(combo->lineEdit()->palette().color(QPalette::Disabled, QPalette::Base),
             QApplication::palette(combo->lineEdit()).color(QPalette::Disabled, QPalette::Base));
    // Qt itself disables an owned window with its owner; the walk must not claim it.
    QVERIFY(!ExplicitlyDisabled(owned));
    QVERIFY(!ExplicitlyDisabled(ownedEdit));
    QCOMPARE(ownedEdit->palette().color(QPalette::Disabled, QPalette::Base),
             QApplication::palette(ownedEdit).color(QPalette::Disabled, QPalette::Base));

    EnableControlTree(&panel, true);
    QCOMPARE(BaseOf(combo->lineEdit()), comboBase);
  }
};

VANTREL_UI_TEST(TestEnableControlTree)
#include "tst_enablecontroltree.moc"
