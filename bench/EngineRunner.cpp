#include "bench/EngineRunner.h"

#include <chrono>

#include "common/FileSystem.h"
#include "common/ModalResult.h"
#include "engine/uVantrelProject.h"

namespace vantrel::bench {
namespace {

// The real file system with look-ahead turned off.
class OneThreadFileSystem : public FileSystemWrapper {
 public:
  OneThreadFileSystem() : FileSystemWrapper(FileSystem::Default()) {}
  std::size_t LookAheadMinimum() const override { return 0; }
};

}  // namespace

EngineRun RunEngine(const std::string& folder1, const std::string& folder2, bool bidirectional,
                    bool exact, bool oneThread, bool noTrash) {
  EngineRun result;
  OneThreadFileSystem oneThreadFs;
  // The project file is never loaded or saved; the name only has to be a path.
  TFolderSynchronizer project(folder2 + ".VTPrj");
  project.SetFolder1(folder1);
  project.SetFolder2(folder2);
  project.SetCopyMode(bidirectional ? 0 : 1);
  project.SetExactCopy(exact);
  project.SetIncludeSubfolders(true);
  project.SetAdvancedOptions(false);
  project.SetProcessHidden(true);
  project.SetProcessSystem(true);
  project.SetUseTrash(!noTrash);
  if (oneThread) project.SetFileSystem(&oneThreadFs);
  // A handler as cheap as a window that drops what comes too fast.
  project.OnProgress = [&result](TFolderSynchronizer&, const std::string&) {
    ++result.notifications;
  };
  project.OnConfirmRemoval = [&result](const std::string&, const std::string&) {
    ++result.confirmations;
    return mrYesToAll;
  };
  auto start = std::chrono::steady_clock::now();
  project.Run();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.logLines = static_cast<long>(project.ResultLogSize());
  return result;
}

}  // namespace vantrel::bench
