// The executor of a real run: every action changes the trees.
#pragma once

#include <utility>

#include "common/FileSystem.h"
#include "engine/FileCopier.h"
#include "engine/RunExecutor.h"

namespace vantrel {

class RealRunExecutor : public RunExecutor {
 public:
  explicit RealRunExecutor(FileSystem& fs) : fs_(fs), copier_(fs) {}

  FileCopier& copier() { return copier_; }

  void SetCopyProgress(CopyProgress progress) override { copier_.SetProgress(std::move(progress)); }
  int MakeFolder(const RunAction& action, int parentFd, const char* name) override;
  int CopyFile(const RunAction& action, int srcDir, const char* name, int dstDir, dev_t dstDev,
               bool dstExists) override;
  int CopyLink(const RunAction& action, int srcDir, const char* name, int dstDir) override;
  int RemoveFile(const RunAction& action, int dirFd, const char* name) override;
  int RemoveFolder(const RunAction& action, int parentFd, const char* name, dev_t parentDev,
                   ListingBuffers& buffers, std::size_t depth) override;
  int RenameFile(const RunAction& action, int dirFd, const char* from, const char* to) override;

 private:
  FileSystem& fs_;
  FileCopier copier_;
  unsigned renames_ = 0;
};

}  // namespace vantrel
