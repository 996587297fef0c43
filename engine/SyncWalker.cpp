#include "engine/SyncWalker.h"

#include <fcntl.h>

#include <dirent.h>

#include <cerrno>

#include "common/CoreApi.h"
#include "engine/SyncTexts.h"

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
      lookAhead_(fs) {}

TFolderSynchronizer::Walker::~Walker() = default;

bool TFolderSynchronizer::Walker::Listed(int dirfd, const DirEntry& entry, EntryKind* kind) {
  lookupError_ = 0;
  if (IsTemporaryName(entry.name)) {
    RemoveStaleTemporary(fs_, dirfd, entry.name, runStart_);
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
  if (reader.NeedsRefill()) batch.Reset();
  const std::size_t fills = reader.fills();
  if (!reader.Next(entry)) return false;
  if (reader.fills() != fills && lookAhead_.enabled()) {
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
