#include "cli/Terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/ModalResult.h"

namespace vantrel::cli {
namespace {

constexpr auto kInterval = std::chrono::milliseconds(100);

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::string ElapsedText(std::uint64_t ms) {
  const std::uint64_t seconds = ms / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60),
                static_cast<unsigned long long>(seconds % 60));
  return text;
}

int AnswerOf(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  // "N" (No to all) differs from "n" only in case: a slip gives a harmless answer.
  if (text == "N") return mrNoToAll;
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (text == "y" || text == "yes") return mrYes;
  if (text == "a" || text == "yes to all") return mrYesToAll;
  if (text == "n" || text == "no") return mrNo;
  if (text == "no to all") return mrNoToAll;
  if (text == "c" || text == "cancel") return mrCancel;
  return mrNone;
}

}  // namespace

std::string BytesText(std::uint64_t bytes) {
  static const char* const kUnits[] = {"kB", "MB", "GB", "TB", "PB"};
  if (bytes < 1000) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1000;
  std::size_t unit = 0;
  while (value >= 1000 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

void ProgressLine::Update(const RunSummary& summary) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < kInterval) return;
  last_ = now;
  Draw(summary);
}

void ProgressLine::Draw(const RunSummary& summary) {
  std::string text = "looked at " + std::to_string(summary.filesLookedAt) + " files, copied " +
                     std::to_string(summary.FilesCopied()) + " (" +
                     BytesText(summary.BytesCopied()) + "), removed " +
                     std::to_string(summary.filesRemoved + summary.foldersRemoved) + ", failed " +
                     std::to_string(summary.failures) + ", " + ElapsedText(summary.elapsedMs);
  // A line longer than the terminal wraps, and then the carriage return no longer rewrites it.
  struct winsize size {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
      text.size() >= size.ws_col) {
    text.resize(size.ws_col - 1u);
  }
  WriteAll(STDERR_FILENO, "\r\033[K" + text);
  shown_ = true;
}

void ProgressLine::Clear() {
  if (!enabled_ || !shown_) return;
  WriteAll(STDERR_FILENO, "\r\033[K");
  shown_ = false;
}

void ProgressLine::Finish(const RunSummary& summary) {
  if (!enabled_) return;
  Draw(summary);
  WriteAll(STDERR_FILENO, "\n");
  shown_ = false;
}

TerminalQuestions::TerminalQuestions() {
  tty_ = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (tty_ >= 0) {
    in_ = tty_;
    out_ = tty_;
  }
}

TerminalQuestions::~TerminalQuestions() {
  if (tty_ >= 0) close(tty_);
}

void TerminalQuestions::Say(const std::string& text) { WriteAll(out_, text); }

int TerminalQuestions::Ask(const std::string& kind, const std::string& path) {
  Say("Remove the " + kind + " \"" + path + "\"?\n");
  for (;;) {
    Say("[y] Yes, [a] Yes to all, [n] No, [N] No to all, [c] Cancel: ");
    std::string line;
    for (;;) {
      char c;
      const ssize_t n = read(in_, &c, 1);
      if (n <= 0) {  // the end of input, or a signal
        Say("\n");
        return mrCancel;
      }
      if (c == '\n') break;
      line += c;
    }
    const int answer = AnswerOf(line);
    if (answer != mrNone) return answer;
  }
}

}  // namespace vantrel::cli
