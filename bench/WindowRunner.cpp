#include "bench/WindowRunner.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <chrono>
#include <stdexcept>

#include "common/ModalResult.h"
#include "engine/uVantrelProject.h"
#include "ui/Prompts.h"
#include "ui/UMain.h"

namespace vantrel::bench {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The user's answers: yes to the exact-copy question, "Yes to all" removals, nothing saved.
class BenchPrompts : public TPrompts {
 public:
  explicit BenchPrompts(std::vector<std::string>& shown) : shown_(shown) {}
  bool AskYesNo(const QString&) override { return true; }
  int AskYesNoCancel(const QString&) override { return mrNo; }
  bool InputProjectName(QString&) override { return false; }
  bool SelectFolder(const QString&, const QString&, QString&) override { return false; }
  bool SaveResultsFileName(QString&) override { return false; }
  int ConfirmRemoval(const QString&, const QString&, bool) override { return mrYesToAll; }
  void ShowError(const QString& message) override { shown_.push_back(message.toStdString()); }
  void ShowMessage(const QString& message) override { shown_.push_back(message.toStdString()); }
  void Beep() override {}
  bool OpenUrl(const QUrl&) override { return false; }

 private:
  std::vector<std::string>& shown_;
};

// Clicks `box` when it is not already as wanted, so that its handler runs as for a user.
void SetByClick(QAbstractButton* box, bool checked) {
  if (box->isChecked() != checked) box->click();
}

void Next(TVTMainForm& form, TVTMainForm::TPage expected) {
  form.bNext->click();
  QCoreApplication::processEvents();
  if (form.PageControl1->currentIndex() != expected) {
    throw std::runtime_error("the window did not go on to page " + std::to_string(expected) +
                             " (it shows page " +
                             std::to_string(form.PageControl1->currentIndex()) + ")");
  }
}

}  // namespace

WindowRun RunThroughWindow(const std::string& folder1, const std::string& folder2,
                           bool bidirectional, bool exact, bool noTrash) {
  WindowRun result;
  BenchPrompts prompts(result.errors);
  TVTMainForm form(prompts);
  form.show();
  QCoreApplication::processEvents();

  form.RadioButton1->click();  // a new project
  Next(form, TVTMainForm::pgFolders);
  form.eFolder1->setText(QString::fromStdString(folder1));
  form.eFolder2->setText(QString::fromStdString(folder2));
  Next(form, TVTMainForm::pgMode);
  (bidirectional ? form.rbBidiret : form.rbUnidirect)->click();
  SetByClick(form.cbExactCopy, exact);
  SetByClick(form.cbSubDir, true);
  SetByClick(form.cbAdvanced, false);
  SetByClick(form.cbUseTrash, !noTrash);
  Next(form, TVTMainForm::pgReady);

  TFolderSynchronizer& project = *form.Synchronizer();
  // Without the advanced options the window leaves these two as a new project has them; the
  // headless runs include hidden and system entries, so the window's run does too.
  project.SetProcessHidden(true);
  project.SetProcessSystem(true);
  // The window's own handler, only counted and timed around.
  TSyncProgressEvent windowHandler = project.OnProgress;
  if (!windowHandler) throw std::runtime_error("the window set no progress handler");
  project.OnProgress = [&](TFolderSynchronizer& sender, const std::string& text) {
    const auto start = Clock::now();
    windowHandler(sender, text);
    result.handlerSeconds += SecondsSince(start);
    ++result.notifications;
  };

  const auto start = Clock::now();
  form.bNext->click();                // "Go!": returns when the Results page is filled
  QCoreApplication::processEvents();  // and drawn
  result.seconds = SecondsSince(start);
  if (form.PageControl1->currentIndex() != TVTMainForm::pgResults && result.errors.empty()) {
    throw std::runtime_error("the run ended without the Results page");
  }
  result.runSeconds = static_cast<double>(project.Summary().elapsedMs) / 1000.0;
  result.logLines = static_cast<long>(project.ResultLogSize());
  return result;
}

}  // namespace vantrel::bench
