// The project list of the wizard's first page: one row per project file, with the project's
// name (editable in place) and its description, the file's path kept out of sight in the row.
#pragma once

#include <QString>
#include <QTreeWidget>
#include <functional>
#include <string>

class QFocusEvent;
class QKeyEvent;
class QMouseEvent;

namespace vantrel {

class TProjectListView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TProjectListView(QWidget* parent = nullptr);

  // Called when an in-place edit of a row's name is about to open; returning false keeps the
  // editor closed.
  std::function<bool(QTreeWidgetItem* item)> OnEditing;
  // Called after an edit was confirmed and its editor has closed, with the text as entered (the
  // row already shows it). Not called for an edit abandoned with Escape.
  std::function<void(QTreeWidgetItem* item, const QString& text)> OnEdited;
  // Called first for every key pressed in the list; returning true consumes the key.
  std::function<bool(int key)> OnKeyDown;

  // Adds a row (not yet in order; see SortRows) and returns it.
  QTreeWidgetItem* AddRow(const QString& name, const QString& description,
                          const std::string& fileName);
  // Puts the rows in ascending order of their names (locale-aware, case-sensitive; rows with
  // equal names keep their order).
  void SortRows();
  // The project file path a row stands for, byte for byte as it was added; empty for null.
  static std::string RowFileName(const QTreeWidgetItem* item);
  // The selected row, or null.
  QTreeWidgetItem* SelectedRow() const;
  // True while a name editor is open.
  bool Editing() const { return state() == EditingState; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Taking the focus with nothing selected selects the first row, so that the keys and the
  // buttons that act on the selection work at once.
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void commitData(QWidget* editor) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  friend class TRowNameDelegate;
  QTreeWidgetItem* editedItem_ = nullptr;
  QString editedText_;
  bool editCommitted_ = false;
};

}  // namespace vantrel
