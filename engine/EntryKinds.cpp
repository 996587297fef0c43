#include "engine/EntryKinds.h"

#include <dirent.h>
#include <fcntl.h>

#include <cstring>
#include <string>

namespace vantrel {
namespace {

constexpr std::string_view kTemporaryPrefix = ".vantrel-";
constexpr std::string_view kTemporarySuffix = ".tmp";

EntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kFolder;
  if (S_ISLNK(mode)) return EntryKind::kLink;
  return EntryKind::kSpecial;
}

bool Before(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

EntryKind KindOf(FileSystem& fs, int dirfd, const DirEntry& entry) {
  switch (entry.type) {
    case DT_REG:
      return EntryKind::kFile;
    case DT_DIR:
      return EntryKind::kFolder;
    case DT_LNK:
      return EntryKind::kLink;
    case DT_UNKNOWN:
      break;
    default:
      return EntryKind::kSpecial;
  }
  struct stat st;
  if (fs.StatAt(dirfd, entry.name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::kGone;
  return KindOfMode(st.st_mode);
}

bool IsTemporaryName(std::string_view name) {
  return name.size() > kTemporaryPrefix.size() + kTemporarySuffix.size() &&
         name.starts_with(kTemporaryPrefix) && name.ends_with(kTemporarySuffix);
}

void RemoveStaleTemporary(FileSystem& fs, int dirfd, const char* name,
                          const struct timespec& runStart) {
  struct stat st;
  if (fs.StatAt(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISDIR(st.st_mode) || !Before(st.st_ctim, runStart)) return;
  fs.UnlinkAt(dirfd, name, 0);
}

const char* ErrorText(int error) {
  if (error == kSourceChanged) return "source changed during copy";
  if (error == kNameRefused) return "The name is not allowed on this drive";
  if (error < kTrashFailureBase) {
    thread_local std::string text;
    text.assign("Cannot move the replaced file to the trash: ");
    text.append(std::strerror(kTrashFailureBase - error));
    return text.c_str();
  }
  return std::strerror(error);
}

}  // namespace vantrel
