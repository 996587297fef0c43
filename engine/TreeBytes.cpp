#include "engine/TreeBytes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "common/UniqueFd.h"

namespace vantrel {
namespace {

std::uint64_t FolderBytes(FileSystem& fs, ListingBuffers& buffers, int fd, dev_t device,
                          std::size_t depth) {
  std::size_t size;
  char* buffer = buffers.Get(depth, &size);
  DirectoryReader reader(fs, fd, buffer, size);
  std::uint64_t total = 0;
  DirEntry entry;
  while (reader.Next(entry)) {
    struct stat st;
    if (fs.StatAt(fd, entry.name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(st.st_mode)) {
      total += static_cast<std::uint64_t>(st.st_size);
    } else if (st.st_dev == device) {
      UniqueFd sub(fs, fs.OpenAt(fd, entry.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0));
      if (sub.valid()) total += FolderBytes(fs, buffers, sub.get(), device, depth + 1);
    }
  }
  return total;
}

}  // namespace

std::uint64_t TreeBytes(FileSystem& fs, ListingBuffers& buffers, int parentFd, const char* name,
                        std::size_t depth) {
  UniqueFd folder(fs, fs.OpenAt(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0));
  if (!folder.valid()) return 0;
  struct stat st;
  if (fs.Fstat(folder.get(), &st) != 0) return 0;
  return FolderBytes(fs, buffers, folder.get(), st.st_dev, depth);
}

}  // namespace vantrel
