#include "engine/TrashCan.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unordered_map>

#include "common/MissingFolders.h"

namespace vantrel {

// One trash folder with its two parts open, or the reason it cannot be used.
struct TrashCan::Bin {
  bool home = false;
  dev_t device = 0;
  std::string top;  // a top-folder trash: its file system's top folder, with a separator
  int error = 0;
  UniqueFd files;
  UniqueFd info;
  // The number to try first for a name, so that many entries of one name cost one try each.
  std::unordered_map<std::string, unsigned> nextNumber;
  // The number with which the last name whose plain form was taken found a free one. A trash
  // that already holds the same tree's older versions has them under the same numbers for every
  // name, so a later taken name tries that number next instead of counting up to it again.
  unsigned lastNumber = 0;
};

namespace {

constexpr char kInfoSuffix[] = ".trashinfo";
constexpr unsigned kNameAttempts = 10000;
// A trash name leaves room for ".trashinfo" and a number of up to seven digits in one entry name.
constexpr std::size_t kMaxBaseLength = NAME_MAX - (sizeof kInfoSuffix - 1) - 8;
constexpr unsigned kMaxNumber = 9999999;

// Errors by which a file system says it cannot give an entry a second name.
bool IsLinkRefusal(int error) {
  return error == EPERM || error == EMLINK || error == EOPNOTSUPP || error == ENOSYS ||
         error == EACCES;
}

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

// Returns the mount-root state of `path`: 1 a mount root, 0 not, -1 the kernel cannot tell.
int IsMountRoot(FileSystem& fs, const std::string& path, struct statx& sx) {
  if (fs.Statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO, &sx) != 0) return -1;
  if ((sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) == 0) return -1;
  return (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0 ? 1 : 0;
}

// The top folder of the file system that holds `folder` (a real path without a trailing
// separator): the nearest mount root above it, or where the device changes when the kernel
// does not mark mount roots.
std::string TopFolderOf(FileSystem& fs, std::string folder) {
  for (;;) {
    if (folder == "/") return folder;
    struct statx here;
    const int root = IsMountRoot(fs, folder, here);
    if (root == 1) return folder;
    const std::string parent = ParentOf(folder);
    if (root == -1) {
      struct stat mine;
      struct stat above;
      if (fs.StatAt(AT_FDCWD, folder.c_str(), &mine, AT_SYMLINK_NOFOLLOW) != 0 ||
          fs.StatAt(AT_FDCWD, parent.c_str(), &above, AT_SYMLINK_NOFOLLOW) != 0 ||
          mine.st_dev != above.st_dev) {
        return folder;
      }
    }
    folder = parent;
  }
}

}  // namespace

std::string PercentEncoded(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~' ||
        byte == '/') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    }
  }
  return out;
}

TrashCan::TrashCan(FileSystem& fs) : fs_(fs), uid_(getuid()) {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') {
    homeTrash_ = data;
  } else {
    const char* home = std::getenv("HOME");
    std::string folder = home != nullptr && home[0] == '/' ? home : "";
    if (folder.empty()) {
      const struct passwd* entry = getpwuid(uid_);
      if (entry != nullptr && entry->pw_dir != nullptr) folder = entry->pw_dir;
    }
    homeTrash_ = folder.empty() ? std::string() : folder + "/.local/share";
  }
  while (homeTrash_.size() > 1 && homeTrash_.back() == '/') homeTrash_.pop_back();
  if (!homeTrash_.empty()) homeTrash_.append("/Trash");
}

TrashCan::~TrashCan() = default;

TrashCan::Bin* TrashCan::BinFor(int dirFd, std::string& realPath, int* error) {
  char link[40];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirFd);
  char path[PATH_MAX + 1];
  const long n = fs_.ReadLinkAt(AT_FDCWD, link, path, sizeof path);
  if (n < 0) {
    *error = errno;
    return nullptr;
  }
  if (n == 0 || n > PATH_MAX || path[0] != '/') {
    *error = n > PATH_MAX ? ENAMETOOLONG : ENOENT;
    return nullptr;
  }
  realPath.assign(path, static_cast<std::size_t>(n));
  struct stat folder;
  if (fs_.Fstat(dirFd, &folder) != 0) {
    *error = errno;
    return nullptr;
  }
  Bin* home = HomeBin(folder.st_dev, error);
  if (realPath != "/") realPath.push_back('/');
  if (home != nullptr) return home;
  return TopBin(realPath, folder.st_dev, error);
}

TrashCan::Bin* TrashCan::HomeBin(dev_t device, int* error) {
  for (const auto& bin : bins_) {
    if (bin->home) return bin->device == device && bin->error == 0 ? bin.get() : nullptr;
  }
  auto bin = std::make_unique<Bin>();
  bin->home = true;
  bin->error = ENOENT;
  // The device of the home trash, or of the folder it will be made in.
  struct stat st;
  std::string probe = homeTrash_;
  bool found = false;
  while (!probe.empty() && !(found = fs_.StatAt(AT_FDCWD, probe.c_str(), &st, 0) == 0) &&
         probe != "/") {
    probe = ParentOf(probe);
  }
  if (found) {
    bin->device = st.st_dev;
    if (st.st_dev == device) {
      bin->error = MakeMissingFolders(fs_, homeTrash_, 0700);  // private to the user
      if (bin->error == 0) {
        UniqueFd trash(fs_, fs_.OpenAt(AT_FDCWD, homeTrash_.c_str(), O_PATH | O_DIRECTORY, 0));
        bin->error = trash.valid() ? OpenParts(trash.get(), *bin) : errno;
      }
    }
  }
  bins_.push_back(std::move(bin));
  Bin* made = bins_.back().get();
  if (made->device != device || made->error != 0) {
    *error = made->error;
    return nullptr;
  }
  return made;
}

TrashCan::Bin* TrashCan::TopBin(const std::string& folderPath, dev_t device, int* error) {
  std::string folder = folderPath;
  if (folder.size() > 1) folder.pop_back();
  std::string top = TopFolderOf(fs_, folder);
  if (top != "/") top.push_back('/');
  for (const auto& bin : bins_) {
    if (!bin->home && bin->device == device && bin->top == top) {
      *error = bin->error;
      return bin->error == 0 ? bin.get() : nullptr;
    }
  }
  auto bin = std::make_unique<Bin>();
  bin->device = device;
  bin->top = top;
  UniqueFd topFd(fs_, fs_.OpenAt(AT_FDCWD, top.c_str(), O_PATH | O_DIRECTORY, 0));
  if (!topFd.valid()) {
    bin->error = errno;
  } else {
    const std::string user = std::to_string(uid_);
    bin->error = ENOENT;
    // An administrator's shared trash: a real folder (not a link) with the sticky bit, in which
    // each user has a folder of their own.
    struct stat shared;
    if (fs_.StatAt(topFd.get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX) != 0) {
      UniqueFd sharedFd(fs_,
                        fs_.OpenAt(topFd.get(), ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW, 0));
      if (sharedFd.valid()) {
        if (fs_.MkdirAt(sharedFd.get(), user.c_str(), 0700) == 0 || errno == EEXIST) {
          UniqueFd mine(
              fs_, fs_.OpenAt(sharedFd.get(), user.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW, 0));
          struct stat st;
          if (mine.valid() && fs_.Fstat(mine.get(), &st) == 0 && st.st_uid == uid_) {
            bin->error = OpenParts(mine.get(), *bin);
          }
        }
      }
    }
    // Otherwise, or when that one cannot be used, the user's own trash at the top folder.
    if (bin->error != 0) {
      const std::string own = ".Trash-" + user;
      if (fs_.MkdirAt(topFd.get(), own.c_str(), 0700) != 0 && errno != EEXIST) {
        bin->error = errno;
      } else {
        UniqueFd mine(fs_,
                      fs_.OpenAt(topFd.get(), own.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW, 0));
        struct stat st;
        if (!mine.valid()) {
          bin->error = errno == ELOOP ? ENOTDIR : errno;
        } else if (fs_.Fstat(mine.get(), &st) != 0) {
          bin->error = errno;
        } else if (st.st_uid != uid_) {
          bin->error = EPERM;  // someone else's folder: nothing of ours goes there
        } else {
          bin->error = OpenParts(mine.get(), *bin);
        }
      }
    }
  }
  bins_.push_back(std::move(bin));
  Bin* made = bins_.back().get();
  *error = made->error;
  return made->error == 0 ? made : nullptr;
}

int TrashCan::OpenParts(int trashFd, Bin& bin) {
  for (UniqueFd* part : {&bin.files, &bin.info}) {
    const char* name = part == &bin.files ? "files" : "info";
    if (fs_.MkdirAt(trashFd, name, 0700) != 0 && errno != EEXIST) return errno;
    *part = UniqueFd(fs_, fs_.OpenAt(trashFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW, 0));
    if (!part->valid()) return errno == ELOOP ? ENOTDIR : errno;
  }
  return 0;
}

const std::string& TrashCan::DeletionDate() {
  // The text changes once a second, and entries come much faster than that.
  const std::time_t now = std::time(nullptr);
  if (now != dateSecond_ || date_.empty()) {
    struct tm local;
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    date_ = text;
    dateSecond_ = now;
  }
  return date_;
}

int TrashCan::WriteInfo(Bin& bin, const std::string& infoName, const std::string& original) {
  const int fd = fs_.OpenAt(bin.info.get(), infoName.c_str(),
                            O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  UniqueFd info(fs_, fd);
  line_.assign("[Trash Info]\nPath=").append(PercentEncoded(original));
  line_.append("\nDeletionDate=").append(DeletionDate()).push_back('\n');
  int error = 0;
  for (std::size_t done = 0; done < line_.size() && error == 0;) {
    const long n = fs_.Write(info.get(), line_.data() + done, line_.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0) {
      error = EIO;
    } else if (errno != EINTR) {
      error = errno;
    }
  }
  if (info.Close() != 0 && error == 0) error = errno;
  if (error != 0) fs_.UnlinkAt(bin.info.get(), infoName.c_str(), 0);
  return error;
}

template <typename Place>
int TrashCan::Put(Bin& bin, const std::string& original, const char* name, std::string& trashName,
                  Place place) {
  std::string base(name);
  if (base.size() > kMaxBaseLength) base.resize(kMaxBaseLength);
  unsigned& next = bin.nextNumber[base];
  if (next == 0) next = 1;
  for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
    trashName = base;
    if (next > 1) trashName.append(".").append(std::to_string(next));
    const std::string infoName = trashName + kInfoSuffix;
    // The info file first, made exclusively: it claims the name, and an entry in files/ never
    // lacks its record of where it came from.
    int error = WriteInfo(bin, infoName, original);
    if (error == 0) {
      error = place(trashName.c_str());
      if (error == 0) {
        if (next > 1) bin.lastNumber = next;
        next = next < kMaxNumber ? next + 1 : 2;  // taken now, by this entry
        return 0;
      }
      fs_.UnlinkAt(bin.info.get(), infoName.c_str(), 0);
    }
    if (error != EEXIST) return error;
    next = next == 1 ? std::max(2u, bin.lastNumber) : next < kMaxNumber ? next + 1 : 2;
  }
  return EEXIST;
}

int TrashCan::Move(int dirFd, const char* name) {
  std::string folder;
  int error = 0;
  Bin* bin = BinFor(dirFd, folder, &error);
  for (int round = 0; round < 2 && bin != nullptr; ++round) {
    const std::string original = bin->home ? folder + name : folder.substr(bin->top.size()) + name;
    std::string trashName;
    error = Put(*bin, original, name, trashName, [&](const char* to) {
      if (fs_.Rename2At(dirFd, name, bin->files.get(), to, RENAME_NOREPLACE) == 0) return 0;
      if (errno != EINVAL) return errno;
      // A file system without the flag: the trash is the user's own, so looking first is enough.
      struct stat st;
      if (fs_.StatAt(bin->files.get(), to, &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
      return fs_.RenameAt(dirFd, name, bin->files.get(), to) == 0 ? 0 : errno;
    });
    // The home trash on the same device but another mount of it: the top folder's trash then.
    if (error != EXDEV || !bin->home) break;
    struct stat st;
    if (fs_.Fstat(dirFd, &st) != 0) return error;
    bin = TopBin(folder, st.st_dev, &error);
  }
  return error;
}

int TrashCan::Keep(int dir, const char* name) {
  keptBin_ = nullptr;
  struct stat st;
  if (fs_.StatAt(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : errno;
  // A folder is never replaced by a file: that copy fails on its own.
  if (S_ISDIR(st.st_mode)) return 0;
  std::string folder;
  int error = 0;
  Bin* bin = BinFor(dir, folder, &error);
  if (bin == nullptr) return error;
  const std::string original = bin->home ? folder + name : folder.substr(bin->top.size()) + name;
  // A second link keeps the name filled until the new file takes it over in one rename; where
  // the file system has no links, the old entry is moved and the name is empty for that moment,
  // with the old contents in the trash already.
  bool link = true;
  error = Put(*bin, original, name, keptName_, [&](const char* to) {
    if (link) {
      if (fs_.LinkAt(dir, name, bin->files.get(), to, 0) == 0) return 0;
      if (errno == EEXIST || !IsLinkRefusal(errno)) return errno;
      link = false;
    }
    if (fs_.Rename2At(dir, name, bin->files.get(), to, RENAME_NOREPLACE) == 0) return 0;
    return errno;
  });
  if (error != 0) return error;
  keptBin_ = bin;
  keptLinked_ = link;
  return 0;
}

void TrashCan::Undo(int dir, const char* name) {
  Bin* bin = keptBin_;
  keptBin_ = nullptr;
  if (bin == nullptr) return;
  if (keptLinked_) {
    fs_.UnlinkAt(bin->files.get(), keptName_.c_str(), 0);
  } else if (fs_.Rename2At(bin->files.get(), keptName_.c_str(), dir, name, RENAME_NOREPLACE) != 0) {
    return;  // it stays in the trash, with its info, where it can be restored
  }
  fs_.UnlinkAt(bin->info.get(), (keptName_ + kInfoSuffix).c_str(), 0);
}

}  // namespace vantrel
