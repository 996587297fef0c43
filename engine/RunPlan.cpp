#include "engine/RunPlan.h"

#include <cstring>

namespace vantrel {

void RunPlan::Clear() {
  records_.Clear();
  texts_.Clear();
  count_ = 0;
}

void RunPlan::Add(const RunAction& action) {
  Record record{};
  record.size = action.size;
  record.textOffset = texts_.size();
  record.pathLength = static_cast<std::uint32_t>(action.path.size());
  record.sourceLength = static_cast<std::uint32_t>(action.source.size());
  record.kind = static_cast<std::uint8_t>(action.kind);
  record.toFolder1 = action.toFolder1 ? 1 : 0;
  texts_.Append(action.path);
  texts_.Append(action.source);
  char bytes[sizeof(Record)];
  std::memcpy(bytes, &record, sizeof record);
  records_.Append(std::string_view(bytes, sizeof bytes));
  ++count_;
}

bool RunPlan::Get(std::size_t index, PlannedAction& out, bool withTexts) const {
  if (index >= count_) return false;
  Record record;
  char bytes[sizeof(Record)];
  if (!records_.ReadAt(std::uint64_t{index} * sizeof(Record), sizeof bytes, bytes)) return false;
  std::memcpy(&record, bytes, sizeof record);
  out.kind = static_cast<ActionKind>(record.kind);
  out.toFolder1 = record.toFolder1 != 0;
  out.size = record.size;
  if (!withTexts) return true;
  out.path.resize(record.pathLength);
  out.source.resize(record.sourceLength);
  return texts_.ReadAt(record.textOffset, record.pathLength, out.path.data()) &&
         texts_.ReadAt(record.textOffset + record.pathLength, record.sourceLength,
                       out.source.data());
}

}  // namespace vantrel
