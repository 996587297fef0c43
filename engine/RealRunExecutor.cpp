#include "engine/RealRunExecutor.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "engine/DeleteFolderTree.h"

namespace vantrel {

int RealRunExecutor::MakeFolder(const RunAction&, int parentFd, const char* name) {
  return fs_.MkdirAt(parentFd, name, 0777) == 0 ? 0 : errno;
}

int RealRunExecutor::CopyFile(const RunAction&, int srcDir, const char* name, int dstDir,
                              dev_t dstDev, bool dstExists) {
  return copier_.CopyFile(srcDir, name, dstDir, dstDev, dstExists);
}

int RealRunExecutor::CopyLink(const RunAction&, int srcDir, const char* name, int dstDir) {
  return copier_.CopyLink(srcDir, name, dstDir);
}

int RealRunExecutor::RemoveFile(const RunAction&, int dirFd, const char* name) {
  return fs_.UnlinkAt(dirFd, name, 0) == 0 ? 0 : errno;
}

int RealRunExecutor::RemoveFolder(const RunAction&, int parentFd, const char* name, dev_t parentDev,
                                  ListingBuffers& buffers, std::size_t depth) {
  return DeleteFolderTree(fs_, buffers, parentFd, name, parentDev, depth);
}

int RealRunExecutor::RenameFile(const RunAction&, int dirFd, const char* from, const char* to) {
  // In two steps through a name of its own: a FUSE driver that knows both spellings of a
  // case-only rename as two entries would take a direct rename for replacing one by the other,
  // and remove it. The middle name is no temporary's, so an entry a killed run left there is
  // never removed.
  const std::string middle =
      ".vantrel-case-" + std::to_string(getpid()) + "-" + std::to_string(++renames_);
  if (fs_.RenameAt(dirFd, from, dirFd, middle.c_str()) != 0) return errno;
  if (fs_.RenameAt(dirFd, middle.c_str(), dirFd, to) == 0) return 0;
  const int error = errno;
  fs_.RenameAt(dirFd, middle.c_str(), dirFd, from);
  return error;
}

}  // namespace vantrel
