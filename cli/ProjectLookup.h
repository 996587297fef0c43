// The saved projects as the window lists them, and finding one by its name or file.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel::cli {

struct ListedProject {
  std::string name;  // the project's display name
  std::string file;  // the full path of its project file
};

// Every project file of ProjectsFolder that loads, sorted by name (then by file). A file that
// fails to load is left out; `unreadable` gets "FILE: the storage's message" for it.
std::vector<ListedProject> ListProjects(std::vector<std::string>& unreadable);

// The project file that `project` stands for: with a '/' in it, that file (its real path);
// otherwise the file of the one listed project with exactly that name, or else, when it ends
// with ".VTPrj", that file. Throws LookupError saying what matched: nothing, or two files
// sharing the name.
std::string FindProjectFile(const std::string& project, std::vector<std::string>& unreadable);

class LookupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vantrel::cli
