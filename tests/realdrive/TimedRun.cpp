#include "tests/realdrive/TimedRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace vantrel::realdrive {
namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

TimedRun RunWithLimit(TFolderSynchronizer& sync, std::chrono::seconds limit) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + strerror(errno));
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error(std::string("fork: ") + strerror(errno));
  if (child == 0) {
    close(fds[0]);
    std::string text;
    try {
      sync.Run();
    } catch (const std::exception& e) {
      text = std::string("!") + e.what() + "\n";
    }
    for (const std::string& line : sync.ResultLog()) text += line + "\n";
    WriteAll(fds[1], text);
    _exit(0);
  }
  close(fds[1]);
  TimedRun result;
  std::string text;
  const auto end = std::chrono::steady_clock::now() + limit;
  bool eof = false;
  while (!eof) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[65536];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      eof = true;
    }
  }
  close(fds[0]);
  if (!eof) kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  result.finished = eof && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t stop = text.find('\n', start);
    std::string line = text.substr(start, stop - start);
    if (!line.empty() && line[0] == '!' && result.error.empty() && result.log.empty()) {
      result.error = line.substr(1);
    } else {
      result.log.push_back(line);
    }
    if (stop == std::string::npos) break;
    start = stop + 1;
  }
  return result;
}

}  // namespace vantrel::realdrive
