#include "cli/ProjectLookup.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "engine/uVantrelProject.h"
#include "storage/uGlobal.h"

namespace vantrel::cli {
namespace {

// A name ending with ".VTPrj" that no project has may be a project file in the current folder.
bool LooksLikePath(const std::string& text) {
  const std::string suffix = "." + ProjectExt;
  if (text.size() <= suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(text[text.size() - suffix.size() + i]) != lower(suffix[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<ListedProject> ListProjects(std::vector<std::string>& unreadable) {
  std::vector<ListedProject> projects;
  for (const std::string& file : ListProjectFiles()) {
    TFolderSynchronizer project(file);
    try {
      project.Load();
    } catch (const std::exception& error) {
      unreadable.push_back(file + ": " + error.what());
      continue;
    }
    projects.push_back({project.ProjectName(), file});
  }
  std::sort(projects.begin(), projects.end(), [](const ListedProject& a, const ListedProject& b) {
    return a.name != b.name ? a.name < b.name : a.file < b.file;
  });
  return projects;
}

std::string FindProjectFile(const std::string& project, std::vector<std::string>& unreadable) {
  if (project.find('/') == std::string::npos) {
    std::vector<std::string> matches;
    for (const ListedProject& listed : ListProjects(unreadable)) {
      if (listed.name == project) matches.push_back(listed.file);
    }
    if (matches.size() == 1) return matches[0];
    if (matches.size() > 1) {
      std::string text = "the name \"" + project + "\" is shared by " +
                         std::to_string(matches.size()) + " project files:";
      for (const std::string& file : matches) text += "\n  " + file;
      throw LookupError(text);
    }
    if (!LooksLikePath(project)) {
      throw LookupError("no project named \"" + project + "\" in " + ProjectsFolder +
                        " (vantrel-sync list shows the names)");
    }
  }
  // Loading a missing file would give an empty project, not an error: a mistyped path must not
  // run as one.
  struct stat st;
  if (stat(project.c_str(), &st) != 0) throw LookupError("no project file \"" + project + "\"");
  if (!S_ISREG(st.st_mode)) throw LookupError("\"" + project + "\" is not a project file");
  // The real path, so that a link to a project file takes the same lock as the file.
  char* real = realpath(project.c_str(), nullptr);
  if (real == nullptr) return project;
  std::string resolved(real);
  std::free(real);
  return resolved;
}

}  // namespace vantrel::cli
