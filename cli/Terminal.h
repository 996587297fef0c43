// What vantrel-sync shows and asks on a terminal: the progress line and the removal questions.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/RunSummary.h"

namespace vantrel::cli {

// "1.5 MB": bytes in decimal units, for people.
std::string BytesText(std::uint64_t bytes);

// One self-rewriting line on standard error with the run's counts, bytes and elapsed time.
class ProgressLine {
 public:
  // Shows nothing unless `enabled`.
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}

  // Redraws the line, at most ten times a second.
  void Update(const RunSummary& summary);
  // Erases the line, before other text goes to the terminal; the next Update draws it again.
  void Clear();
  // Draws the final counts and ends the line.
  void Finish(const RunSummary& summary);

 private:
  void Draw(const RunSummary& summary);

  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// Asks each removal question on the controlling terminal (standard input and standard error
// when it cannot be opened) with the five answers of the window's dialog.
class TerminalQuestions {
 public:
  TerminalQuestions();
  ~TerminalQuestions();
  TerminalQuestions(const TerminalQuestions&) = delete;
  TerminalQuestions& operator=(const TerminalQuestions&) = delete;

  // One of mrYes, mrYesToAll, mrNo, mrNoToAll, mrCancel. The end of input or a signal while
  // waiting counts as Cancel.
  int Ask(const std::string& kind, const std::string& path);

 private:
  void Say(const std::string& text);
  int in_ = 0;
  int out_ = 2;
  int tty_ = -1;
};

}  // namespace vantrel::cli
