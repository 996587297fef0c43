// A TPrompts that answers from queues and records every question, for window tests.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>

#include "common/ModalResult.h"
#include "ui/Prompts.h"

namespace vantrel::test {

class ScriptedPrompts : public TPrompts {
 public:
  // Each call is recorded as "Kind: text" in `log`, in order.
  QStringList log;

  // Queued answers; when a queue is empty the default below is used.
  std::deque<bool> yesNoAnswers;          // default: false (No)
  std::deque<int> yesNoCancelAnswers;     // default: mrCancel
  std::deque<QString> projectNames;       // a null QString means Cancel; default: Cancel
  std::deque<QString> folders;            // a null QString means Cancel; default: Cancel
  std::deque<QString> saveFileNames;      // a null QString means Cancel; default: Cancel
  std::deque<int> removalAnswers;         // default: mrCancel

  QStringList errors;    // messages given to ShowError
  QStringList messages;  // messages given to ShowMessage
  int beeps = 0;
  QList<QUrl> openedUrls;
  bool urlsOpen = true;  // what OpenUrl answers

  bool AskYesNo(const QString& message) override {
    log << "AskYesNo: " + message;
    return Pop(yesNoAnswers, false);
  }
  int AskYesNoCancel(const QString& message) override {
    log << "AskYesNoCancel: " + message;
    return Pop(yesNoCancelAnswers, mrCancel);
  }
  bool InputProjectName(QString& text) override {
    log << "InputProjectName";
    return Take(projectNames, text);
  }
  bool SelectFolder(const QString& startFolder, const QString& prompt, QString& folder) override {
    log << "SelectFolder: " + startFolder + " | " + prompt;
    return Take(folders, folder);
  }
  bool SaveResultsFileName(QString& fileName) override {
    log << "SaveResultsFileName";
    return Take(saveFileNames, fileName);
  }
  int ConfirmRemoval(const QString& kind, const QString& path, bool toTrash) override {
    log << QStringLiteral("ConfirmRemoval: ") + (toTrash ? "(trash) " : "") + kind + " " + path;
    return Pop(removalAnswers, mrCancel);
  }
  void ShowError(const QString& message) override {
    log << "ShowError: " + message;
    errors << message;
  }
  void ShowMessage(const QString& message) override {
    log << "ShowMessage: " + message;
    messages << message;
  }
  void Beep() override {
    log << "Beep";
    ++beeps;
  }
  bool OpenUrl(const QUrl& url) override {
    log << "OpenUrl: " + url.toString();
    openedUrls << url;
    return urlsOpen;
  }

 private:
  template <typename T>
  static T Pop(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T value = queue.front();
    queue.pop_front();
    return value;
  }
  static bool Take(std::deque<QString>& queue, QString& out) {
    const QString value = Pop(queue, QString());
    if (value.isNull()) return false;
    out = value;
    return true;
  }
};

}  // namespace vantrel::test
