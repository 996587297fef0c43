#include "ui/UMainProjectList.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace vantrel {
namespace {

constexpr int kFileNameRole = Qt::UserRole + 1;

class TProjectItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override {
    return QString::localeAwareCompare(text(0), other.text(0)) < 0;
  }
};

}  // namespace

// Opens name editors only for the first column, and only when the list's owner agrees: the owner
// makes the row's project current before the user types (and may fail doing so).
class TRowNameDelegate : public QStyledItemDelegate {
 public:
  explicit TRowNameDelegate(TProjectListView* view) : QStyledItemDelegate(view), view_(view) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    if (index.column() != 0) return nullptr;
    QTreeWidgetItem* item = view_->itemFromIndex(index);
    if (view_->OnEditing && !view_->OnEditing(item)) return nullptr;
    view_->editedItem_ = item;
    view_->editCommitted_ = false;
    return QStyledItemDelegate::createEditor(parent, option, index);
  }

 private:
  TProjectListView* view_;
};

TProjectListView::TProjectListView(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(2);
  setHeaderLabels({QStringLiteral("Project Name"), QStringLiteral("Description")});
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->resizeSection(0, 150);
  header()->resizeSection(1, 400);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSortingEnabled(false);  // the rows are ordered by name only, never by a header click
  // F2 is handled by the owner (with any modifier); a click on the selected row's name edits.
  setEditTriggers(QAbstractItemView::SelectedClicked);
  setItemDelegate(new TRowNameDelegate(this));
  // The selection stays visible, in the same colours, when the list loses the focus.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight,
             p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);
}

QTreeWidgetItem* TProjectListView::AddRow(const QString& name, const QString& description,
                                          const std::string& fileName) {
  auto* item = new TProjectItem(this);
  item->setText(0, name);
  item->setText(1, description);
  item->setData(0, kFileNameRole, QByteArray::fromStdString(fileName));
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  return item;
}

void TProjectListView::SortRows() { sortItems(0, Qt::AscendingOrder); }

std::string TProjectListView::RowFileName(const QTreeWidgetItem* item) {
  return item ? item->data(0, kFileNameRole).toByteArray().toStdString() : std::string();
}

QTreeWidgetItem* TProjectListView::SelectedRow() const {
  const QList<QTreeWidgetItem*> rows = selectedItems();
  return rows.isEmpty() ? nullptr : rows.first();
}

void TProjectListView::keyPressEvent(QKeyEvent* event) {
  if (OnKeyDown && OnKeyDown(event->key())) {
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

// A click into the empty part of the list leaves no row selected.
void TProjectListView::mousePressEvent(QMouseEvent* event) {
  if (!indexAt(event->position().toPoint()).isValid()) {
    clearSelection();
    setCurrentItem(nullptr);
  }
  QTreeWidget::mousePressEvent(event);
}

void TProjectListView::commitData(QWidget* editor) {
  if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    editedText_ = line->text();
    editCommitted_ = true;
  }
  QTreeWidget::commitData(editor);
}

// The owner hears of a confirmed edit only once the editor is gone, so that a question it asks
// cannot make the closing editor commit a second time.
void TProjectListView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTreeWidget::closeEditor(editor, hint);
  QTreeWidgetItem* item = editedItem_;
  const bool committed = editCommitted_;
  editedItem_ = nullptr;
  editCommitted_ = false;
  if (committed && item && OnEdited) OnEdited(item, editedText_);
}

void TProjectListView::focusInEvent(QFocusEvent* event) {
  QTreeWidget::focusInEvent(event);
  if (SelectedRow() == nullptr && topLevelItemCount() > 0) {
    setCurrentItem(topLevelItem(0));
    topLevelItem(0)->setSelected(true);
  }
}

}  // namespace vantrel
