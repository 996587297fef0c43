// Where project files live and how they are found.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

// The projects folder's full path, without a trailing separator. Set by InitProjectsFolder.
extern std::string ProjectsFolder;
// The project file extension, without the point.
extern const std::string ProjectExt;

// Sets ProjectsFolder to GetSpecialFolder(26) + "Kestrune/VantrelProjects" and creates it with
// its missing parents. A failure to create is not reported (saving fails later instead).
void InitProjectsFolder();

// Returns the full paths of the entries of ProjectsFolder whose names match "*.VTPrj"
// case-insensitively, folders included, in the order the directory lists them.
std::vector<std::string> ListProjectFiles();

// Returns a full path for a new project file: a free random name in ProjectsFolder.
// Nothing is written.
std::string NewProjectFileName();

}  // namespace vantrel
