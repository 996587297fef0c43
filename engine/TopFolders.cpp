#include "engine/TopFolders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "common/CoreApi.h"
#include "common/UniqueFd.h"

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

int EnsureFolderExists(FileSystem& fs, const std::string& path) {
  if (path.empty()) return 0;
  const std::string folder = RemoveTrailingSeparator(path);
  if (folder.size() < 3) return 0;
  struct stat st;
  if (fs.StatAt(AT_FDCWD, folder.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode)) return 0;
  const std::size_t slash = folder.rfind('/');
  const std::string parent =
      slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
  if (parent == folder) return 0;
  const int above = EnsureFolderExists(fs, parent);
  if (fs.MkdirAt(AT_FDCWD, folder.c_str(), 0777) == 0 || errno == EEXIST) return 0;
  return above != 0 ? above : errno;
}

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home);
  const struct passwd* user = getpwuid(getuid());
  if (user != nullptr && user->pw_dir != nullptr) return std::string(user->pw_dir);
  return std::string(1, '/');
}

}  // namespace

std::string ResolveFolderPath(const std::string& typed) {
  if (typed.empty() || typed[0] == '/') return typed;
  std::string_view rest(typed);
  if (rest == "~") return HomeFolder();
  if (rest.starts_with("~/")) rest.remove_prefix(2);
  while (rest.starts_with("./")) rest.remove_prefix(2);
  if (rest.empty() || rest == ".") return HomeFolder();
  return AddTrailingSeparator(HomeFolder()).append(rest);
}

namespace {

// The deepest existing folder on the way to `path`, open, and the names below it.
struct Reach {
  UniqueFd fd;
  std::vector<std::string> rest;
};

std::vector<std::string> NamesOf(const std::string& path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    if (!name.empty() && name != ".") names.push_back(name);
    start = end + 1;
  }
  return names;
}

Reach ReachOf(FileSystem& fs, const std::string& path) {
  Reach reach;
  std::vector<std::string> names = NamesOf(path);
  for (std::size_t kept = names.size() + 1; kept-- > 0;) {
    std::string prefix = "/";
    for (std::size_t i = 0; i < kept; ++i) prefix.append(names[i]).push_back('/');
    reach.fd = UniqueFd(fs, fs.OpenAt(AT_FDCWD, prefix.c_str(), O_PATH | O_DIRECTORY, 0));
    if (reach.fd.valid()) {
      reach.rest.assign(names.begin() + static_cast<std::ptrdiff_t>(kept), names.end());
      return reach;
    }
  }
  return reach;
}

bool StartsWith(const std::vector<std::string>& names, const std::vector<std::string>& prefix) {
  return prefix.size() <= names.size() && std::equal(prefix.begin(), prefix.end(), names.begin());
}

}  // namespace

FolderOverlap PathsOverlap(FileSystem& fs, const std::string& path1, const std::string& path2) {
  Reach reach1 = ReachOf(fs, path1);
  Reach reach2 = ReachOf(fs, path2);
  if (!reach1.fd.valid() || !reach2.fd.valid()) return FolderOverlap::kNone;
  struct stat st1;
  struct stat st2;
  if (fs.Fstat(reach1.fd.get(), &st1) != 0 || fs.Fstat(reach2.fd.get(), &st2) != 0)
    return FolderOverlap::kNone;
  const bool sameBase = SameEntry(st1, st2);
  if (reach1.rest.empty() && reach2.rest.empty()) {
    if (sameBase) return FolderOverlap::kSame;
    return FoldersOverlap(fs, reach1.fd.get(), reach2.fd.get()) ? FolderOverlap::kNested
                                                                : FolderOverlap::kNone;
  }
  // A folder still to be made lies below its existing base, so it can only meet the other
  // folder if that folder is its base or above it, or shares the base and the names below.
  if (reach1.rest.empty()) {
    return IsAtOrAbove(fs, reach2.fd.get(), st1) ? FolderOverlap::kNested : FolderOverlap::kNone;
  }
  if (reach2.rest.empty()) {
    return IsAtOrAbove(fs, reach1.fd.get(), st2) ? FolderOverlap::kNested : FolderOverlap::kNone;
  }
  if (!sameBase) return FolderOverlap::kNone;
  if (reach1.rest == reach2.rest) return FolderOverlap::kSame;
  return StartsWith(reach1.rest, reach2.rest) || StartsWith(reach2.rest, reach1.rest)
             ? FolderOverlap::kNested
             : FolderOverlap::kNone;
}

bool FoldersOverlap(FileSystem& fs, int fd1, int fd2) {
  struct stat st1;
  struct stat st2;
  if (fs.Fstat(fd1, &st1) != 0 || fs.Fstat(fd2, &st2) != 0) return false;
  return IsAtOrAbove(fs, fd1, st2) || IsAtOrAbove(fs, fd2, st1);
}

}  // namespace vantrel
