// Enables or disables a whole group of controls at once, tinting the editable ones so that a
// disabled edit field or list reads as part of the greyed-out face around it.
#pragma once

class QWidget;

namespace vantrel {

// Does nothing when `control` is null. Otherwise sets the control's enabled state to `enabled`
// and then, by the first rule that fits the control's kind:
//  - a QLabel: applies itself, with the same value, to the label's buddy (if any);
//  - a QLineEdit, QPlainTextEdit, QTextEdit or item view (QAbstractItemView, e.g. the project
//    QTreeWidget): sets the palette's Base colour, in every colour group, to the application
//    palette's Base colour when enabled and to its Button colour when disabled;
//  - a QScrollArea: applies itself to the area's content widget;
//  - a container: a QGroupBox, QStackedWidget, QTabWidget, QSplitter, QToolBox,
//    QDialogButtonBox, QDialog, QMainWindow or any window, and any other widget that is not a
//    leaf control (so plain QWidget/QFrame panels and pages, and our own widget classes):
//    applies itself to each direct child widget that is not a window of its own (an owned
//    dialog), in child order;
//  - a leaf control (QAbstractButton, QComboBox, QAbstractSpinBox, QAbstractSlider, any other
//    scroll area, QProgressBar): nothing more.
// Enabling a child of a disabled widget leaves it effectively disabled, as Qt always does.
void EnableControlTree(QWidget* control, bool enabled);

}  // namespace vantrel
