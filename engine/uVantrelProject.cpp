// The project object: settings with their change tracking, texts, and the run.
#include "engine/uVantrelProject.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <cerrno>
#include <ctime>
#include <stdexcept>

#include "common/FileSystem.h"
#include "common/QuotedList.h"
#include "common/UniqueFd.h"
#include "engine/DirectoryReader.h"
#include "engine/DryRunExecutor.h"
#include "engine/EntryKinds.h"
#include "engine/Masks.h"
#include "engine/RealRunExecutor.h"
#include "engine/SyncWalker.h"
#include "engine/TopFolders.h"
#include "engine/TrashRunExecutor.h"

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

void ThrowIfOverlapping(FolderOverlap overlap, const std::string& folder1,
                        const std::string& folder2) {
  if (overlap == FolderOverlap::kNone) return;
  throw std::runtime_error("Cannot synchronize \"" + folder1 + "\" with \"" + folder2 + "\": " +
                           (overlap == FolderOverlap::kSame ? "they are the same folder"
                                                            : "one folder contains the other"));
}

// Returns true iff the folder open as `fd` lists at least one entry, or cannot be listed (the
// pass then says why).
bool HasEntries(FileSystem& fs, int fd) {
  UniqueFd listing(fs, fs.OpenAt(fd, ".", O_RDONLY | O_DIRECTORY, 0));
  if (!listing.valid()) return true;
  char buffer[4096];
  DirectoryReader reader(fs, listing.get(), buffer, sizeof buffer);
  DirEntry entry;
  return reader.Next(entry) || reader.error() != 0;
}

}  // namespace

TFolderSynchronizer::TFolderSynchronizer(std::string fileName) : fileName_(std::move(fileName)) {}

TFolderSynchronizer::~TFolderSynchronizer() = default;

void TFolderSynchronizer::WriteLine(const std::string& line) {
  if (previewing_) {
    previewLog_.Append(line);
  } else {
    resultLog_.Append(line);
    if (OnResultLine) OnResultLine(line);
  }
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
  options.folder1 = ResolveFolderPath(folder1_);
  options.folder2 = ResolveFolderPath(folder2_);
  options.copyMode = copyMode_;
  options.exactCopy = exactCopy_;
  options.includeSubfolders = includeSubfolders_;
  options.advancedOptions = advancedOptions_;
  options.includeMasks = includeMasks_;
  options.excludeMasks = excludeMasks_;
  options.processHidden = processHidden_;
  options.processSystem = processSystem_;
  options.useTrash = useTrash_;
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
  std::unique_ptr<RealRunExecutor> executor = options.useTrash
                                                  ? std::make_unique<TrashRunExecutor>(fs)
                                                  : std::make_unique<RealRunExecutor>(fs);
  removesToTrash_ = options.useTrash;

  // The coarse clock is the one file times come from, so nothing this run creates can look
  // older than its start.
  struct timespec start;
  clock_gettime(CLOCK_REALTIME_COARSE, &start);

  // Refused before anything is created: a pair that overlaps must not leave a folder behind.
  ThrowIfOverlapping(PathsOverlap(fs, options.folder1, options.folder2), options.folder1,
                     options.folder2);
  // A one-way run never makes its source: a missing Folder 1 is an unplugged drive or a typo,
  // and an empty new one would make an exact copy remove everything from Folder 2.
  const int made1 = options.copyMode == 1 ? 0 : EnsureFolderExists(fs, options.folder1);
  const int made2 = EnsureFolderExists(fs, options.folder2);
  Walk(options, fs, *executor, start, false, made1, made2);
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
  ThrowIfOverlapping(PathsOverlap(fs, options.folder1, options.folder2), options.folder1,
                     options.folder2);
  struct Previewing {
    bool& flag;
    ~Previewing() { flag = false; }
  };
  previewing_ = true;
  const Previewing previewing{previewing_};
  Walk(options, fs, executor, start, true, 0, 0);
  return true;
}

void TFolderSynchronizer::StartWalk() {
  summary_ = RunSummary();
  walkStart_ = std::chrono::steady_clock::now();
}

void TFolderSynchronizer::Walk(const RunOptions& options, FileSystem& fs, RunExecutor& executor,
                               const struct timespec& start, bool planMissing, int made1,
                               int made2) {
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
    ThrowIfOverlapping(FolderOverlap::kNested, folder1, folder2);
  }
  if (options.copyMode != 0 && options.copyMode != 1) return;

  // A folder that only the plan makes is walked as an empty one; a one-way run never makes
  // Folder 1.
  const auto planned = [&](const std::string& folder, const UniqueFd& fd, int error) {
    const bool isFolder1 = &folder == &folder1;
    if (!planMissing || fd.valid() || error != ENOENT || (isFolder1 && options.copyMode == 1))
      return fd.get();
    const RunAction action{ActionKind::kCreateFolder, isFolder1, folder, {}, 0};
    executor.MakeFolder(action, AT_FDCWD, folder.c_str());
    ++summary_.foldersCreated;
    if (OnAction) OnAction(action, 0);
    return kNotCarriedOut;
  };
  const TopFolder top1{folder1, planned(folder1, fd1, error1), error1};
  const TopFolder top2{folder2, planned(folder2, fd2, error2), error2};
  // Without both folders no pass can do anything right: say why once, instead of once per file.
  if (top1.fd == -1 || top2.fd == -1) {
    if (top1.fd == -1) WriteFolderFailure(folder1, made1, error1);
    if (top2.fd == -1) WriteFolderFailure(folder2, made2, error2);
    return;
  }

  Walker walker(*this, options, fs, executor, start);
  executor.SetCopyProgress([&walker](std::uint64_t done, std::uint64_t size) {
    return walker.CopyProgress(done, size);
  });
  walker.CopyNewerFiles(top1, top2);
  if (options.copyMode == 0 && !walker.Lost()) {
    walker.CopyNewerFiles(top2, top1);
  } else if (options.copyMode == 1 && options.exactCopy && !walker.Lost()) {
    // The empty mount point of an unplugged drive looks like an emptied Folder 1: removing
    // everything from Folder 2 on that ground is never what the user wants.
    if (!HasEntries(fs, top1.fd) && HasEntries(fs, top2.fd)) {
      summary_.guarded = true;
      WriteLine("Folder \"" + folder1 + "\" is empty: nothing is removed from \"" + folder2 + "\"");
    } else {
      walker.RemoveExtraEntries(top2, top1);
    }
  }
  walker.EndPasses();
  // Flushed before the results show, so that a stick can be pulled then.
  if (planMissing) return;
  for (const TopFolder* top : {&top1, &top2}) {
    if (walker.Wrote(top->fd) && walker.LostTop() != top->fd) FlushFileSystem(fs, *top);
  }
}

void TFolderSynchronizer::WriteFolderFailure(const std::string& folder, int madeError,
                                             int openError) {
  if (madeError != 0) {
    WriteLine("Cannot create folder \"" + folder + "\": " + ErrorText(madeError));
  } else {
    WriteLine("Cannot read folder \"" + folder + "\": " + ErrorText(openError));
  }
}

void TFolderSynchronizer::FlushFileSystem(FileSystem& fs, const TopFolder& top) {
  UniqueFd folder(fs, fs.OpenAt(top.fd, ".", O_RDONLY | O_DIRECTORY, 0));
  if (folder.valid() && fs.SyncFs(folder.get()) == 0) return;
  WriteLine("Cannot flush folder \"" + std::string(top.path) + "\": " + ErrorText(errno));
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
void TFolderSynchronizer::SetUseTrash(bool value) { Store(useTrash_, value, modified_); }

}  // namespace vantrel
