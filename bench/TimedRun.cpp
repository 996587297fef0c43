#include "bench/TimedRun.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace vantrel::bench {

TimedResult RunTimed(const std::vector<std::string>& command, bool syncAfter,
                     const std::string& logPath) {
  if (command.empty()) throw std::runtime_error("no command to time");
  std::vector<char*> argv;
  for (const auto& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  int logFd = -1;
  if (!logPath.empty()) {
    logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) throw std::runtime_error("cannot open log '" + logPath + "'");
  }
  // A pipe closed on exec tells the parent whether exec worked.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");

  TimedResult result;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("cannot fork");
  if (pid == 0) {
    if (logFd >= 0) {
      ::dup2(logFd, STDOUT_FILENO);
      ::dup2(logFd, STDERR_FILENO);
    }
    ::execvp(argv[0], argv.data());
    int error = errno;
    (void)!::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(report[1]);
  int execError = 0;
  bool execFailed = ::read(report[0], &execError, sizeof execError) == sizeof execError;
  ::close(report[0]);
  int status = 0;
  struct rusage usage;
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) throw std::runtime_error("cannot wait for the program");
  }
  if (syncAfter) ::sync();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (logFd >= 0) ::close(logFd);
  if (execFailed)
    throw std::runtime_error("cannot start '" + command[0] + "': " + std::strerror(execError));
  result.maxRssKiB = usage.ru_maxrss;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace vantrel::bench
