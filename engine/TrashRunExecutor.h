// The executor of a real run that keeps what it takes away: removed entries and the old
// versions of replaced files go to the trash.
#pragma once

#include "engine/RealRunExecutor.h"
#include "engine/TrashCan.h"

namespace vantrel {

class TrashRunExecutor : public RealRunExecutor {
 public:
  explicit TrashRunExecutor(FileSystem& fs) : RealRunExecutor(fs), trash_(fs) {
    copier().SetKeeper(&trash_);
  }

  // A folder goes whole, in one rename: nothing inside it is listed or touched.
  int RemoveFile(const RunAction&, int dirFd, const char* name) override {
    return trash_.Move(dirFd, name);
  }
  int RemoveFolder(const RunAction&, int parentFd, const char* name, dev_t, ListingBuffers&,
                   std::size_t) override {
    return trash_.Move(parentFd, name);
  }

 private:
  TrashCan trash_;
};

}  // namespace vantrel
