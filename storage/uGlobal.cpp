#include "storage/uGlobal.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "common/CoreApi.h"
#include "common/MissingFolders.h"
#include "storage/FileAccess.h"

namespace vantrel {

std::string ProjectsFolder;
const std::string ProjectExt = "VTPrj";

namespace {

bool EndsWithExtension(const std::string& name) {
  const std::string suffix = "." + ProjectExt;
  if (name.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char a = name[name.size() - suffix.size() + i];
    char b = suffix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

void InitProjectsFolder() {
  ProjectsFolder = RemoveTrailingSeparator(AddTrailingSeparator(GetSpecialFolder(26)) +
                                           "Kestrune/VantrelProjects");
  // Private to the user, like the project files inside.
  MakeMissingFolders(StorageFileSystem(), ProjectsFolder, 0700);
}

std::vector<std::string> ListProjectFiles() {
  std::vector<std::string> files;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(ProjectsFolder.c_str()), closedir);
  if (!dir) return files;
  const std::string folder = AddTrailingSeparator(ProjectsFolder);
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (EndsWithExtension(name)) files.push_back(folder + name);
  }
  return files;
}

std::string NewProjectFileName() {
  const std::string folder = RemoveTrailingSeparator(ProjectsFolder);
  return AddTrailingSeparator(folder) + UniqueRandomFileName(folder, "%s." + ProjectExt);
}

}  // namespace vantrel
