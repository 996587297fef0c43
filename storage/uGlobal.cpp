#include "storage/uGlobal.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "common/CoreApi.h"

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

// Creates the folder and its missing parents, private to the user like the files inside.
void CreateFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
    if (slash == std::string::npos) return;
  }
}

}  // namespace

void InitProjectsFolder() {
  ProjectsFolder = RemoveTrailingSeparator(AddTrailingSeparator(GetSpecialFolder(26)) +
                                           "Kestrune/VantrelProjects");
  CreateFolders(ProjectsFolder);
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
