#include "engine/FileCopier.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/CoreApi.h"
#include "common/UniqueFd.h"
#include "engine/DriveTraits.h"
#include "engine/EntryKinds.h"

namespace vantrel {
namespace {

constexpr std::size_t kCopyBufferSize = std::size_t{1} << 20;
constexpr off_t kRangeChunk = FileCopier::kProgressStep;
// Files smaller than this are copied whole without asking where their holes are: one more call
// for each small file would cost more than their holes can save.
constexpr off_t kSparseMinimum = off_t{64} << 10;
constexpr int kNameAttempts = 100;
constexpr char kNameAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLength = 8;

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Errors by which a file system says it does not offer copy_file_range for these files.
bool IsRangeRefusal(int error) {
  return error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

// Errors by which a file system says it cannot hold these permission bits (FAT and exFAT
// drives, whose modes come from the mount options): the copy is still a good copy.
bool IsModeRefusal(int error) {
  return error == EPERM || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL;
}

// Errors by which a rename or link of an existing file says the new name itself is refused.
bool IsNameRefusal(int error) { return error == ENOENT || error == EINVAL || error == EILSEQ; }

// Errors by which a file system says it cannot tell where a file's holes are.
bool IsSeekRefusal(int error) {
  return error == EINVAL || error == ESPIPE || error == ENXIO || error == EOPNOTSUPP ||
         error == ENOSYS;
}

// Errors by which a file system (or an old kernel) says it does not offer O_TMPFILE.
bool IsTmpfileRefusal(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

}  // namespace

FileCopier::FileCopier(FileSystem& fs) : fs_(fs) {
  // Linking an unnamed file into place goes through its /proc entry.
  struct stat st;
  procFdAvailable_ = fs_.StatAt(AT_FDCWD, "/proc/self/fd", &st, 0) == 0;
  std::memcpy(temporaryName_, ".vantrel-", 9);
  std::memcpy(temporaryName_ + 9 + kRandomLength, ".tmp", 5);
  NextTemporaryName();
}

FileCopier::~FileCopier() = default;

void FileCopier::NextTemporaryName() {
  const std::string letters = RandomString(static_cast<int>(kRandomLength), kNameAlphabet);
  std::memcpy(temporaryName_ + 9, letters.data(), kRandomLength);
}

template <typename CreateOne>
int FileCopier::CreateTemporary(CreateOne createOne) {
  int error = EEXIST;
  for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
    NextTemporaryName();
    error = createOne();
  }
  return error;
}

FileCopier::DevicePair& FileCopier::PairFor(dev_t source, dev_t destination) {
  for (DevicePair& pair : pairs_) {
    if (pair.source == source && pair.destination == destination) return pair;
  }
  pairs_.push_back({source, destination, false, false});
  return pairs_.back();
}

bool FileCopier::TmpfileRefused(dev_t device) const {
  return std::find(tmpfileRefused_.begin(), tmpfileRefused_.end(), device) != tmpfileRefused_.end();
}

int FileCopier::CopyFile(int srcDir, const char* name, int dstDir, dev_t dstDev, bool dstExists) {
  // O_NONBLOCK: should the entry have become a FIFO since it was listed, opening must not
  // wait for a writer.
  UniqueFd source(
      fs_, fs_.OpenAt(srcDir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
  if (!source.valid()) return errno;
  struct stat before;
  if (fs_.Fstat(source.get(), &before) != 0) return errno;
  if (S_ISDIR(before.st_mode)) return EISDIR;
  if (!S_ISREG(before.st_mode)) return ENOTSUP;

  // A new destination can appear complete in one step as an unnamed file linked into place;
  // an existing one is replaced by renaming a named temporary over it.
  UniqueFd temporary;
  bool named = false;
  if (!dstExists && procFdAvailable_ && !TmpfileRefused(dstDev)) {
    temporary = UniqueFd(fs_, fs_.OpenAt(dstDir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!temporary.valid()) {
      if (!IsTmpfileRefusal(errno)) return errno;
      tmpfileRefused_.push_back(dstDev);
    }
  }
  if (!temporary.valid()) {
    int fd = -1;
    const int error = CreateTemporary([&] {
      fd = fs_.OpenAt(dstDir, temporaryName_, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC,
                      0600);
      return fd >= 0 ? 0 : errno;
    });
    if (error != 0) return error;
    temporary = UniqueFd(fs_, fd);
    named = true;
  }

  off_t copied = 0;
  int error = CopyContents(source.get(), temporary.get(), before.st_size,
                           PairFor(before.st_dev, dstDev), &copied);
  if (error == 0 && fs_.Fchmod(temporary.get(), before.st_mode & 0777) != 0 &&
      !IsModeRefusal(errno)) {
    error = errno;
  }
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  if (error == 0 && fs_.Futimens(temporary.get(), times) != 0) error = errno;
  struct stat after;
  if (error == 0 && fs_.Fstat(source.get(), &after) != 0) error = errno;
  if (error == 0 && (after.st_size != before.st_size || copied != before.st_size ||
                     !SameTime(after.st_mtim, before.st_mtim))) {
    error = kSourceChanged;
  }
  const bool renamed = named;
  if (error == 0) error = Install(temporary, named, dstDir, name);
  if (error != 0 && named) fs_.UnlinkAt(dstDir, temporaryName_, 0);
  // Some drives (fusefat) give a renamed file the time of the rename; and FUSE's cached times
  // would hide that from a check, so the times are set again on the installed entry.
  if (error == 0 && renamed && fs_.UtimensAt(dstDir, name, times, AT_SYMLINK_NOFOLLOW) != 0) {
    error = errno;
  }
  return error;
}

int FileCopier::Install(UniqueFd& temporary, bool& named, int dstDir, const char* name) {
  if (named) {
    if (temporary.Close() != 0) return errno;  // a late write error shows up here
    const int error = Replace(dstDir, name);
    if (error == 0) return 0;
    struct stat st;
    if ((IsNameRefusal(error) || (error == EPERM && HasWindowsForbiddenName(name))) &&
        fs_.StatAt(dstDir, temporaryName_, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      return kNameRefused;
    }
    return error;
  }
  char path[40];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", temporary.get());
  if (fs_.LinkAt(AT_FDCWD, path, dstDir, name, AT_SYMLINK_FOLLOW) != 0) {
    if (IsNameRefusal(errno)) return kNameRefused;
    if (errno != EEXIST) return errno;
    // Something took the name since it was looked up: replace it as an existing one.
    const int error = CreateTemporary([&] {
      return fs_.LinkAt(AT_FDCWD, path, dstDir, temporaryName_, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    });
    if (error != 0) return error;
    named = true;
    if (const int replaced = Replace(dstDir, name); replaced != 0) return replaced;
    named = false;
  }
  return temporary.Close() == 0 ? 0 : errno;
}

bool FileCopier::GoOn(off_t done, off_t size) const {
  if (!progress_ || done >= size) return true;
  return progress_(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(size));
}

int FileCopier::CopyContents(int in, int out, off_t size, DevicePair& pair, off_t* copied) {
  *copied = 0;
  if (size == 0) return 0;
  if (!pair.cloneRefused) {
    if (fs_.Clone(out, in) == 0) {
      *copied = size;
      return 0;
    }
    pair.cloneRefused = true;  // asked once per pair of file systems and run
  }
  // Without a clone, a file with holes is copied one stretch of data at a time so that the
  // copy has the same holes.
  if (size >= kSparseMinimum) {
    const off_t hole = fs_.Lseek(in, 0, SEEK_HOLE);
    if (hole >= 0 && hole < size) return CopySparse(in, out, size, pair, copied);
    if (hole < 0 && !IsSeekRefusal(errno)) return errno;
    // A file system that cannot tell leaves the offset alone; one that found no hole moved it.
    if (hole > 0 && fs_.Lseek(in, 0, SEEK_SET) != 0) return errno;
  }
  if (!pair.rangeRefused) {
    off_t done = 0;
    while (done < size) {
      const long n =
          fs_.CopyFileRange(in, out, static_cast<std::size_t>(std::min(size - done, kRangeChunk)));
      if (n > 0) {
        done += n;
        if (!GoOn(done, size)) return ECANCELED;
      } else if (n == 0) {
        break;  // the source ended early; the size check finds it
      } else if (errno == EINTR) {
        continue;
      } else if (done == 0 && IsRangeRefusal(errno)) {
        pair.rangeRefused = true;
        break;
      } else {
        return errno;
      }
    }
    // With nothing copied the plain route decides: a refusal, or a file system whose files
    // read as empty through this call.
    if (done > 0) {
      *copied = done;
      return 0;
    }
  }
  return CopyByReadWrite(in, out, size, copied);
}

int FileCopier::CopySparse(int in, int out, off_t size, DevicePair& pair, off_t* copied) {
  off_t offset = 0;  // everything before it is copied or left a hole
  while (offset < size) {
    const off_t data = fs_.Lseek(in, offset, SEEK_DATA);
    if (data < 0 && errno != ENXIO) return errno;
    if (data < 0 || data >= size) break;  // only a hole is left
    off_t end = fs_.Lseek(in, data, SEEK_HOLE);
    if (end < 0) return errno;
    end = std::min(end, size);
    if (fs_.Lseek(in, data, SEEK_SET) != data || fs_.Lseek(out, data, SEEK_SET) != data) {
      return errno;
    }
    off_t done = 0;
    const int error = CopyStretch(in, out, end - data, pair, data, size, &done);
    if (error != 0) return error;
    if (done < end - data) {  // the source ended early; the size check finds it
      *copied = data + done;
      return 0;
    }
    offset = end;
  }
  // The holes at the end, and the size, come from setting the length.
  if (fs_.Ftruncate(out, size) != 0) return errno;
  *copied = size;
  return 0;
}

int FileCopier::CopyStretch(int in, int out, off_t length, DevicePair& pair, off_t base, off_t size,
                            off_t* done) {
  bool plain = pair.rangeRefused;
  while (*done < length) {
    const off_t left = length - *done;
    long n;
    if (!plain) {
      n = fs_.CopyFileRange(in, out, static_cast<std::size_t>(std::min(left, kRangeChunk)));
      if (n < 0 && errno == EINTR) continue;
      if (*done == 0 && (n == 0 || (n < 0 && IsRangeRefusal(errno)))) {
        // Refused, or a file system whose files read as empty through this call.
        if (n < 0) pair.rangeRefused = true;
        plain = true;
        continue;
      }
      if (n < 0) return errno;
    } else {
      n = ReadWriteSome(
          in, out, static_cast<std::size_t>(std::min(left, static_cast<off_t>(kCopyBufferSize))));
      if (n < 0) return errno;
    }
    if (n == 0) return 0;  // the source ended early
    const off_t before = base + *done;
    *done += n;
    if (before / kProgressStep != (base + *done) / kProgressStep && !GoOn(base + *done, size)) {
      return ECANCELED;
    }
  }
  return 0;
}

long FileCopier::ReadWriteSome(int in, int out, std::size_t size) {
  if (!copyBuffer_) copyBuffer_.reset(new char[kCopyBufferSize]);
  char* buffer = copyBuffer_.get();
  long n;
  do {
    n = fs_.Read(in, buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return n;
  long written = 0;
  while (written < n) {
    const long w = fs_.Write(out, buffer + written, static_cast<std::size_t>(n - written));
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return -1;
    if (w == 0) {
      errno = EIO;
      return -1;
    }
    written += w;
  }
  return n;
}

int FileCopier::CopyByReadWrite(int in, int out, off_t size, off_t* copied) {
  if (!copyBuffer_) copyBuffer_.reset(new char[kCopyBufferSize]);
  char* buffer = copyBuffer_.get();
  for (;;) {
    const long n = fs_.Read(in, buffer, kCopyBufferSize);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    long written = 0;
    while (written < n) {
      const long w = fs_.Write(out, buffer + written, static_cast<std::size_t>(n - written));
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (w == 0) return EIO;
      written += w;
    }
    // The step is a whole number of buffers, so the calls come every step exactly.
    const off_t before = *copied;
    *copied += n;
    if (before / kProgressStep != *copied / kProgressStep && !GoOn(*copied, size)) {
      return ECANCELED;
    }
  }
}

int FileCopier::CopyLink(int srcDir, const char* name, int dstDir) {
  struct stat st;
  if (fs_.StatAt(srcDir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (!S_ISLNK(st.st_mode)) return ENOTSUP;
  if (!linkBuffer_) linkBuffer_.reset(new char[PATH_MAX + 1]);
  char* target = linkBuffer_.get();
  const long n = fs_.ReadLinkAt(srcDir, name, target, PATH_MAX + 1);
  if (n < 0) return errno;
  if (n > PATH_MAX) return ENAMETOOLONG;
  target[n] = '\0';
  int error = CreateTemporary(
      [&] { return fs_.SymlinkAt(target, dstDir, temporaryName_) == 0 ? 0 : errno; });
  if (error != 0) return error;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (fs_.UtimensAt(dstDir, temporaryName_, times, AT_SYMLINK_NOFOLLOW) != 0) error = errno;
  if (error == 0) error = Replace(dstDir, name);
  if (error != 0) fs_.UnlinkAt(dstDir, temporaryName_, 0);
  return error;
}

int FileCopier::Replace(int dstDir, const char* name) {
  // The temporary is complete before the old entry is handed over, so that a run killed at any
  // moment leaves the old contents at the name, or the new ones, with the old ones kept.
  if (keeper_ != nullptr) {
    const int kept = keeper_->Keep(dstDir, name);
    if (kept != 0) return KeeperFailure(kept);
  }
  if (fs_.RenameAt(dstDir, temporaryName_, dstDir, name) == 0) return 0;
  const int error = errno;
  if (keeper_ != nullptr) keeper_->Undo(dstDir, name);
  return error;
}

}  // namespace vantrel
