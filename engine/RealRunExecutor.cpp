#include "engine/RealRunExecutor.h"

#include <cerrno>

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
  return fs_.RenameAt(dirFd, from, dirFd, to) == 0 ? 0 : errno;
}

}  // namespace vantrel
