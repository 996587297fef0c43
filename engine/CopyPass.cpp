// The copy pass: brings a destination tree up to date from a source tree.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "common/CoreApi.h"
#include "engine/SyncTexts.h"
#include "engine/SyncWalker.h"
#include "engine/UniqueFd.h"

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
  dev_t device = 0;
  bool deviceKnown = false;
  LookupAhead::Batch* lookups = nullptr;  // of the level listing the source of this folder
  bool planned = false;                   // kMissing, but made in the executor's plan
  std::size_t pathLength = 0;             // of its text in targetPath_, separator included
};

namespace {

// Compares at the two-second resolution of DOS stamps in local time; equal seconds need no
// conversion.
bool SourceIsNewer(std::time_t source, std::time_t destination) {
  if (source == destination) return false;
  return DosStampFromTime(source) > DosStampFromTime(destination);
}

}  // namespace

void TFolderSynchronizer::Walker::CopyNewerFiles(const TopFolder& source,
                                                 const TopFolder& destination) {
  if (Terminated()) return;
  UniqueFd listing(fs_, OpenTopListing(source, destination));
  if (!listing.valid()) return;
  toFolder1_ = destination.path == options_.folder1;
  DestFolder top;
  top.pathLength = targetPath_.size();
  if (destination.fd == kNotCarriedOut) {
    top.state = DestFolder::kMissing;
    top.planned = true;
  } else if (destination.fd >= 0) {
    top.state = DestFolder::kOpen;
    top.fd = destination.fd;
  } else {
    top.state = DestFolder::kFailed;
    top.error = destination.error;
  }
  CopyLevel(listing.get(), top, 0);
}

void TFolderSynchronizer::Walker::CopyLevel(int sourceFd, DestFolder& destination,
                                            std::size_t depth) {
  std::size_t size;
  char* buffer = buffers_.Get(depth, &size);
  DirectoryReader reader(fs_, sourceFd, buffer, size);
  LookupAhead::Batch& lookups = lookAhead_.ForDepth(depth);
  const BatchScope scope(lookups);
  destination.lookups = &lookups;
  DirEntry entry;
  EntryKind kind;
  while (NextEntry(reader, entry, lookups, destination)) {
    if (!Listed(sourceFd, entry, &kind)) {
      // An entry that could not be looked at is not copied, and that is a failed copy.
      if (lookupError_ != 0 && !Terminated() && filter_.Takes(entry.name)) {
        WriteCopyLine(entry.name, lookupError_);
      }
      continue;
    }
    if (kind == EntryKind::kFolder) {
      if (!Terminated()) EnterSourceFolder(sourceFd, entry.name, destination, depth);
      continue;
    }
    if (Terminated()) {
      WriteLine(kTerminatedByUser);
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
  if (reader.error() != 0)
    WriteCannotRead(FolderText(sourcePath_, sourceTop_, depth), reader.error());
}

void TFolderSynchronizer::Walker::EnterSourceFolder(int sourceFd, const char* name,
                                                    DestFolder& destination, std::size_t depth) {
  UniqueFd folder(fs_, fs_.OpenAt(sourceFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0));
  if (!folder.valid()) {
    if (errno != ENOENT) WriteCannotRead(sourcePath_, name, errno);
    return;
  }
  const std::size_t sourceLength = sourcePath_.size();
  const std::size_t targetLength = targetPath_.size();
  sourcePath_.append(name).push_back('/');
  targetPath_.append(name).push_back('/');
  DestFolder child;
  child.parent = &destination;
  child.name = name;
  child.pathLength = targetPath_.size();
  CopyLevel(folder.get(), child, depth + 1);
  sourcePath_.resize(sourceLength);
  targetPath_.resize(targetLength);
}

void TFolderSynchronizer::Walker::CopyEntry(int sourceFd, const char* name, EntryKind kind,
                                            DestFolder& destination,
                                            LookupAhead::Batch& lookups) {
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
      if (!S_ISDIR(target.mode)) {
        sourceKnown = true;
        if (fs_.StatAt(sourceFd, name, &source, AT_SYMLINK_NOFOLLOW) != 0) {
          WriteCopyLine(name, errno);
          return;
        }
        if (!SourceIsNewer(source.st_mtim.tv_sec, target.mtime)) {
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
  const int folderFd = CreateFd(destination, &error);
  if (folderFd >= 0 || folderFd == kNotCarriedOut) {
    const dev_t device = folderFd >= 0 ? DeviceOf(destination) : 0;
    copying_ = &action;
    error = kind == EntryKind::kLink
                ? executor_.CopyLink(action, sourceFd, name, folderFd)
                : executor_.CopyFile(action, sourceFd, name, folderFd, device, destinationExists);
    copying_ = nullptr;
    // On a file system that folds case, the copy may also have changed other names' lookups.
    lookups.Changed();
    Performed(action, error);
    // A stop asked for during a long copy ends it at once; the level ends with it.
    if (error == ECANCELED && Terminated()) {
      copyStopped_ = true;
      WriteLine(kTerminatedByUser);
      return;
    }
  }
  WriteCopyLine(name, error);
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
    }
  }
  return folder.state == DestFolder::kOpen ? folder.fd : -1;
}

int TFolderSynchronizer::Walker::CreateFd(DestFolder& folder, int* error) {
  LookupFd(folder);
  if (folder.state == DestFolder::kMissing && !folder.planned) {
    const int parentFd = CreateFd(*folder.parent, error);
    if (parentFd < 0 && parentFd != kNotCarriedOut) return -1;
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
      folder.state = DestFolder::kFailed;
      folder.error = made;
    } else {
      if (folder.parent->lookups != nullptr) folder.parent->lookups->Changed();
      OpenDestination(folder, parentFd);
      if (folder.state == DestFolder::kMissing) {  // removed again at once
        folder.state = DestFolder::kFailed;
        folder.error = ENOENT;
      }
    }
  }
  if (folder.planned) return kNotCarriedOut;
  if (folder.state == DestFolder::kOpen) return folder.fd;
  *error = folder.error;
  return -1;
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
  line_.assign(error == 0 ? "Copy file \"" : "Cannot copy file \"");
  line_.append(sourcePath_).append(name).append("\" to \"").append(targetPath_).append(name);
  line_.push_back('"');
  if (error != 0) line_.append(": ").append(ErrorText(error));
  WriteLine(line_);
}

}  // namespace vantrel
