// The project object: settings with their change tracking, texts, and the run.
#include "engine/uVantrelProject.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <cerrno>
#include <ctime>
#include <stdexcept>

#include "engine/DryRunExecutor.h"
#include "engine/FileSystem.h"
#include "engine/Masks.h"
#include "engine/RealRunExecutor.h"
#include "engine/SyncWalker.h"
#include "engine/TopFolders.h"
#include "engine/UniqueFd.h"

namespace vantrel {
namespace {

constexpr char kLineEnd[] = "\r\n";

template <typename T>
void Store(T& field, const T& value, bool& modified) {
  if (field == value) return;
  field = value;
  modified = true;
}

void StoreMasks(std::vector<std::string>& masks, const std::string& text, bool& modified) {
  if (JoinCommaText(masks) == text) return;
  masks = SplitCommaText(text);
  modified = true;
}

// A walk holds a few descriptors per folder level; very deep trees need more than the
// usual soft limit, so it is raised to the hard limit once.
void RaiseDescriptorLimit() {
  static bool raised = false;
  if (raised) return;
  raised = true;
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

TFolderSynchronizer::TFolderSynchronizer(std::string fileName) : fileName_(std::move(fileName)) {}

TFolderSynchronizer::~TFolderSynchronizer() = default;

void TFolderSynchronizer::WriteLine(const std::string& line) {
  (previewing_ ? previewLog_ : resultLog_).Append(line);
  if (line.compare(0, 7, "Cannot ") == 0) ++summary_.failures;
  Notify(line);
}

void TFolderSynchronizer::Notify(const std::string& text) {
  UpdateElapsed();
  if (OnProgress) OnProgress(*this, text);
}

void TFolderSynchronizer::UpdateElapsed() {
  summary_.elapsedMs =
      static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - walkStart_)
                                     .count());
}

RunOptions TFolderSynchronizer::TakeOptions() const {
  RunOptions options;
  options.folder1 = folder1_;
  options.folder2 = folder2_;
  options.copyMode = copyMode_;
  options.exactCopy = exactCopy_;
  options.includeSubfolders = includeSubfolders_;
  options.advancedOptions = advancedOptions_;
  options.includeMasks = includeMasks_;
  options.excludeMasks = excludeMasks_;
  options.processHidden = processHidden_;
  options.processSystem = processSystem_;
  return options;
}

bool TFolderSynchronizer::Run() {
  terminated_ = false;
  resultLog_.Clear();
  removalAnswer_ = mrNone;
  StartWalk();
  // Taken once; the handlers that run during the walk cannot change what this run does.
  const RunOptions options = TakeOptions();
  FileSystem& fs = fileSystem_ != nullptr ? *fileSystem_ : *FileSystem::Default();
  RealRunExecutor executor(fs);

  // The coarse clock is the one file times come from, so nothing this run creates can look
  // older than its start.
  struct timespec start;
  clock_gettime(CLOCK_REALTIME_COARSE, &start);

  EnsureFolderExists(fs, options.folder1);
  EnsureFolderExists(fs, options.folder2);
  Walk(options, fs, executor, start, false);
  return true;
}

bool TFolderSynchronizer::Preview() {
  terminated_ = false;
  previewLog_.Clear();
  plan_.Clear();
  StartWalk();
  const RunOptions options = TakeOptions();
  FileSystem& fs = fileSystem_ != nullptr ? *fileSystem_ : *FileSystem::Default();
  DryRunExecutor executor(plan_);
  struct timespec start;
  clock_gettime(CLOCK_REALTIME_COARSE, &start);
  struct Previewing {
    bool& flag;
    ~Previewing() { flag = false; }
  };
  previewing_ = true;
  const Previewing previewing{previewing_};
  Walk(options, fs, executor, start, true);
  return true;
}

void TFolderSynchronizer::StartWalk() {
  summary_ = RunSummary();
  walkStart_ = std::chrono::steady_clock::now();
}

void TFolderSynchronizer::Walk(const RunOptions& options, FileSystem& fs, RunExecutor& executor,
                               const struct timespec& start, bool planMissing) {
  // The summary is complete however the walk ends, an invalid mask's error included.
  struct Finish {
    TFolderSynchronizer& project;
    ~Finish() {
      project.UpdateElapsed();
      project.summary_.stopped = project.terminated_;
    }
  };
  const Finish finish{*this};
  const std::string& folder1 = options.folder1;
  const std::string& folder2 = options.folder2;
  RaiseDescriptorLimit();
  UniqueFd fd1(fs, fs.OpenAt(AT_FDCWD, folder1.c_str(), O_PATH | O_DIRECTORY, 0));
  const int error1 = fd1.valid() ? 0 : errno;
  UniqueFd fd2(fs, fs.OpenAt(AT_FDCWD, folder2.c_str(), O_PATH | O_DIRECTORY, 0));
  const int error2 = fd2.valid() ? 0 : errno;
  if (fd1.valid() && fd2.valid() && FoldersOverlap(fs, fd1.get(), fd2.get())) {
    throw std::runtime_error("Cannot synchronize \"" + folder1 + "\" with \"" + folder2 +
                             "\": one folder contains the other");
  }
  if (options.copyMode != 0 && options.copyMode != 1) return;

  Walker walker(*this, options, fs, executor, start);
  executor.SetCopyProgress([&walker](std::uint64_t done, std::uint64_t size) {
    return walker.CopyProgress(done, size);
  });
  // A folder that only the plan makes is walked as an empty one.
  const auto planned = [&](const std::string& folder, const UniqueFd& fd, int error) {
    if (!planMissing || fd.valid() || error != ENOENT) return fd.get();
    const RunAction action{ActionKind::kCreateFolder, &folder == &folder1, folder, {}, 0};
    executor.MakeFolder(action, AT_FDCWD, folder.c_str());
    ++summary_.foldersCreated;
    if (OnAction) OnAction(action, 0);
    return kNotCarriedOut;
  };
  const TopFolder top1{folder1, planned(folder1, fd1, error1), error1};
  const TopFolder top2{folder2, planned(folder2, fd2, error2), error2};
  walker.CopyNewerFiles(top1, top2);
  if (options.copyMode == 0) {
    walker.CopyNewerFiles(top2, top1);
  } else if (options.exactCopy) {
    walker.RemoveExtraEntries(top2, top1);
  }
}

std::string TFolderSynchronizer::GetCaptionText() const {
  return "Folder \"" + folder1_ + "\" and \"" + folder2_ + "\"";
}

std::string TFolderSynchronizer::GetExcludeText() const { return JoinCommaText(excludeMasks_); }

std::string TFolderSynchronizer::GetIncludeText() const { return JoinCommaText(includeMasks_); }

std::string TFolderSynchronizer::GetResultText() const {
  if (resultLog_.empty()) return "No files processed ... ";
  std::string text;
  for (const std::string& line : resultLog_.Lines()) text.append(line).append(kLineEnd);
  return text;
}

std::string TFolderSynchronizer::GetSummaryText() const {
  std::string mode;
  if (copyMode_ == 0) {
    mode = "  Bidirectional";
  } else if (copyMode_ == 1) {
    mode = exactCopy_ ? "  Unidirectional (exact copy)" : "  Unidirectional";
  }
  std::string text;
  text.append("Folders:").append(kLineEnd);
  text.append("  1-st folder: ").append(folder1_).append(kLineEnd);
  text.append("  2-nd folder: ").append(folder2_).append(kLineEnd);
  text.append(kLineEnd);
  text.append("Syncronize mode:").append(kLineEnd);
  text.append(mode).append(includeSubfolders_ ? " with subfolders" : " without subfolders");
  text.append(kLineEnd);
  text.append(kLineEnd);
  if (advancedOptions_) {
    text.append("Include files: ").append(GetIncludeText()).append(kLineEnd);
    text.append("Exclude files: ").append(GetExcludeText()).append(kLineEnd);
  } else {
    text.append("Include files: All files").append(kLineEnd);
  }
  return text;
}

void TFolderSynchronizer::SetAdvancedOptions(bool value) {
  Store(advancedOptions_, value, modified_);
}
void TFolderSynchronizer::SetCopyMode(std::int32_t value) { Store(copyMode_, value, modified_); }
void TFolderSynchronizer::SetExactCopy(bool value) { Store(exactCopy_, value, modified_); }
void TFolderSynchronizer::SetExcludeText(const std::string& text) {
  StoreMasks(excludeMasks_, text, modified_);
}
void TFolderSynchronizer::SetFolder1(const std::string& value) {
  Store(folder1_, value, modified_);
}
void TFolderSynchronizer::SetFolder2(const std::string& value) {
  Store(folder2_, value, modified_);
}
void TFolderSynchronizer::SetIncludeText(const std::string& text) {
  StoreMasks(includeMasks_, text, modified_);
}
void TFolderSynchronizer::SetProjectName(const std::string& value) {
  Store(projectName_, value, modified_);
}
void TFolderSynchronizer::SetIncludeSubfolders(bool value) {
  Store(includeSubfolders_, value, modified_);
}
// The hidden and system switches are not counted as changes of the project.
void TFolderSynchronizer::SetProcessHidden(bool value) { processHidden_ = value; }
void TFolderSynchronizer::SetProcessSystem(bool value) { processSystem_ = value; }

}  // namespace vantrel
