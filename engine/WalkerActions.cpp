// How the passes hand their decisions on: the action texts, the summary's counts and the
// notifications around an action.
#include <cstdio>

#include "engine/SyncWalker.h"

namespace vantrel {

RunAction TFolderSynchronizer::Walker::Action(ActionKind kind, const char* name,
                                              std::uint64_t size) {
  const bool removal = kind == ActionKind::kRemoveFile || kind == ActionKind::kRemoveFolder;
  // The removal pass walks the cleaned tree as its "source".
  actionPath_.assign(removal ? sourcePath_ : targetPath_).append(name);
  if (removal) {
    actionSource_.clear();
  } else {
    actionSource_.assign(sourcePath_).append(name);
  }
  return RunAction{kind, toFolder1_ && !removal, actionPath_, actionSource_, size};
}

void TFolderSynchronizer::Walker::Performed(const RunAction& action, int error) {
  if (error == 0) {
    RunSummary& summary = owner_.summary_;
    switch (action.kind) {
      case ActionKind::kCreateFolder:
        ++summary.foldersCreated;
        break;
      case ActionKind::kCopyFile:
      case ActionKind::kReplaceFile: {
        RunSummary::Copies& copies = action.toFolder1 ? summary.toFolder1 : summary.toFolder2;
        ++copies.files;
        copies.bytes += action.size;
        break;
      }
      case ActionKind::kRemoveFile:
        ++summary.filesRemoved;
        summary.removedBytes += action.size;
        break;
      case ActionKind::kRemoveFolder:
        ++summary.foldersRemoved;
        summary.removedBytes += action.size;
        break;
      case ActionKind::kRenameFile:
        break;
    }
  }
  if (owner_.OnAction) owner_.OnAction(action, error);
}

bool TFolderSynchronizer::Walker::CopyProgress(std::uint64_t done, std::uint64_t size) {
  if (copying_ != nullptr && size > 0) {
    char percent[16];
    std::snprintf(percent, sizeof percent, " (%d%%)", static_cast<int>(done * 100 / size));
    line_.assign("Copying file \"").append(copying_->path).push_back('"');
    line_.append(percent);
    Notify(line_);
  }
  return !Terminated();
}

}  // namespace vantrel
