// The executor of a preview: writes each action into a plan and changes nothing.
#pragma once

#include "engine/RunExecutor.h"
#include "engine/RunPlan.h"

namespace vantrel {

class DryRunExecutor : public RunExecutor {
 public:
  explicit DryRunExecutor(RunPlan& plan) : plan_(plan) {}

  bool AsksBeforeRemoving() const override { return false; }
  bool Writes() const override { return false; }

  int MakeFolder(const RunAction& action, int, const char*) override {
    plan_.Add(action);
    return kNotCarriedOut;
  }
  int CopyFile(const RunAction& action, int, const char*, int, dev_t, bool) override {
    return Record(action);
  }
  int CopyLink(const RunAction& action, int, const char*, int) override { return Record(action); }
  int RemoveFile(const RunAction& action, int, const char*) override { return Record(action); }
  int RemoveFolder(const RunAction& action, int, const char*, dev_t, ListingBuffers&,
                   std::size_t) override {
    return Record(action);
  }
  int RenameFile(const RunAction& action, int, const char*, const char*) override {
    return Record(action);
  }

 private:
  int Record(const RunAction& action) {
    plan_.Add(action);
    return 0;
  }

  RunPlan& plan_;
};

}  // namespace vantrel
