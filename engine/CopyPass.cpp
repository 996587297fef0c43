// The copy pass: brings a destination tree up to date from a source tree.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <unordered_map>
#include <utility>

#include "common/CoreApi.h"
#include "engine/CaseFolding.h"
#include "engine/DriveTraits.h"
#include "engine/FileTimes.h"
#include "engine/FolderDescent.h"
#include "engine/SyncTexts.h"
#include "engine/SyncWalker.h"
#include "common/UniqueFd.h"

namespace vantrel {

// A folder of the destination tree, looked up and created only when a file needs it.
struct TFolderSynchronizer::Walker::DestFolder {
  enum State { kUnknown, kOpen, kMissing, kFailed };

  DestFolder* parent = nullptr;  // nullptr for the top folder, which is never kUnknown
  const char* name = nullptr;    // entry name in the parent (in the source listing buffer)
  State state = kUnknown;
  int fd = -1;     // when kOpen
  UniqueFd owned;  // the descriptor, when this level opened it
  int error = 0;   // when kFailed: why it cannot be used
  bool reported = false;  // when kFailed: a line said so already, for everything inside
  bool swept = false;     // our stale temporaries were looked for, or it is new
  int folding = -1;       // whether it takes names that differ in case for one: -1 unknown
  std::size_t pathLength = 0;  // of its text in targetPath_, with the separator
  dev_t device = 0;
  bool deviceKnown = false;
  LookupAhead::Batch* lookups = nullptr;  // of the level listing the source of this folder
  bool planned = false;  // kMissing, but made in the executor's plan
  // The names of the source folder handled so far, by their folded case, while the folder
  // may fold case.
  std::unordered_map<std::string, std::string> caseNames;
};

void TFolderSynchronizer::Walker::CopyNewerFiles(const TopFolder& source,
                                                 const TopFolder& destination) {
  if (Terminated()) return;
  UniqueFd listing(fs_, OpenTopListing(source, destination));
  if (!listing.valid()) return;
  toFolder1_ = destination.path == options_.folder1;
  // Both trees, for every pass of the run: the first pass is the one that finds them cold.
  // Folder 2 is listed by a second pass, or by the removal of what Folder 1 lacks.
  warmer_.Start({source.fd, destination.fd}, options_.includeSubfolders, options_.processHidden,
                options_.copyMode == 0 || options_.exactCopy);
  DestFolder top;
  top.pathLength = targetPath_.size();
  writtenTop_ = destination.fd;
  if (destination.fd == kNotCarriedOut) {
    top.state = DestFolder::kMissing;
    top.planned = true;
  } else if (destination.fd >= 0) {
    top.state = DestFolder::kOpen;
    top.fd = destination.fd;
  } else {
    top.state = DestFolder::kFailed;
    top.error = destination.error;
    top.reported = true;  // the run said why before the pass
  }
  CopyLevel(listing.get(), top, 0);
  EndPass();
}

void TFolderSynchronizer::Walker::CopyLevel(int sourceFd, DestFolder& destination,
                                            std::size_t depth) {
  std::size_t size;
  char* buffer = buffers_.Get(depth, &size);
  DirectoryReader reader(fs_, sourceFd, buffer, size);
  LookupAhead::Batch& lookups = lookAhead_.ForDepth(depth);
  const BatchScope scope(lookups);
  destination.lookups = &lookups;
  warmer_.Entered();
  DirEntry entry;
  EntryKind kind;
  while (NextEntry(reader, entry, lookups, destination)) {
    if (!Listed(sourceFd, entry, &kind)) {
      // An entry that could not be looked at is not copied, and that is a failed copy.
      if (lookupError_ != 0 && !Halted() && filter_.Takes(entry.name)) {
        WriteCopyLine(entry.name, lookupError_);
      }
      continue;
    }
    if (kind == EntryKind::kFolder) {
      if (!Halted() && !CaseClash(destination, entry.name, true)) {
        EnterSourceFolder(sourceFd, entry.name, destination, depth);
      }
      continue;
    }
    if (Halted()) {
      if (Terminated()) WriteLine(kTerminatedByUser);
      return;
    }
    if (!filter_.Takes(entry.name)) {
      Notify(kCheckingFiles);
      continue;
    }
    ++owner_.summary_.filesLookedAt;
    CopyEntry(sourceFd, entry.name, kind, destination, lookups);
    if (std::exchange(copyStopped_, false)) return;
  }
  if (reader.error() != 0 && !Halted())
    WriteCannotRead(FolderText(sourcePath_, sourceTop_, depth), reader.error());
}

void TFolderSynchronizer::Walker::EnterSourceFolder(int sourceFd, const char* name,
                                                    DestFolder& destination, std::size_t depth) {
  const bool entered =
      DescendInto(fs_, sourceFd, name, sourcePath_, targetPath_, [&](int folderFd) {
        DestFolder child;
        child.parent = &destination;
        child.name = name;
        child.pathLength = targetPath_.size();
        CopyLevel(folderFd, child, depth + 1);
      });
  if (!entered && errno != ENOENT) WriteCannotRead(sourcePath_, name, errno);
}

void TFolderSynchronizer::Walker::CopyEntry(int sourceFd, const char* name, EntryKind kind,
                                            DestFolder& destination,
                                            LookupAhead::Batch& lookups) {
  if (CaseClash(destination, name, false)) return;
  // One lookup of the destination tells whether it exists as a file and its time; the
  // source's time is read only when there is something to compare it with.
  bool destinationExists = false;
  struct stat source;
  bool sourceKnown = false;
  const int lookupFd = LookupFd(destination);
  if (lookupFd >= 0) {
    const LookedUp target = lookups.Get(lookupFd, name);
    if (target.error == 0) {
      destinationExists = true;
      LearnFolding(destination, name);
      if (!S_ISDIR(target.mode)) {
        sourceKnown = true;
        if (fs_.StatAt(sourceFd, name, &source, AT_SYMLINK_NOFOLLOW) != 0) {
          WriteCopyLine(name, errno);
          return;
        }
        if (!IsNewer(source.st_mtim.tv_sec, source.st_size, target.mtime, target.size)) {
          Notify(kCheckingFiles);
          return;
        }
      }
    } else if (target.error != ENOENT) {
      WriteCopyLine(name, target.error);
      return;
    }
  }
  // FIFOs, sockets and devices are never opened.
  if (kind == EntryKind::kSpecial) {
    WriteCopyLine(name, ENOTSUP);
    return;
  }
  // The size goes into the summary and the plan.
  if (!sourceKnown && fs_.StatAt(sourceFd, name, &source, AT_SYMLINK_NOFOLLOW) != 0) {
    WriteCopyLine(name, errno);
    return;
  }
  const RunAction action =
      Action(destinationExists ? ActionKind::kReplaceFile : ActionKind::kCopyFile, name,
             static_cast<std::uint64_t>(source.st_size));
  int error = 0;
  bool reported = false;
  const int folderFd = CreateFd(destination, &error, &reported);
  if (folderFd < 0 && folderFd != kNotCarriedOut) {
    // Everything inside a folder that could not be made shares the one line said for it.
    if (!reported) WriteCopyLine(name, error);
    return;
  }
  const bool real = folderFd >= 0 && executor_.Writes();
  if (real) SweepTemporaries(destination);
  const dev_t device = folderFd >= 0 ? DeviceOf(destination) : 0;
  if (real && !destinationExists && traits_.RefusesName(folderFd, device, name)) {
    error = kNameRefused;
  } else {
    copying_ = &action;
    error = kind == EntryKind::kLink
                ? executor_.CopyLink(action, sourceFd, name, folderFd)
                : executor_.CopyFile(action, sourceFd, name, folderFd, device, destinationExists);
    copying_ = nullptr;
    // On a file system that folds case, the copy may also have changed other names' lookups.
    lookups.Changed(name);
    Performed(action, error);
    // A stop asked for during a long copy ends it at once; the level ends with it.
    if (error == ECANCELED && Terminated()) {
      copyStopped_ = true;
      WriteLine(kTerminatedByUser);
      return;
    }
    if (error == kNameRefused) traits_.NoteRefusal(device);
    if (error == 0) written_ = true;
    if (error == 0 && real) LearnFolding(destination, name);
  }
  WriteCopyLine(name, error);
}

bool TFolderSynchronizer::Walker::CaseClash(DestFolder& folder, const char* name, bool isFolder) {
  if (folder.folding == 0) return false;
  const auto [held, added] = folder.caseNames.try_emplace(FoldCase(name), name);
  if (added || held->second == name) return false;
  // Two source names that differ only in case: on a drive that folds case they are one entry,
  // and the second would silently take the first one's place.
  const int fd = LookupFd(folder);
  if (fd < 0 || !SameEntryIn(fd, name, held->second.c_str())) return false;
  line_.assign(isFolder ? "Cannot create folder \"" : "Cannot copy file \"");
  if (!isFolder) line_.append(sourcePath_).append(name).append("\" to \"");
  line_.append(targetPath_).append(name);
  line_.append("\": This drive does not tell the name apart from \"");
  line_.append(held->second).push_back('"');
  WriteLine(line_);
  return true;
}

void TFolderSynchronizer::Walker::LearnFolding(DestFolder& folder, const char* existing) {
  if (folder.folding >= 0 || folder.state != DestFolder::kOpen) return;
  const std::string swapped = SwapCase(existing);
  if (swapped.empty()) return;  // this name cannot tell
  folder.folding = SameEntryIn(folder.fd, existing, swapped.c_str()) ? 1 : 0;
  if (folder.folding == 0) folder.caseNames.clear();
}

void TFolderSynchronizer::Walker::SweepTemporaries(DestFolder& folder) {
  if (folder.swept) return;
  folder.swept = true;
  UniqueFd listing(fs_, fs_.OpenAt(folder.fd, ".", O_RDONLY | O_DIRECTORY, 0));
  if (!listing.valid()) return;
  if (!namesBuffer_) namesBuffer_ = std::make_unique<char[]>(kNamesBufferSize);
  DirectoryReader reader(fs_, listing.get(), namesBuffer_.get(), kNamesBufferSize);
  DirEntry entry;
  while (reader.Next(entry)) {
    if (IsTemporaryName(entry.name)) RemoveStaleTemporary(fs_, folder.fd, entry.name, runStart_);
  }
}

void TFolderSynchronizer::Walker::OpenDestination(DestFolder& folder, int parentFd) {
  folder.owned =
      UniqueFd(fs_, fs_.OpenAt(parentFd, folder.name, O_PATH | O_DIRECTORY | O_NOFOLLOW, 0));
  if (folder.owned.valid()) {
    folder.state = DestFolder::kOpen;
    folder.fd = folder.owned.get();
  } else if (errno == ENOENT) {
    folder.state = DestFolder::kMissing;
  } else {
    // A link or a file in place of a folder is not a folder.
    folder.state = DestFolder::kFailed;
    folder.error = errno == ELOOP ? ENOTDIR : errno;
  }
}

int TFolderSynchronizer::Walker::LookupFd(DestFolder& folder) {
  if (folder.state == DestFolder::kUnknown) {
    const int parentFd = LookupFd(*folder.parent);
    if (parentFd >= 0) {
      OpenDestination(folder, parentFd);
    } else if (folder.parent->state == DestFolder::kMissing) {
      folder.state = DestFolder::kMissing;
    } else {
      folder.state = DestFolder::kFailed;
      folder.error = folder.parent->error;
      folder.reported = folder.parent->reported;
    }
  }
  return folder.state == DestFolder::kOpen ? folder.fd : -1;
}

int TFolderSynchronizer::Walker::CreateFd(DestFolder& folder, int* error, bool* reported) {
  LookupFd(folder);
  if (folder.state == DestFolder::kMissing && !folder.planned) {
    const int parentFd = CreateFd(*folder.parent, error, reported);
    if (parentFd < 0 && parentFd != kNotCarriedOut) return -1;
    const bool real = parentFd >= 0 && executor_.Writes();
    const dev_t device = parentFd >= 0 ? DeviceOf(*folder.parent) : 0;
    if (real && traits_.RefusesName(parentFd, device, folder.name)) {
      FailCreation(folder, kNameRefused);
    } else {
      const RunAction action{ActionKind::kCreateFolder,
                             toFolder1_,
                             std::string_view(targetPath_).substr(0, folder.pathLength - 1),
                             {},
                             0};
      const int made = executor_.MakeFolder(action, parentFd, folder.name);
      Performed(action, made == kNotCarriedOut ? 0 : made);
      if (made == kNotCarriedOut) {
        folder.planned = true;
      } else if (made != 0 && made != EEXIST) {
        const bool refused =
            (made == ENOENT || made == EINVAL || made == EILSEQ || made == EPERM) &&
            HasWindowsForbiddenName(folder.name);
        if (refused) traits_.NoteRefusal(device);
        FailCreation(folder, refused ? kNameRefused : made);
      } else {
        written_ = true;
        if (folder.parent->lookups != nullptr) folder.parent->lookups->Changed(folder.name);
        OpenDestination(folder, parentFd);
        folder.swept = true;
        if (folder.state == DestFolder::kMissing) {  // removed again at once
          folder.state = DestFolder::kFailed;
          folder.error = ENOENT;
        }
      }
    }
  }
  if (folder.planned) return kNotCarriedOut;
  if (folder.state == DestFolder::kOpen) return folder.fd;
  *error = folder.error;
  *reported = folder.reported;
  return -1;
}

void TFolderSynchronizer::Walker::FailCreation(DestFolder& folder, int error) {
  folder.state = DestFolder::kFailed;
  folder.error = error;
  folder.reported = true;
  if (CheckLost(error)) return;
  line_.assign("Cannot create folder \"");
  line_.append(std::string_view(targetPath_).substr(0, folder.pathLength - 1));
  line_.append("\": ").append(ErrorText(error));
  WriteLine(line_);
}

dev_t TFolderSynchronizer::Walker::DeviceOf(DestFolder& folder) {
  if (!folder.deviceKnown) {
    struct stat st;
    folder.device = fs_.Fstat(folder.fd, &st) == 0 ? st.st_dev : 0;
    folder.deviceKnown = true;
  }
  return folder.device;
}

void TFolderSynchronizer::Walker::WriteCopyLine(const char* name, int error) {
  if (error != 0 && CheckLost(error)) return;
  line_.assign(error == 0 ? "Copy file \"" : "Cannot copy file \"");
  line_.append(sourcePath_).append(name).append("\" to \"").append(targetPath_).append(name);
  line_.push_back('"');
  if (error != 0) line_.append(": ").append(ErrorText(error));
  WriteLine(line_);
}

}  // namespace vantrel
