#include "ui/UPlanModel.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "ui/RunSummaryText.h"

namespace vantrel {

TPlanModel::TPlanModel(QObject* parent) : QAbstractTableModel(parent) {}

void TPlanModel::SetPlan(const RunPlan* plan, const std::string& folder1,
                         const std::string& folder2) {
  beginResetModel();
  plan_ = plan;
  top1_ = folder1.empty() || folder1.back() == '/' ? folder1 : folder1 + '/';
  top2_ = folder2.empty() || folder2.back() == '/' ? folder2 : folder2 + '/';
  order_.clear();
  cachedIndex_ = -1;
  endResetModel();
}

QString TPlanModel::ActionText(ActionKind kind, bool toFolder1) {
  const QString folder = toFolder1 ? QStringLiteral("Folder 1") : QStringLiteral("Folder 2");
  switch (kind) {
    case ActionKind::kCreateFolder:
      return QStringLiteral("Create folder in ") + folder;
    case ActionKind::kCopyFile:
      return QStringLiteral("Copy to ") + folder;
    case ActionKind::kReplaceFile:
      return QStringLiteral("Replace in ") + folder;
    case ActionKind::kRemoveFile:
      return QStringLiteral("Remove file");
    case ActionKind::kRemoveFolder:
      return QStringLiteral("Remove folder");
    case ActionKind::kRenameFile:
      return QStringLiteral("Rename file");
  }
  return QString();
}

QString TPlanModel::Shown(const std::string& path, bool toFolder1) const {
  const std::string& top = toFolder1 ? top1_ : top2_;
  if (top.empty() || path.size() <= top.size() || path.compare(0, top.size(), top) != 0) {
    return QString::fromStdString(path);
  }
  return QString::fromUtf8(path.data() + top.size(),
                           static_cast<qsizetype>(path.size() - top.size()));
}

int TPlanModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || plan_ == nullptr ? 0 : static_cast<int>(plan_->size());
}

int TPlanModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : colCount;
}

const PlannedAction* TPlanModel::At(int row) const {
  if (plan_ == nullptr || row < 0 || static_cast<std::size_t>(row) >= plan_->size()) return nullptr;
  const long index =
      order_.empty() ? row : static_cast<long>(order_[static_cast<std::size_t>(row)]);
  if (index != cachedIndex_) {
    if (!plan_->Get(static_cast<std::size_t>(index), cached_)) return nullptr;
    cachedIndex_ = index;
  }
  return &cached_;
}

QVariant TPlanModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::TextAlignmentRole) {
    return QVariant();
  }
  if (role == Qt::TextAlignmentRole) {
    return index.column() == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
  }
  const PlannedAction* action = At(index.row());
  if (action == nullptr) return QVariant();
  switch (index.column()) {
    case colAction:
      return ActionText(action->kind, action->toFolder1);
    case colPath:
      if (role == Qt::ToolTipRole) {
        return action->source.empty()
                   ? QString::fromStdString(action->path)
                   : QString::fromStdString(action->source) + QStringLiteral("\n  to ") +
                         QString::fromStdString(action->path);
      }
      return Shown(action->path, action->toFolder1);
    case colSize:
      if (action->kind == ActionKind::kCreateFolder || action->kind == ActionKind::kRenameFile) {
        return QString();
      }
      return BytesText(action->size);
    default:
      return QVariant();
  }
}

QVariant TPlanModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  switch (section) {
    case colAction:
      return QStringLiteral("Action");
    case colPath:
      return QStringLiteral("Path");
    case colSize:
      return QStringLiteral("Size");
    default:
      return QVariant();
  }
}

void TPlanModel::sort(int column, Qt::SortOrder order) {
  if (plan_ == nullptr) return;
  if (column < 0 || column >= colCount) {  // no column: the plan's own order
    emit layoutAboutToBeChanged();
    order_.clear();
    cachedIndex_ = -1;
    emit layoutChanged();
    return;
  }
  const std::size_t count = plan_->size();
  std::vector<std::uint32_t> rows(count);
  std::iota(rows.begin(), rows.end(), 0u);
  // The keys are read from the plan once, in its order (which its store reads fastest); the
  // paths go into one buffer rather than a string each.
  PlannedAction action;
  if (column == colPath) {
    std::string texts;
    std::vector<std::uint64_t> starts(count + 1);
    for (std::size_t i = 0; i < count; ++i) {
      starts[i] = texts.size();
      if (plan_->Get(i, action)) texts += action.path;
    }
    starts[count] = texts.size();
    const auto key = [&](std::uint32_t i) {
      return std::string_view(texts).substr(starts[i], starts[i + 1] - starts[i]);
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
  } else {
    std::vector<std::uint64_t> keys(count);
    for (std::size_t i = 0; i < count; ++i) {
      if (!plan_->Get(i, action, false)) continue;
      keys[i] = column == colSize ? action.size
                                  : static_cast<std::uint64_t>(action.kind) * 2 + action.toFolder1;
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
  }
  if (order == Qt::DescendingOrder) std::reverse(rows.begin(), rows.end());
  emit layoutAboutToBeChanged();
  order_ = std::move(rows);
  cachedIndex_ = -1;
  emit layoutChanged();
}

}  // namespace vantrel
