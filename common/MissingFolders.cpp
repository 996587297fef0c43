#include "common/MissingFolders.h"

#include <fcntl.h>

#include <cerrno>

#include "common/FileSystem.h"

namespace vantrel {

int MakeMissingFolders(FileSystem& fs, const std::string& path, mode_t mode) {
  for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string prefix = path.substr(0, at);
    if (fs.MkdirAt(AT_FDCWD, prefix.c_str(), mode) != 0 && errno != EEXIST) return errno;
    if (at == std::string::npos) return 0;
  }
}

}  // namespace vantrel
