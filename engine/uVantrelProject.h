// One synchronization project: the two folders, the mode and options, and the run.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ModalResult.h"
#include "engine/ResultLogStore.h"
#include "engine/RunExecutor.h"
#include "engine/RunOptions.h"
#include "engine/RunPlan.h"
#include "engine/RunSummary.h"

namespace vantrel {

class FileSystem;
class TFolderSynchronizer;
struct TopFolder;

// Receives one line of text for every file a pass looks at, and each result-log line.
using TSyncProgressEvent =
    std::function<void(TFolderSynchronizer& sender, const std::string& text)>;

// Asked before each removal with the kind ("file" or "folder") and the path; returns one of
// mrYes, mrYesToAll, mrNo, mrNoToAll, mrCancel.
using TConfirmRemovalEvent = std::function<int(const std::string& kind, const std::string& path)>;

// Told of every action a pass handed to its executor, with the executor's result (0 or an
// errno value).
using TActionEvent = std::function<void(const RunAction& action, int error)>;

// Told of each line as Run writes it to ResultLog(), before OnProgress hears of it.
using TResultLineEvent = std::function<void(const std::string& line)>;

class TFolderSynchronizer {
 public:
  // `fileName` is the project file's full path; it never changes.
  explicit TFolderSynchronizer(std::string fileName);
  ~TFolderSynchronizer();
  TFolderSynchronizer(const TFolderSynchronizer&) = delete;
  TFolderSynchronizer& operator=(const TFolderSynchronizer&) = delete;

  // Runs the synchronization on the calling thread and returns true. Single-file failures are
  // written to ResultLog(). Throws EMaskException when an invalid mask is reached (what was
  // done before stays done), and std::runtime_error when the two folders are the same folder
  // or one lies inside the other, or would once created (nothing is done then). Folders typed
  // with "~" or relative are taken in the home folder. A one-way run never creates Folder 1.
  // Each file system written into is flushed before Run returns.
  bool Run();

  // Walks the trees as Run would now, but creates, copies, removes and asks nothing: every
  // removal counts as answered "Yes to all". Fills Plan() with the actions in the order Run
  // would take them, Summary() with their counts, and PreviewLog() with the lines Run would
  // write; ResultLog() keeps the last run's. A missing top folder is planned to be made.
  // Returns true; throws as Run does. Terminate() stops it.
  bool Preview();
  const RunPlan& Plan() const { return plan_; }
  const std::vector<std::string>& PreviewLog() const { return previewLog_.Lines(); }

  // What the last Run or Preview did, or is doing while it runs.
  const RunSummary& Summary() const { return summary_; }
  // The settings as a run takes them.
  RunOptions TakeOptions() const;

  // Asks a running pass to stop at its next file. Safe to call from OnProgress or
  // OnConfirmRemoval (same thread).
  void Terminate() { terminated_ = true; }

  std::string GetCaptionText() const;
  std::string GetExcludeText() const;
  std::string GetIncludeText() const;
  std::string GetResultText() const;
  std::string GetSummaryText() const;

  // Project file persistence (implemented with the project storage). Throw std::runtime_error
  // carrying the storage's message; Modified() is cleared only when they succeed.
  void Load();
  void Save();

  // Setters: store the value; all but the hidden and system ones set Modified() when it differs.
  void SetAdvancedOptions(bool value);
  void SetCopyMode(std::int32_t value);
  void SetExactCopy(bool value);
  void SetExcludeText(const std::string& text);
  void SetFolder1(const std::string& value);
  void SetFolder2(const std::string& value);
  void SetIncludeText(const std::string& text);
  void SetProjectName(const std::string& value);
  void SetIncludeSubfolders(bool value);
  void SetProcessHidden(bool value);
  void SetProcessSystem(bool value);
  // On (the default): the removal pass moves entries to the desktop's trash instead of deleting
  // them, and a copy that replaces a file moves the old version there first.
  void SetUseTrash(bool value);

  bool Modified() const { return modified_; }
  const std::string& Folder1() const { return folder1_; }
  const std::string& Folder2() const { return folder2_; }
  std::int32_t CopyMode() const { return copyMode_; }
  bool ExactCopy() const { return exactCopy_; }
  const std::vector<std::string>& IncludeMasks() const { return includeMasks_; }
  const std::vector<std::string>& ExcludeMasks() const { return excludeMasks_; }
  // The lines of the last (or current) run. Kept out of memory while the run writes them;
  // the first call after new lines were written reads them back.
  const std::vector<std::string>& ResultLog() const { return resultLog_.Lines(); }
  // The number of lines in ResultLog(), without reading them back.
  std::size_t ResultLogSize() const { return resultLog_.size(); }
  const std::string& FileName() const { return fileName_; }
  const std::string& ProjectName() const { return projectName_; }
  bool IncludeSubfolders() const { return includeSubfolders_; }
  bool AdvancedOptions() const { return advancedOptions_; }
  bool Terminated() const { return terminated_; }
  bool ProcessSystem() const { return processSystem_; }
  bool ProcessHidden() const { return processHidden_; }
  bool UseTrash() const { return useTrash_; }
  // While a run asks before a removal: whether that removal moves the entry to the trash.
  bool RemovesToTrash() const { return removesToTrash_; }

  // The file system the passes use; nullptr (the default) means FileSystem::Default().
  // Not owned; must outlive every Run.
  void SetFileSystem(FileSystem* fs) { fileSystem_ = fs; }

  TSyncProgressEvent OnProgress;
  TConfirmRemovalEvent OnConfirmRemoval;
  TActionEvent OnAction;
  // Preview's lines are not told: they go to PreviewLog().
  TResultLineEvent OnResultLine;

 private:
  class Walker;  // the passes of one run
  friend class Walker;

  // Writes why a top folder cannot be used: it could not be made, or not opened.
  void WriteFolderFailure(const std::string& folder, int madeError, int openError);
  // Flushes the file system of a top folder that the run wrote into; a failure is a line.
  void FlushFileSystem(FileSystem& fs, const TopFolder& top);
  // Takes one walk of the trees with `executor`; Run's body after its folders are made, with
  // the errors of making them. `planMissing`: a top folder that does not exist is planned with
  // `executor` (a preview), and nothing is flushed.
  void Walk(const RunOptions& options, FileSystem& fs, RunExecutor& executor,
            const struct timespec& start, bool planMissing, int made1, int made2);
  void StartWalk();

  // Appends to the log and notifies OnProgress with the same line.
  void WriteLine(const std::string& line);
  // Notifies OnProgress only.
  void Notify(const std::string& text);
  void UpdateElapsed();

  bool modified_ = false;
  std::string folder1_;
  std::string folder2_;
  std::int32_t copyMode_ = 0;
  bool exactCopy_ = false;
  std::vector<std::string> includeMasks_;
  std::vector<std::string> excludeMasks_;
  ResultLogStore resultLog_;
  std::string fileName_;
  std::string projectName_;
  bool includeSubfolders_ = false;
  bool advancedOptions_ = false;
  bool terminated_ = false;
  bool processSystem_ = false;
  bool processHidden_ = false;
  bool useTrash_ = true;
  bool removesToTrash_ = false;  // of the run under way
  int removalAnswer_ = mrNone;   // remembered across one run
  RunSummary summary_;
  RunPlan plan_;
  ResultLogStore previewLog_;
  bool previewing_ = false;  // the lines go to previewLog_
  std::chrono::steady_clock::time_point walkStart_;
  FileSystem* fileSystem_ = nullptr;
};

}  // namespace vantrel
