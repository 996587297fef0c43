// The rows of a plan for a table view: Action, Path, Size; sortable by any column.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/RunPlan.h"

namespace vantrel {

class TPlanModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { colAction, colPath, colSize, colCount };

  explicit TPlanModel(QObject* parent = nullptr);

  // Shows `plan` (not owned; null for none) in its own order, with paths below `folder1` and
  // `folder2` shown relative to them (the full path is the tooltip). Call again after the plan
  // changed.
  void SetPlan(const RunPlan* plan, const std::string& folder1 = std::string(),
               const std::string& folder2 = std::string());

  // "Copy to Folder 2", "Replace in Folder 1", "Create folder", "Remove file", ...
  static QString ActionText(ActionKind kind, bool toFolder1);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 private:
  // The plan's action for a row of the view, read once for the rows painted one after another.
  const PlannedAction* At(int row) const;

  // `path` without the top folder it lies in.
  QString Shown(const std::string& path, bool toFolder1) const;

  const RunPlan* plan_ = nullptr;
  std::string top1_;  // the top folders with their separator
  std::string top2_;
  std::vector<std::uint32_t> order_;  // row -> index in the plan; empty: the plan's own order
  mutable PlannedAction cached_;
  mutable long cachedIndex_ = -1;
};

}  // namespace vantrel
