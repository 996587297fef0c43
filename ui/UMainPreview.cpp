// The Preview button of the Ready to process page, and where the focus goes on each page.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "ui/UMain.h"
#include "ui/UMainProjectList.h"
#include "ui/UPreviewDialog.h"

namespace vantrel {

void TVTMainForm::bPreviewClick() {
  TPreviewDialog dialog(Project(), prompts_, clock_, this);
  dialog.exec();
  bPreview->setFocus();
}

void TVTMainForm::FocusFirstInput() {
  QWidget* first = nullptr;
  switch (PageControl1->currentIndex()) {
    case pgProject:
      first = rbExisting->isChecked() ? static_cast<QWidget*>(rbExisting) : RadioButton1;
      break;
    case pgFolders:
      first = eFolder1;
      break;
    case pgMode:
      first = rbUnidirect->isChecked() ? rbUnidirect : rbBidiret;
      break;
    case pgAdvanced:
      first = eIncludeMask;
      break;
    case pgReady:
      first = bPreview;
      break;
    case pgWait:
      first = BitBtn3;
      break;
    case pgResults:
      first = bSave->isEnabled() ? bSave : Button2;
      break;
    default:
      break;
  }
  if (first != nullptr) first->setFocus();
}

}  // namespace vantrel
