#include "engine/SyncWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "common/CoreApi.h"
#include "engine/SyncTexts.h"
#include "common/UniqueFd.h"

namespace vantrel {

const std::string kCheckingFiles = "Checking files ...";
const std::string kTerminatedByUser = "Terminated by user";

TFolderSynchronizer::Walker::Walker(TFolderSynchronizer& owner, const RunOptions& options,
                                    FileSystem& fs, RunExecutor& executor,
                                    const struct timespec& runStart)
    : owner_(owner),
      options_(options),
      fs_(fs),
      executor_(executor),
      runStart_(runStart),
      filter_(options.advancedOptions, options.includeMasks, options.excludeMasks),
      traits_(fs),
      lookAhead_(fs),
      warmer_(fs) {}

TFolderSynchronizer::Walker::~Walker() = default;

bool TFolderSynchronizer::Walker::Listed(int dirfd, const DirEntry& entry, EntryKind* kind) {
  lookupError_ = 0;
  if (IsTemporaryName(entry.name)) {
    if (executor_.Writes()) RemoveStaleTemporary(fs_, dirfd, entry.name, runStart_);
    return false;
  }
  if (IsHiddenName(entry.name) && !options_.processHidden) return false;
  *kind = KindOf(fs_, dirfd, entry);
  switch (*kind) {
    case EntryKind::kFile:
      return true;
    case EntryKind::kFolder:
      return options_.includeSubfolders;
    case EntryKind::kLink:
    case EntryKind::kSpecial:
      return options_.processSystem;
    case EntryKind::kGone:
      if (errno != ENOENT) lookupError_ = errno;
      break;
  }
  return false;
}

bool TFolderSynchronizer::Walker::LooksUpOtherSide(const DirEntry& entry) const {
  if (IsTemporaryName(entry.name)) return false;
  if (IsHiddenName(entry.name) && !options_.processHidden) return false;
  switch (entry.type) {
    case DT_REG:
      return true;
    case DT_DIR:
    case DT_UNKNOWN:  // the pass has to look at it first
      return false;
    default:
      return options_.processSystem;
  }
}

bool TFolderSynchronizer::Walker::NextEntry(DirectoryReader& reader, DirEntry& entry,
                                            LookupAhead::Batch& batch, DestFolder& folder) {
  // Every read of the folder is preceded by taking the batch back and followed by handing the
  // new names out while the helper may take them, whatever the read brings (only "." and "..",
  // nothing, or an error).
  while (!reader.NextInBuffer(entry)) {
    batch.Reset();
    if (!reader.Refill()) return false;
    if (!lookAhead_.MayHelp()) continue;
    reader.VisitBuffer([&](const DirEntry& listed) {
      if (LooksUpOtherSide(listed)) batch.Add(listed.name);
    });
    if (lookAhead_.Worth(batch.size())) {
      const int fd = LookupFd(folder);
      if (fd >= 0) batch.Start(fd);
    }
  }
  return true;
}

std::string_view TFolderSynchronizer::Walker::FolderText(const std::string& path,
                                                         std::string_view top,
                                                         std::size_t depth) const {
  if (depth == 0) return top;
  return std::string_view(path).substr(0, path.size() - 1);  // without its separator
}

void TFolderSynchronizer::Walker::WriteCannotRead(std::string_view folder, int error) {
  if (CheckLost(error)) return;
  line_.assign("Cannot read folder \"").append(folder).append("\": ").append(ErrorText(error));
  WriteLine(line_);
}

void TFolderSynchronizer::Walker::WriteCannotRead(const std::string& parent, const char* name,
                                                  int error) {
  if (CheckLost(error)) return;
  line_.assign("Cannot read folder \"").append(parent).append(name).append("\": ");
  line_.append(ErrorText(error == ELOOP ? ENOTDIR : error));
  WriteLine(line_);
}

bool TFolderSynchronizer::Walker::SameEntryIn(int folderFd, const char* name, const char* other) {
  struct stat mine;
  struct stat theirs;
  if (fs_.StatAt(folderFd, name, &mine, AT_SYMLINK_NOFOLLOW) != 0 ||
      fs_.StatAt(folderFd, other, &theirs, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  if (mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino) return true;
  // FUSE drivers may number an entry anew for each name it is looked up by; then only the
  // listing tells: a name that is found but not listed is another name's entry.
  UniqueFd listing(fs_, fs_.OpenAt(folderFd, ".", O_RDONLY | O_DIRECTORY, 0));
  if (!listing.valid()) return false;
  if (!namesBuffer_) namesBuffer_ = std::make_unique<char[]>(kNamesBufferSize);
  DirectoryReader reader(fs_, listing.get(), namesBuffer_.get(), kNamesBufferSize);
  DirEntry entry;
  bool listsName = false;
  bool listsOther = false;
  while (reader.Next(entry)) {
    listsName = listsName || std::strcmp(entry.name, name) == 0;
    listsOther = listsOther || std::strcmp(entry.name, other) == 0;
  }
  return reader.error() == 0 && listsName != listsOther;
}

bool TFolderSynchronizer::Walker::Wrote(int fd) const {
  for (const int top : wroteTops_) {
    if (top == fd) return true;
  }
  return false;
}

void TFolderSynchronizer::Walker::EndPass() {
  if (written_ && !Wrote(writtenTop_)) wroteTops_.push_back(writtenTop_);
  written_ = false;
}

bool TFolderSynchronizer::Walker::CheckLost(int error) {
  if (lost_) return true;
  // Errors by which a whole file system says it is gone; EIO is one only when the top folder
  // itself fails too, so that one bad file on a living drive stops nothing.
  if (error != ENOTCONN && error != ECONNABORTED && error != ENODEV && error != EIO &&
      error != ESHUTDOWN) {
    return false;
  }
  for (const TopFolder* top : {walkedTop_, otherTop_}) {
    if (top == nullptr || top->fd < 0) continue;
    // Opened, not looked at: FUSE answers a look from its cache even after its daemon died.
    const int probe = fs_.OpenAt(top->fd, ".", O_RDONLY | O_DIRECTORY, 0);
    if (probe >= 0) {
      fs_.Close(probe);
      continue;
    }
    line_.assign("Cannot use folder \"").append(top->path).append("\" any more: ");
    line_.append(ErrorText(errno));
    WriteLine(line_);
    lost_ = true;
    lostTop_ = top->fd;
    return true;
  }
  return false;
}

int TFolderSynchronizer::Walker::OpenTopListing(const TopFolder& walked, const TopFolder& other) {
  walkedTop_ = &walked;
  otherTop_ = &other;
  if (walked.fd < 0) {
    // A top folder that is simply missing has nothing to list and nothing to report.
    if (walked.error != ENOENT) WriteCannotRead(walked.path, walked.error);
    return -1;
  }
  const int listing = fs_.OpenAt(walked.fd, ".", O_RDONLY | O_DIRECTORY, 0);
  if (listing < 0) {
    WriteCannotRead(walked.path, errno);
    return -1;
  }
  sourcePath_ = AddTrailingSeparator(walked.path);
  targetPath_ = AddTrailingSeparator(other.path);
  sourceTop_ = walked.path;
  targetTop_ = other.path;
  return listing;
}

}  // namespace vantrel
