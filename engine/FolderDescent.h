// Going down one folder level in both trees of a walk at once.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <string>

#include "common/FileSystem.h"
#include "common/UniqueFd.h"

namespace vantrel {

// Opens the sub-folder `name` of `parentFd` (a link is never followed) and runs `body` with
// its descriptor while `sourcePath` and `targetPath` both end in "name/"; afterwards both are
// as they were. Returns false, with errno set by the open, when the folder cannot be opened;
// `body` does not run then.
template <typename Body>
bool DescendInto(FileSystem& fs, int parentFd, const char* name, std::string& sourcePath,
                 std::string& targetPath, Body&& body) {
  UniqueFd folder(fs, fs.OpenAt(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0));
  if (!folder.valid()) return false;
  const std::size_t sourceLength = sourcePath.size();
  const std::size_t targetLength = targetPath.size();
  sourcePath.append(name).push_back('/');
  targetPath.append(name).push_back('/');
  body(folder.get());
  sourcePath.resize(sourceLength);
  targetPath.resize(targetLength);
  return true;
}

}  // namespace vantrel
