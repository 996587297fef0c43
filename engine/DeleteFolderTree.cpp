#include "engine/DeleteFolderTree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "common/UniqueFd.h"
#include "engine/EntryKinds.h"

namespace vantrel {
namespace {

// A listing may skip entries when its folder changes underneath it, so a folder that is
// still not empty after a listing that removed something is listed again, a few times.
constexpr int kListingRounds = 4;

// Returns true iff the folder open as `fd` is the root of a mount. A bind mount within one
// file system keeps the device number, so only the kernel's mount-root flag tells it.
bool IsMountRoot(FileSystem& fs, int fd) {
  struct statx stx;
  if (fs.Statx(fd, "", AT_EMPTY_PATH, 0, &stx) != 0) return false;  // the device check remains
  return (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
         (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

struct Outcome {
  int error;        // 0 when the folder is gone
  bool notAFolder;  // the entry could not be opened as a folder: it is something else now
};

Outcome RemoveTree(FileSystem& fs, ListingBuffers& buffers, int parentFd, const char* name,
                   dev_t parentDev, std::size_t depth) {
  UniqueFd folder(fs, fs.OpenAt(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0));
  if (!folder.valid()) {
    const int error = errno;
    if (error == ELOOP || error == ENOTDIR) return {ENOTDIR, true};
    return {error, false};
  }
  struct stat st;
  if (fs.Fstat(folder.get(), &st) != 0) return {errno, false};
  if (st.st_dev != parentDev || IsMountRoot(fs, folder.get())) return {EXDEV, false};

  int first = 0;
  constexpr mode_t kOwnerWriteSearch = S_IWUSR | S_IXUSR;
  if ((st.st_mode & kOwnerWriteSearch) != kOwnerWriteSearch &&
      fs.Fchmod(folder.get(), (st.st_mode & 07777) | kOwnerWriteSearch) != 0) {
    first = errno;
  }

  std::size_t size;
  char* buffer = buffers.Get(depth, &size);
  for (int round = 0; round < kListingRounds; ++round) {
    // A later round lists through a fresh open of the folder, from the beginning.
    UniqueFd relisting;
    if (round > 0) {
      relisting = UniqueFd(fs, fs.OpenAt(folder.get(), ".", O_RDONLY | O_DIRECTORY, 0));
      if (!relisting.valid()) return {errno, false};
    }
    DirectoryReader reader(fs, round > 0 ? relisting.get() : folder.get(), buffer, size);
    bool removedAny = false;
    DirEntry entry;
    while (reader.Next(entry)) {
      int error = 0;
      if (KindOf(fs, folder.get(), entry) == EntryKind::kFolder) {
        const Outcome sub = RemoveTree(fs, buffers, folder.get(), entry.name, st.st_dev, depth + 1);
        error = sub.error;
        if (sub.notAFolder) error = fs.UnlinkAt(folder.get(), entry.name, 0) == 0 ? 0 : errno;
      } else if (fs.UnlinkAt(folder.get(), entry.name, 0) != 0) {
        error = errno;
      }
      if (error == ENOENT) continue;  // gone by itself
      if (error == 0) {
        removedAny = true;
      } else if (first == 0) {
        first = error;
      }
    }
    if (reader.error() != 0 && first == 0) first = reader.error();
    if (first != 0) return {first, false};
    if (fs.UnlinkAt(parentFd, name, AT_REMOVEDIR) == 0) return {0, false};
    const int error = errno;
    if ((error != ENOTEMPTY && error != EEXIST) || !removedAny) return {error, false};
  }
  return {ENOTEMPTY, false};
}

}  // namespace

int DeleteFolderTree(FileSystem& fs, ListingBuffers& buffers, int parentFd, const char* name,
                     dev_t parentDev, std::size_t depth) {
  return RemoveTree(fs, buffers, parentFd, name, parentDev, depth).error;
}

}  // namespace vantrel
