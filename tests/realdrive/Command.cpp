#include "tests/realdrive/Command.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace vantrel::realdrive {

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* env = std::getenv("PATH");
  std::string folders = env != nullptr ? env : "";
  folders += ":/usr/local/sbin:/usr/sbin:/sbin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    if (!folder.empty()) {
      const std::string path = folder + "/" + name;
      if (access(path.c_str(), X_OK) == 0) return path;
    }
    start = end + 1;
  }
  return "";
}

CommandResult RunCommand(const std::vector<std::string>& argv) {
  CommandResult result;
  const std::string program = FindProgram(argv.at(0));
  if (program.empty()) {
    result.output = argv[0] + ": program not found";
    return result;
  }
  // The output goes to an unlinked file, not a pipe: a FUSE driver that goes to the background
  // keeps its standard output open for as long as the mount lives.
  char pattern[] = "/tmp/vantrel-command-XXXXXX";
  const int out = mkostemp(pattern, O_CLOEXEC);
  if (out < 0) throw std::runtime_error("mkostemp: " + std::string(strerror(errno)));
  unlink(pattern);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(out);
    throw std::runtime_error("fork: " + std::string(strerror(errno)));
  }
  if (pid == 0) {
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(out, 1);
    dup2(out, 2);
    execv(program.c_str(), args.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  char buffer[4096];
  ssize_t n;
  off_t offset = 0;
  while ((n = pread(out, buffer, sizeof buffer, offset)) > 0) {
    result.output.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
  close(out);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string RunChecked(const std::vector<std::string>& argv) {
  const CommandResult result = RunCommand(argv);
  if (result.status != 0) {
    std::string line;
    for (const std::string& arg : argv) line += (line.empty() ? "" : " ") + arg;
    throw std::runtime_error(line + " exited with " + std::to_string(result.status) + ": " +
                             result.output);
  }
  return result.output;
}

}  // namespace vantrel::realdrive
