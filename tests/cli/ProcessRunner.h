// Runs a program as the user would: with pipes for its output, or on a pseudo-terminal.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace vantrel::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out;    // standard output (on a terminal: everything the terminal got)
  std::string err;
};

class Process {
 public:
  // Starts `args` (args[0] is the program's path) with the environment plus `env`. `terminal`:
  // standard input, output and error are one pseudo-terminal; otherwise input is /dev/null and
  // output and error are pipes.
  Process(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
          bool terminal = false) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (env.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
    }
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (terminal) {
      struct winsize size {};
      size.ws_col = 200;
      size.ws_row = 40;
      pid_ = forkpty(&out_, nullptr, nullptr, &size);
      if (pid_ > 0) fcntl(out_, F_SETFD, FD_CLOEXEC);
    } else {
      if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) Fail("pipe");
      pid_ = fork();
    }
    if (pid_ < 0) Fail("fork");
    if (pid_ == 0) {
      if (!terminal) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
      }
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      std::vector<char*> envp;
      for (std::string& e : environment) envp.push_back(e.data());
      envp.push_back(nullptr);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    if (!terminal) {
      close(outPipe[1]);
      close(errPipe[1]);
      out_ = outPipe[0];
      err_ = errPipe[0];
    }
  }

  ~Process() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Reads until the output holds `text` (counted from `from`); false after `seconds`.
  bool WaitFor(const std::string& text, double seconds = 20, std::size_t from = 0) {
    const auto end = Deadline(seconds);
    while (result_.out.find(text, from) == std::string::npos) {
      if (!ReadSome(end)) return false;
    }
    return true;
  }

  // Types `text` on the terminal.
  void Type(const std::string& text) {
    if (write(out_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) Fail("write");
  }

  void Signal(int signal) { kill(pid_, signal); }

  // Reads everything and waits for the end (killing the process after `seconds`).
  ProcessResult Finish(double seconds = 120) {
    const auto end = Deadline(seconds);
    while (ReadSome(end)) {
    }
    int status = 0;
    if (std::chrono::steady_clock::now() >= end) kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    reaped_ = true;
    result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result_;
  }

  const std::string& Output() const { return result_.out; }

 private:
  static std::chrono::steady_clock::time_point Deadline(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  }

  // Reads what is there from the open outputs; false when both are closed or time is up.
  bool ReadSome(std::chrono::steady_clock::time_point end) {
    pollfd fds[2];
    nfds_t count = 0;
    for (int fd : {out_, err_}) {
      if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
    }
    if (count == 0) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(fds, count, static_cast<int>(left.count())) <= 0) return false;
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      int& fd = fds[i].fd == out_ ? out_ : err_;
      std::string& into = fds[i].fd == out_ ? result_.out : result_.err;
      if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
      } else {  // closed (a terminal says EIO when the program has gone)
        close(fd);
        fd = -1;
      }
    }
    return true;
  }

  [[noreturn]] static void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
  }

  pid_t pid_ = -1;
  bool reaped_ = false;
  int out_ = -1;
  int err_ = -1;
  ProcessResult result_;
};

}  // namespace vantrel::test
