// The Preview dialog of the Ready to process page: walks the trees as the run would, without
// changing anything, and shows the totals and every planned action.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QTableView;

namespace vantrel {

class TFolderSynchronizer;
class TPlanModel;
class TPrompts;

class TPreviewDialog : public QDialog {
  Q_OBJECT

 public:
  // `project` and `prompts` must outlive the dialog; `clock` reads the window's 32-bit
  // millisecond tick. The preview starts once the dialog is shown (or by RunPreview()).
  TPreviewDialog(TFolderSynchronizer& project, TPrompts& prompts,
                 std::function<std::uint32_t()> clock, QWidget* parent = nullptr);
  ~TPreviewDialog() override;

  // Walks the trees and fills the dialog; stays on the call until the walk ends. An error of
  // the walk (an invalid mask, overlapping folders) goes to the error box.
  void RunPreview();
  // True once the walk has ended (normally, stopped or failed).
  bool Finished() const { return finished_; }
  TPlanModel* Model() const { return model_; }
  // Closing while the walk goes on stops it; the dialog closes when the walk has returned.
  void reject() override;

  QLabel* lPreviewTotals;
  QLabel* lPreviewFolders;  // what the relative paths of the table are relative to
  QLabel* lPreviewCurrent;
  QTableView* tvPreviewPlan;
  QPushButton* bPreviewCancel;
  QPushButton* bPreviewClose;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Progress(const std::string& text);

  TFolderSynchronizer& project_;
  TPrompts& prompts_;
  std::function<std::uint32_t()> clock_;
  TPlanModel* model_;
  std::uint32_t lastTick_ = 0;
  bool started_ = false;
  bool walking_ = false;
  bool finished_ = false;
  bool closeAsked_ = false;
};

}  // namespace vantrel
