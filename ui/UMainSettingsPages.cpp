// The settings pages: folders, synchronization mode, advanced options and the summary.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include "engine/uVantrelProject.h"
#include "ui/Prompts.h"
#include "ui/UMain.h"
#include "ui/UMainLayout.h"

namespace vantrel {

using layout::Named;

namespace {

QToolButton* FolderButton(QWidget* parent, const char* name, int tag) {
  auto* button = Named(new QToolButton(parent), name);
  button->setIcon(parent->style()->standardIcon(QStyle::SP_DirOpenIcon));
  button->setIconSize(QSize(16, 16));
  button->setToolTip(QStringLiteral("Select Folder"));
  button->setProperty("tag", tag);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A caption at `top` of `page` over a one-line edit of the same width, whose buddy it is.
QLineEdit* CaptionedEdit(QWidget* page, QLabel*& caption, const char* captionName,
                         const QString& text, const char* editName, int top, int width) {
  caption = Named(new QLabel(text, page), captionName);
  caption->setGeometry(16, top, width, 18);
  auto* edit = Named(new QLineEdit(page), editName);
  edit->setGeometry(16, top + 20, width, 24);
  caption->setBuddy(edit);
  return edit;
}

}  // namespace

void TVTMainForm::BuildFoldersPage() {
  eFolder1 = CaptionedEdit(TabSheet2, Label1, "Label1",
                           QStringLiteral("Folder &1 (Source Folder):"), "eFolder1", 16, 457);
  bSelectFolder = FolderButton(TabSheet2, "bSelectFolder", 1);
  bSelectFolder->setGeometry(477, 36, 24, 24);

  eFolder2 = CaptionedEdit(TabSheet2, Label2, "Label2",
                           QStringLiteral("Folder &2 (Destination folder):"), "eFolder2", 76, 457);
  BitBtn6 = FolderButton(TabSheet2, "BitBtn6", 2);
  BitBtn6->setGeometry(477, 96, 24, 24);

  Button1 = Named(new QPushButton(QStringLiteral("Swap Folders"), TabSheet2), "Button1");
  Button1->setGeometry(376, 130, 125, 21);
  Button1->setFocusPolicy(Qt::ClickFocus);  // the Tab key passes over it

  setTabOrder(eFolder1, bSelectFolder);
  setTabOrder(bSelectFolder, eFolder2);
  setTabOrder(eFolder2, BitBtn6);

  for (QToolButton* button : {bSelectFolder, BitBtn6}) {
    connect(button, &QToolButton::clicked, this,
            [this, button] { Guard([this, button] { bSelectFolderClick(button); }); });
  }
  connect(Button1, &QPushButton::clicked, this, Guarded(&TVTMainForm::Button1Click));
}

void TVTMainForm::BuildModePage() {
  rbBidiret =
      Named(new QRadioButton(QStringLiteral("Folder 1 <=> Folder 2 (bidirectional)"), TabSheet4),
            "rbBidiret");
  rbBidiret->setGeometry(16, 10, 400, 22);
  rbUnidirect =
      Named(new QRadioButton(QStringLiteral("Folder 1 ==> Folder 2 (unidirectional)"), TabSheet4),
            "rbUnidirect");
  rbUnidirect->setGeometry(16, 34, 400, 22);
  cbExactCopy =
      Named(new QCheckBox(QStringLiteral("Exact copy in Folder 2"), TabSheet4), "cbExactCopy");
  cbExactCopy->setGeometry(40, 58, 400, 22);
  Label8 = Named(new QLabel(TabSheet4), "Label8");
  Label8->setText(QStringLiteral(
      "\"Exact copy\" options means that Vantrel will make the exact copy of source folder "
      "(Folder 1) in destination folder (Folder 2). Also this means that Vantrel will remove all "
      "files and folders from destination folder, which doesn't exist in source folder."));
  Label8->setWordWrap(true);
  Label8->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label8->setGeometry(40, 82, 421, 57);
  QPalette maroon = Label8->palette();
  maroon.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
  Label8->setPalette(maroon);
  cbSubDir = Named(new QCheckBox(QStringLiteral("Include &Subfolders"), TabSheet4), "cbSubDir");
  cbSubDir->setGeometry(16, 150, 400, 22);
  cbAdvanced =
      Named(new QCheckBox(QStringLiteral("&Use Advanced Options"), TabSheet4), "cbAdvanced");
  cbAdvanced->setGeometry(16, 174, 400, 22);
  cbUseTrash = Named(
      new QCheckBox(QStringLiteral("Move removed and replaced files to the &trash"), TabSheet4),
      "cbUseTrash");
  cbUseTrash->setGeometry(16, 198, 400, 22);
  cbUseTrash->setToolTip(
      QStringLiteral("Files that an exact copy removes, and old versions of files that a copy "
                     "replaces, can be restored from the desktop's trash"));

  // At design neither direction is chosen; the first fill chooses one.
  for (QRadioButton* radio : {rbBidiret, rbUnidirect}) {
    connect(radio, &QRadioButton::toggled, this, Guarded(&TVTMainForm::rbDirectClick));
  }
  connect(cbExactCopy, &QCheckBox::toggled, this, Guarded(&TVTMainForm::cbExactCopyClick));
}

void TVTMainForm::BuildAdvancedPage() {
  eIncludeMask =
      CaptionedEdit(TabSheet5, Label3, "Label3",
                    QStringLiteral("&Include Masks (comma separated):"), "eIncludeMask", 16, 481);
  eExcludeMask =
      CaptionedEdit(TabSheet5, Label4, "Label4",
                    QStringLiteral("&Exclude Masks (comma separated):"), "eExcludeMask", 76, 481);
  cbHidden = Named(new QCheckBox(QStringLiteral("Process &Hidden Files"), TabSheet5), "cbHidden");
  cbHidden->setGeometry(16, 136, 400, 22);
  cbSystem = Named(new QCheckBox(QStringLiteral("Process &System files"), TabSheet5), "cbSystem");
  cbSystem->setGeometry(16, 160, 400, 22);
}

void TVTMainForm::BuildReadyPage() {
  mReadyText = Named(new QPlainTextEdit(TabSheet3), "mReadyText");
  mReadyText->setGeometry(8, 8, layout::kClientWidth - 16, layout::kPageHeight - 49);
  mReadyText->setReadOnly(true);
  mReadyText->setLineWrapMode(QPlainTextEdit::NoWrap);
  mReadyText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mReadyText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mReadyText->setFocusPolicy(Qt::ClickFocus);  // the Tab key passes over it
  QPalette face = mReadyText->palette();
  face.setColor(QPalette::Base, QApplication::palette().color(QPalette::Button));
  mReadyText->setPalette(face);
  bPreview = Named(new QPushButton(QStringLiteral("&Preview"), TabSheet3), "bPreview");
  bPreview->setGeometry(layout::kClientWidth - 8 - 75, layout::kPageHeight - 33, 75, 25);
  bPreview->setToolTip(QStringLiteral("Show what Go! would do, without doing it"));
  connect(bPreview, &QPushButton::clicked, this, Guarded(&TVTMainForm::bPreviewClick));
}

void TVTMainForm::bSelectFolderClick(QObject* sender) {
  const int tag = sender ? sender->property("tag").toInt() : 0;
  QLineEdit* field = tag == 1 ? eFolder1 : tag == 2 ? eFolder2 : nullptr;
  if (!field) return;
  QString folder;
  if (prompts_.SelectFolder(field->text(), QStringLiteral("Select folder:"), folder)) {
    field->setText(folder);
  }
}

void TVTMainForm::Button1Click() {
  const QString first = eFolder1->text();
  eFolder1->setText(eFolder2->text());
  eFolder2->setText(first);
}

void TVTMainForm::rbDirectClick() { cbExactCopy->setEnabled(rbUnidirect->isChecked()); }

void TVTMainForm::cbExactCopyClick() {
  if (!exactCopyRuleOn_ || !cbExactCopy->isChecked()) return;
  if (!prompts_.AskYesNo(QStringLiteral("Are you sure to enable exact copy?"))) {
    cbExactCopy->setChecked(false);
  }
}

bool TVTMainForm::FoldersPageNext() {
  for (QLineEdit* field : {eFolder1, eFolder2}) {
    if (field->text().isEmpty()) {
      field->setFocus();
      prompts_.Beep();
      return false;
    }
  }
  TFolderSynchronizer& project = Project();
  project.SetFolder1(eFolder1->text().toStdString());
  project.SetFolder2(eFolder2->text().toStdString());
  FillModePage();
  return true;
}

void TVTMainForm::FillModePage() {
  const TFolderSynchronizer& project = Project();
  (project.CopyMode() != 0 ? rbUnidirect : rbBidiret)->setChecked(true);
  rbDirectClick();
  exactCopyRuleOn_ = false;
  cbExactCopy->setChecked(project.ExactCopy());
  exactCopyRuleOn_ = true;
  cbSubDir->setChecked(project.IncludeSubfolders());
  cbAdvanced->setChecked(project.AdvancedOptions());
  cbUseTrash->setChecked(project.UseTrash());
}

void TVTMainForm::ModePageNext() {
  TFolderSynchronizer& project = Project();
  project.SetCopyMode(rbBidiret->isChecked() ? 0 : 1);
  project.SetExactCopy(cbExactCopy->isChecked());
  project.SetIncludeSubfolders(cbSubDir->isChecked());
  project.SetAdvancedOptions(cbAdvanced->isChecked());
  project.SetUseTrash(cbUseTrash->isChecked());
  FillAdvancedPage();
  mReadyText->setPlainText(Text(project.GetSummaryText()));
}

void TVTMainForm::FillAdvancedPage() {
  const TFolderSynchronizer& project = Project();
  const QString include = Text(project.GetIncludeText());
  eIncludeMask->setText(include.isEmpty() ? QStringLiteral("*.*") : include);
  eExcludeMask->setText(Text(project.GetExcludeText()));
  cbHidden->setChecked(project.ProcessHidden());
  cbSystem->setChecked(project.ProcessSystem());
}

void TVTMainForm::AdvancedPageNext() {
  TFolderSynchronizer& project = Project();
  project.SetIncludeText(eIncludeMask->text().toStdString());
  project.SetExcludeText(eExcludeMask->text().toStdString());
  project.SetProcessHidden(cbHidden->isChecked());
  project.SetProcessSystem(cbSystem->isChecked());
  mReadyText->setPlainText(Text(project.GetSummaryText()));
}

}  // namespace vantrel
