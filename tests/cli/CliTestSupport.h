// A temporary home with a projects folder and two folder trees, and vantrel-sync run in it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../core/TempTree.h"
#include "ProcessRunner.h"
#include "engine/uVantrelProject.h"

namespace vantrel::test {

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    tree.MakeFolder("home");
    tree.MakeFolder("data/Kestrune/VantrelProjects");
    tree.MakeFolder("one");
    tree.MakeFolder("two");
    env = {{"HOME", tree.Path("home")}, {"XDG_DATA_HOME", tree.Path("data")}, {"LC_ALL", "C"}};
  }

  std::string ProjectsFolder() const { return tree.Path("data/Kestrune/VantrelProjects"); }

  // Saves a one-way exact-copy project over one/ and two/ (with sub-folders) as FILE in the
  // projects folder; returns its path.
  std::string SaveProject(const std::string& name, const std::string& file = "TESTPROJ.VTPrj",
                          int copyMode = 1, std::string folder2 = {}) const {
    TFolderSynchronizer project(ProjectsFolder() + "/" + file);
    project.SetProjectName(name);
    project.SetFolder1(tree.Path("one"));
    project.SetFolder2(folder2.empty() ? tree.Path("two") : folder2);
    project.SetCopyMode(copyMode);
    project.SetExactCopy(true);
    project.SetIncludeSubfolders(true);
    project.Save();
    return project.FileName();
  }

  std::vector<std::string> Args(std::vector<std::string> args) const {
    args.insert(args.begin(), VANTREL_SYNC);
    return args;
  }

  ProcessResult Sync(const std::vector<std::string>& args) const {
    Process process(Args(args), env);
    return process.Finish();
  }

  // Names, sizes, modes, times and contents of both trees (and the projects folder's names).
  std::string Snapshot() const {
    std::string text;
    for (const char* top : {"one", "two", "data/Kestrune/VantrelProjects"}) {
      for (const std::string& name : tree.List(top)) {
        const std::string relative = std::string(top) + "/" + name;
        text += relative;
        if (name.back() != '/') {
          const struct stat st = tree.Stat(relative);
          text += " " + std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                  std::to_string(st.st_mtim.tv_nsec) + " " + tree.ReadFile(relative);
        }
        text += "\n";
      }
    }
    return text;
  }

  TempTree tree;
  std::map<std::string, std::string> env;
};

// The bytes a name of the JSON output stands for: "\xHH" is the byte HH.
inline std::string NameBytes(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() + 1) {
      bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

}  // namespace vantrel::test
