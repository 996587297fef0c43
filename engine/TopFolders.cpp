#include "engine/TopFolders.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "common/CoreApi.h"
#include "engine/UniqueFd.h"

namespace vantrel {
namespace {

// Far more levels than any real path has; only a broken file system could need more.
constexpr int kMaxLevels = 65536;

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Returns true iff `target` is the folder open as `fd` or one of the folders above it.
bool IsAtOrAbove(FileSystem& fs, int fd, const struct stat& target) {
  UniqueFd current(fs, fs.OpenAt(fd, ".", O_PATH | O_DIRECTORY, 0));
  if (!current.valid()) return false;
  struct stat here;
  if (fs.Fstat(current.get(), &here) != 0) return false;
  for (int level = 0; level < kMaxLevels; ++level) {
    if (SameEntry(here, target)) return true;
    UniqueFd parent(fs, fs.OpenAt(current.get(), "..", O_PATH | O_DIRECTORY, 0));
    struct stat above;
    if (!parent.valid() || fs.Fstat(parent.get(), &above) != 0) return false;
    if (SameEntry(above, here)) return false;  // the root
    current = std::move(parent);
    here = above;
  }
  return false;
}

}  // namespace

void EnsureFolderExists(FileSystem& fs, const std::string& path) {
  if (path.empty()) return;
  const std::string folder = RemoveTrailingSeparator(path);
  if (folder.size() < 3) return;
  struct stat st;
  if (fs.StatAt(AT_FDCWD, folder.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode)) return;
  const std::size_t slash = folder.rfind('/');
  const std::string parent =
      slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
  if (parent == folder) return;
  EnsureFolderExists(fs, parent);
  fs.MkdirAt(AT_FDCWD, folder.c_str(), 0777);
}

bool FoldersOverlap(FileSystem& fs, int fd1, int fd2) {
  struct stat st1;
  struct stat st2;
  if (fs.Fstat(fd1, &st1) != 0 || fs.Fstat(fd2, &st2) != 0) return false;
  return IsAtOrAbove(fs, fd1, st2) || IsAtOrAbove(fs, fd2, st1);
}

}  // namespace vantrel
