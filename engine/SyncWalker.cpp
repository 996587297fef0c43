#include "engine/SyncWalker.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>

#include "common/CoreApi.h"
#include "engine/SyncTexts.h"

namespace vantrel {

const std::string kCheckingFiles = "Checking files ...";
const std::string kTerminatedByUser = "Terminated by user";

TFolderSynchronizer::Walker::Walker(TFolderSynchronizer& owner, FileSystem& fs,
                                    const struct timespec& runStart)
    : owner_(owner),
      fs_(fs),
      runStart_(runStart),
      filter_(owner.advancedOptions_, owner.includeMasks_, owner.excludeMasks_),
      copier_(fs),
      lookAhead_(fs) {}

TFolderSynchronizer::Walker::~Walker() = default;

bool TFolderSynchronizer::Walker::Listed(int dirfd, const DirEntry& entry, EntryKind* kind) {
  lookupError_ = 0;
  if (IsTemporaryName(entry.name)) {
    RemoveStaleTemporary(fs_, dirfd, entry.name, runStart_);
    return false;
  }
  if (IsHiddenName(entry.name) && !owner_.processHidden_) return false;
  *kind = KindOf(fs_, dirfd, entry);
  switch (*kind) {
    case EntryKind::kFile:
      return true;
    case EntryKind::kFolder:
      return owner_.includeSubfolders_;
    case EntryKind::kLink:
    case EntryKind::kSpecial:
      return owner_.processSystem_;
    case EntryKind::kGone:
      if (errno != ENOENT) lookupError_ = errno;
      break;
  }
  return false;
}

bool TFolderSynchronizer::Walker::LooksUpOtherSide(const DirEntry& entry) const {
  if (IsTemporaryName(entry.name)) return false;
  if (IsHiddenName(entry.name) && !owner_.processHidden_) return false;
  switch (entry.type) {
    case DT_REG:
      return true;
    case DT_DIR:
    case DT_UNKNOWN:  // the pass has to look at it first
      return false;
    default:
      return owner_.processSystem_;
  }
}

bool TFolderSynchronizer::Walker::NextEntry(DirectoryReader& reader, DirEntry& entry,
                                            LookupAhead::Batch& batch, DestFolder& folder) {
  // Every read of the folder is preceded by taking the batch back and followed by handing the
  // new names out, whatever the read brings (only "." and "..", nothing, or an error).
  while (!reader.NextInBuffer(entry)) {
    batch.Reset();
    if (!reader.Refill()) return false;
    if (!lookAhead_.enabled()) continue;
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
  line_.assign("Cannot read folder \"").append(folder).append("\": ").append(ErrorText(error));
  WriteLine(line_);
}

void TFolderSynchronizer::Walker::WriteCannotRead(const std::string& parent, const char* name,
                                                  int error) {
  line_.assign("Cannot read folder \"").append(parent).append(name).append("\": ");
  line_.append(ErrorText(error == ELOOP ? ENOTDIR : error));
  WriteLine(line_);
}

int TFolderSynchronizer::Walker::OpenTopListing(const TopFolder& walked, const TopFolder& other) {
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
