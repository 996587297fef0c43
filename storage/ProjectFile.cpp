// Load and Save of a synchronization project: its settings as one value file.
#include <stdexcept>

#include "engine/uVantrelProject.h"
#include "storage/inisaver.h"

namespace vantrel {

void TFolderSynchronizer::Save() {
  if (fileName_.empty()) throw std::runtime_error("File name is empty");
  tinidatasaver store;
  store.SetFileName(fileName_);
  store.WriteString("projectname", projectName_);
  store.WriteString("sourcefolder", folder1_);
  store.WriteString("destfolder", folder2_);
  store.WriteStringList("include", includeMasks_);
  store.WriteStringList("exclude", excludeMasks_);
  store.WriteInteger("copymode", copyMode_);
  store.WriteInteger("exact", exactCopy_ ? 1 : 0);
  store.WriteInteger("advanced", advancedOptions_ ? 1 : 0);
  store.WriteInteger("subfolders", includeSubfolders_ ? 1 : 0);
  store.WriteInteger("processhidden", processHidden_ ? 1 : 0);
  store.WriteInteger("processsystem", processSystem_ ? 1 : 0);
  // Only the exception is written, so that a project keeping the default reads as before.
  if (!useTrash_) store.WriteInteger("usetrash", 0);
  store.SaveToFile();
  modified_ = false;
}

void TFolderSynchronizer::Load() {
  if (fileName_.empty()) throw std::runtime_error("File name is empty");
  tinidatasaver store;
  store.SetFileName(fileName_);
  store.LoadFromFile();
  projectName_ = store.ReadString("projectname", std::string());
  folder1_ = store.ReadString("sourcefolder", std::string());
  folder2_ = store.ReadString("destfolder", std::string());
  store.ReadStringList("include", includeMasks_);
  store.ReadStringList("exclude", excludeMasks_);
  copyMode_ = store.ReadInteger("copymode", 1);
  exactCopy_ = store.ReadInteger("exact", 0) != 0;
  advancedOptions_ = store.ReadInteger("advanced", 0) != 0;
  includeSubfolders_ = store.ReadInteger("subfolders", 0) != 0;
  processHidden_ = store.ReadInteger("processhidden", 0) != 0;
  processSystem_ = store.ReadInteger("processsystem", 0) != 0;
  useTrash_ = store.ReadInteger("usetrash", 1) != 0;
  modified_ = false;
}

}  // namespace vantrel
