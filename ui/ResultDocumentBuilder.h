// Puts a run's result lines into a text document on a thread of its own while the run goes on.
#pragma once

#include <QTextDocument>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QThread;

namespace vantrel {

// A long log made the Results page wait at the end of a run: 100,000 lines take a quarter of a
// second to go into a text field, on the thread that draws the window. The field's document can
// be built apart from the field, so the lines go to a document on a second thread as the run
// writes them, a few thousand at a time, and only the finished document is handed to the field.
//
// The document holds each line followed by "\r\n", as the result text does, and is the same as
// a document given that text with setPlainText. It has no layout: the field that takes it sets
// one on its own thread.
//
// Add and Finish are called on one thread, the one that will own the document.
class TResultDocumentBuilder {
 public:
  // `chunkLines`: how many lines go to the second thread at a time (at least 1).
  explicit TResultDocumentBuilder(std::size_t chunkLines = 4096);
  // Waits for the second thread, if any, and drops a document not taken.
  ~TResultDocumentBuilder();
  TResultDocumentBuilder(const TResultDocumentBuilder&) = delete;
  TResultDocumentBuilder& operator=(const TResultDocumentBuilder&) = delete;

  // Adds one line (UTF-8 bytes; any bytes). The thread starts with the first full chunk.
  void Add(const std::string& line);

  // Waits until every added line is in the document and returns it, owned by the caller and
  // living in the calling thread; nullptr when no line was added or no thread could be had.
  // `failures` tells whether any line may be one that TResultHighlighter marks. Call once;
  // Add may not follow.
  std::unique_ptr<QTextDocument> Finish(bool* failures);

  // The lines added so far.
  std::size_t Lines() const { return lines_; }

 private:
  void Hand(std::string chunk);  // to the second thread, starting it if need be
  void Build(QThread* owner);    // the second thread's body

  const std::size_t chunkLines_;
  std::size_t lines_ = 0;
  std::string pending_;    // lines not yet handed over
  bool noThread_ = false;  // the thread could not be started: no document is built

  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_:
  std::deque<std::string> chunks_;
  bool finishing_ = false;
  bool built_ = false;
  bool failures_ = false;
  std::unique_ptr<QTextDocument> document_;

  std::thread thread_;
};

}  // namespace vantrel
