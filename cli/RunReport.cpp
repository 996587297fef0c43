#include "cli/RunReport.h"

#include "cli/Utf8Text.h"

namespace vantrel::cli {
namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::string ActionLine(const RunAction& action, bool toTrash) {
  switch (action.kind) {
    case ActionKind::kCopyFile:
    case ActionKind::kReplaceFile:
      return "Copy file " + Quoted(action.source) + " to " + Quoted(action.path);
    case ActionKind::kRemoveFile:
      return toTrash ? "Move file " + Quoted(action.path) + " to the trash"
                     : "Delete file " + Quoted(action.path);
    case ActionKind::kRemoveFolder:
      return toTrash ? "Move folder " + Quoted(action.path) + " to the trash"
                     : "Delete folder " + Quoted(action.path);
    case ActionKind::kRenameFile:
      return "Rename file " + Quoted(action.path) + " to " + Quoted(action.source);
    case ActionKind::kCreateFolder:
      break;
  }
  return {};
}

nlohmann::json ActionJson(const RunAction& action) {
  nlohmann::json object;
  switch (action.kind) {
    case ActionKind::kCopyFile:
    case ActionKind::kReplaceFile:
      object["action"] = "copy";
      object["kind"] = "file";
      object["path"] = ValidUtf8(action.source);
      object["to"] = ValidUtf8(action.path);
      break;
    case ActionKind::kRemoveFile:
    case ActionKind::kRemoveFolder:
      object["action"] = "remove";
      object["kind"] = action.kind == ActionKind::kRemoveFile ? "file" : "folder";
      object["path"] = ValidUtf8(action.path);
      break;
    case ActionKind::kRenameFile:
      // Only on a drive that folds case: a name whose case alone differs from Folder 1's.
      object["action"] = "rename";
      object["kind"] = "file";
      object["path"] = ValidUtf8(action.path);
      object["to"] = ValidUtf8(action.source);
      break;
    case ActionKind::kCreateFolder:
      return nullptr;
  }
  object["bytes"] = action.size;
  return object;
}

nlohmann::json ReportJson(const ReportHeader& header, const RunSummary& summary,
                          nlohmann::json actions, nlohmann::json log, bool removalsListed) {
  nlohmann::json report;
  report["project"] = ValidUtf8(header.project);
  report["file"] = ValidUtf8(header.file);
  report["dry_run"] = header.dryRun;
  report["seconds"] = static_cast<double>(summary.elapsedMs) / 1000.0;
  report["looked_at"] = summary.filesLookedAt;
  report["copied"] = summary.FilesCopied();
  report["copied_bytes"] = summary.BytesCopied();
  report["removed_files"] = removalsListed ? summary.filesRemoved : 0;
  report["removed_folders"] = removalsListed ? summary.foldersRemoved : 0;
  report["removed_bytes"] = removalsListed ? summary.removedBytes : 0;
  report["failed"] = summary.failures;
  report["stopped"] = summary.stopped;
  report["actions"] = actions.is_null() ? nlohmann::json::array() : std::move(actions);
  report["log"] = log.is_null() ? nlohmann::json::array() : std::move(log);
  return report;
}

}  // namespace vantrel::cli
