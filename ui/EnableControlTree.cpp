#include "ui/EnableControlTree.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBox>

namespace vantrel {
namespace {

bool IsEditable(const QWidget* w) {
  return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
         qobject_cast<const QTextEdit*>(w) || qobject_cast<const QAbstractItemView*>(w);
}

// Qt containers that are themselves built from QFrame or a scroll area, and so would be taken
// for leaf controls below.
bool IsKnownContainer(const QWidget* w) {
  return qobject_cast<const QGroupBox*>(w) || qobject_cast<const QStackedWidget*>(w) ||
         qobject_cast<const QTabWidget*>(w) || qobject_cast<const QSplitter*>(w) ||
         qobject_cast<const QToolBox*>(w) || qobject_cast<const QDialogButtonBox*>(w) ||
         qobject_cast<const QDialog*>(w) || qobject_cast<const QMainWindow*>(w);
}

// Controls whose children are their own inner parts (a combo box's editor, a spin box's line
// edit, a scroll area's bars): never walked into.
bool IsLeafControl(const QWidget* w) {
  return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QComboBox*>(w) ||
         qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
         qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const QProgressBar*>(w) ||
         qobject_cast<const QLabel*>(w);
}

void Tint(QWidget* w, bool enabled) {
  const QPalette system = QApplication::palette(w);
  const QColor colour = system.color(QPalette::Active, enabled ? QPalette::Base : QPalette::Button);
  QPalette palette = w->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, colour);
  }
  w->setPalette(palette);
}

}  // namespace

void EnableControlTree(QWidget* control, bool enabled) {
  if (control == nullptr) return;
  control->setEnabled(enabled);

  if (auto* label = qobject_cast<QLabel*>(control)) {
    EnableControlTree(label->buddy(), enabled);
    return;
  }
  if (IsEditable(control)) {
    Tint(control, enabled);
    return;
  }
  if (auto* scroll = qobject_cast<QScrollArea*>(control)) {
    EnableControlTree(scroll->widget(), enabled);
    return;
  }
  if (IsKnownContainer(control) || control->isWindow() || !IsLeafControl(control)) {
    const QList<QWidget*> children = control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
      // A dialog or other window parented here is owned, not contained.
      if (!child->isWindow()) EnableControlTree(child, enabled);
    }
  }
}

}  // namespace vantrel
