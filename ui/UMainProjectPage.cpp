// The Project page: a new project or a saved one from the list, renaming in place, removal.
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

#include "engine/uVantrelProject.h"
#include "storage/uGlobal.h"
#include "ui/EnableControlTree.h"
#include "ui/Prompts.h"
#include "ui/UMain.h"
#include "ui/UMainLayout.h"
#include "ui/UMainPictures.h"
#include "ui/UMainProjectList.h"

namespace vantrel {

using layout::Named;

void TVTMainForm::BuildProjectPage() {
  Panel7 = Named(new QWidget(TabSheet1), "Panel7");
  Panel7->setGeometry(0, 0, layout::kClientWidth, 85);
  RadioButton1 =
      Named(new QRadioButton(QStringLiteral("&Create a New Project"), Panel7), "RadioButton1");
  RadioButton1->setGeometry(140, 18, 300, 22);
  RadioButton1->setChecked(true);
  rbExisting =
      Named(new QRadioButton(QStringLiteral("&Open an Existing Project"), Panel7), "rbExisting");
  rbExisting->setGeometry(140, 46, 300, 22);

  lvProject = Named(new TProjectListView(TabSheet1), "lvProject");
  lvProject->setGeometry(0, 85, layout::kClientWidth, layout::kPageHeight - 85 - 33);

  Panel2 = Named(new QWidget(TabSheet1), "Panel2");
  Panel2->setGeometry(0, layout::kPageHeight - 33, layout::kClientWidth, 33);
  bEdit =
      Named(new QPushButton(EditCaptionIcon(), QStringLiteral("Edit Caption"), Panel2), "bEdit");
  bEdit->setGeometry(256, 4, 135, 25);
  bRemove = Named(new QPushButton(RemoveProjectIcon(), QStringLiteral("Remove Project"), Panel2),
                  "bRemove");
  bRemove->setGeometry(396, 4, 135, 25);

  for (QRadioButton* radio : {RadioButton1, rbExisting}) {
    connect(radio, &QRadioButton::toggled, this, [this](bool checked) {
      if (checked) Guard([this] { pbProjectClick(); });
    });
  }
  connect(lvProject, &QTreeWidget::itemSelectionChanged, this,
          Guarded(&TVTMainForm::lvProjectSelectItem));
  connect(bEdit, &QPushButton::clicked, this, Guarded(&TVTMainForm::bEditClick));
  connect(bRemove, &QPushButton::clicked, this, Guarded(&TVTMainForm::bRemoveClick));
  lvProject->OnKeyDown = [this](int key) {
    bool consumed = false;
    Guard([&] { consumed = lvProjectKeyDown(key); });
    return consumed;
  };
  lvProject->OnEditing = [this](QTreeWidgetItem* item) {
    bool opened = false;
    Guard([&] {
      lvProjectEditing(item);
      opened = true;
    });
    return opened;
  };
  lvProject->OnEdited = [this](QTreeWidgetItem* item, const QString& text) {
    Guard([&] { lvProjectEdited(item, text); });
  };
}

void TVTMainForm::pbProjectClick() {
  const bool listInUse = !RadioButton1->isChecked();
  EnableControlTree(lvProject, listInUse);
  EnableControlTree(Panel2, listInUse);
  if (rbExisting->isChecked()) {
    lvProjectSelectItem();
  } else {
    bNext->setEnabled(true);
  }
}

void TVTMainForm::lvProjectSelectItem() {
  if (!rbExisting->isChecked()) return;
  const bool selected = lvProject->SelectedRow() != nullptr;
  for (QPushButton* button : {bNext, bRemove, bEdit}) button->setEnabled(selected);
}

void TVTMainForm::FillProjectList() {
  lvProject->clear();
  QStringList unreadable;
  for (const std::string& path : ListProjectFiles()) {
    ReplaceSynchronizer(std::make_unique<TFolderSynchronizer>(path));
    try {
      synchronizer_->Load();
    } catch (const std::exception& error) {
      // One bad file must not hide the projects listed after it.
      unreadable << QString::fromStdString(path) + QStringLiteral(": ") +
                        ErrorBoxText(QString::fromUtf8(error.what()));
      continue;
    }
    lvProject->AddRow(QString::fromStdString(synchronizer_->ProjectName()),
                      QString::fromStdString(synchronizer_->GetCaptionText()),
                      synchronizer_->FileName());
  }
  lvProject->SortRows();
  lvProject->clearSelection();
  lvProjectSelectItem();
  if (!unreadable.isEmpty()) {
    prompts_.ShowError(QStringLiteral("Some project files could not be read:\n") +
                       unreadable.join(u'\n'));
  }
}

void TVTMainForm::bRemoveClick() {
  QTreeWidgetItem* row = lvProject->SelectedRow();
  if (!row) return;
  if (!prompts_.AskYesNo(QStringLiteral("Remove selected Project?"))) return;
  // A file that is already gone or cannot be deleted is not reported; the list shows the truth.
  ::unlink(TProjectListView::RowFileName(row).c_str());
  FillProjectList();
}

void TVTMainForm::bEditClick() {
  QTreeWidgetItem* row = lvProject->SelectedRow();
  if (!row) return;
  lvProject->setFocus();
  lvProject->editItem(row, 0);
}

bool TVTMainForm::lvProjectKeyDown(int key) {
  if (key != Qt::Key_F2) return false;
  bEditClick();
  return true;
}

void TVTMainForm::lvProjectEditing(QTreeWidgetItem* item) {
  ReplaceSynchronizer(std::make_unique<TFolderSynchronizer>(TProjectListView::RowFileName(item)));
  synchronizer_->Load();
}

void TVTMainForm::lvProjectEdited(QTreeWidgetItem*, const QString& text) {
  Project().SetProjectName(text.toStdString());
  lvProject->SortRows();
  SaveProjectIfModified(true);
}

bool TVTMainForm::ProjectPageNext() {
  ReplaceSynchronizer(nullptr);
  if (RadioButton1->isChecked()) {
    ReplaceSynchronizer(std::make_unique<TFolderSynchronizer>(NewProjectFileName()));
  } else {
    QTreeWidgetItem* row = lvProject->SelectedRow();
    if (!row) return false;
    ReplaceSynchronizer(std::make_unique<TFolderSynchronizer>(TProjectListView::RowFileName(row)));
    synchronizer_->Load();
  }
  synchronizer_->OnProgress = [this](TFolderSynchronizer& sender, const std::string& text) {
    SyncProgress(sender, text);
  };
  synchronizer_->OnConfirmRemoval = [this](const std::string& kind, const std::string& path) {
    return prompts_.ConfirmRemoval(QString::fromStdString(kind), QString::fromStdString(path),
                                   synchronizer_->RemovesToTrash());
  };
  eFolder1->setText(QString::fromStdString(synchronizer_->Folder1()));
  eFolder2->setText(QString::fromStdString(synchronizer_->Folder2()));
  return true;
}

}  // namespace vantrel
