#include "ui/ResultDocumentBuilder.h"

#include <QTextCursor>
#include <QThread>
#include <algorithm>
#include <system_error>
#include <utility>

#include "ui/ResultHighlighter.h"

namespace vantrel {

TResultDocumentBuilder::TResultDocumentBuilder(std::size_t chunkLines)
    : chunkLines_(std::max<std::size_t>(chunkLines, 1)) {}

TResultDocumentBuilder::~TResultDocumentBuilder() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void TResultDocumentBuilder::Add(const std::string& line) {
  ++lines_;
  if (noThread_) return;
  pending_.append(line).append("\r\n");
  if (lines_ % chunkLines_ == 0) Hand(std::exchange(pending_, std::string()));
}

void TResultDocumentBuilder::Hand(std::string chunk) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    chunks_.push_back(std::move(chunk));
  }
  changed_.notify_all();
  if (thread_.joinable()) return;
  QThread* owner = QThread::currentThread();
  try {
    thread_ = std::thread([this, owner] { Build(owner); });
  } catch (const std::system_error&) {
    // No thread for the display must not stop the run: the log goes in as text then.
    noThread_ = true;
    pending_.clear();
    chunks_.clear();
  }
}

std::unique_ptr<QTextDocument> TResultDocumentBuilder::Finish(bool* failures) {
  *failures = false;
  if (lines_ == 0 || noThread_) return nullptr;
  if (!pending_.empty()) Hand(std::exchange(pending_, std::string()));
  if (noThread_) return nullptr;  // a short log's first chunk is handed over only now
  std::unique_lock<std::mutex> lock(mutex_);
  finishing_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return built_; });
  *failures = failures_;
  std::unique_ptr<QTextDocument> document = std::move(document_);
  lock.unlock();
  thread_.join();
  return document;
}

void TResultDocumentBuilder::Build(QThread* owner) {
  auto document = std::make_unique<QTextDocument>();
  document->setUndoRedoEnabled(false);
  bool failures = false;
  {
    // Gone before the document moves: a cursor registers itself with its document.
    QTextCursor cursor(document.get());
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return !chunks_.empty() || finishing_; });
      if (chunks_.empty()) break;
      std::string chunk = std::move(chunks_.front());
      chunks_.pop_front();
      lock.unlock();
      // Each chunk ends with a line break, so converting and searching chunk by chunk gives
      // what the whole text would.
      const QString text = QString::fromUtf8(chunk.data(), static_cast<qsizetype>(chunk.size()));
      failures = failures || TResultHighlighter::AnyFailureLine(text);
      cursor.insertText(text);
      lock.lock();
    }
  }
  // Only the thread an object lives in may move it.
  document->moveToThread(owner);
  std::lock_guard<std::mutex> lock(mutex_);
  document_ = std::move(document);
  failures_ = failures;
  built_ = true;
  changed_.notify_all();
}

}  // namespace vantrel
