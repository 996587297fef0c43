#include "ui/UPreviewDialog.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "engine/uVantrelProject.h"
#include "ui/Prompts.h"
#include "ui/RunSummaryText.h"
#include "ui/UMain.h"
#include "ui/UPlanModel.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kProgressInterval = 70;  // ms, as on the Please wait page

}  // namespace

TPreviewDialog::TPreviewDialog(TFolderSynchronizer& project, TPrompts& prompts,
                               std::function<std::uint32_t()> clock, QWidget* parent)
    : QDialog(parent), project_(project), prompts_(prompts), clock_(std::move(clock)) {
  setObjectName(QStringLiteral("PreviewDialog"));
  setWindowTitle(QStringLiteral("Preview"));
  resize(720, 460);
  auto* layout = new QVBoxLayout(this);
  lPreviewTotals = new QLabel(QStringLiteral("Looking at the folders ..."), this);
  lPreviewTotals->setObjectName(QStringLiteral("lPreviewTotals"));
  lPreviewTotals->setWordWrap(true);
  lPreviewTotals->setTextFormat(Qt::PlainText);
  QFont bold = lPreviewTotals->font();
  bold.setBold(true);
  lPreviewTotals->setFont(bold);
  lPreviewFolders = new QLabel(this);
  lPreviewFolders->setObjectName(QStringLiteral("lPreviewFolders"));
  lPreviewFolders->setTextFormat(Qt::PlainText);
  lPreviewFolders->setWordWrap(true);
  lPreviewFolders->setText(QStringLiteral("Folder 1: %1\nFolder 2: %2")
                               .arg(QString::fromStdString(project.Folder1()),
                                    QString::fromStdString(project.Folder2())));
  lPreviewCurrent = new QLabel(this);
  lPreviewCurrent->setObjectName(QStringLiteral("lPreviewCurrent"));
  lPreviewCurrent->setTextFormat(Qt::PlainText);
  lPreviewCurrent->setMinimumWidth(1);  // a long path is cut, not widening the dialog
  model_ = new TPlanModel(this);
  tvPreviewPlan = new QTableView(this);
  tvPreviewPlan->setObjectName(QStringLiteral("tvPreviewPlan"));
  tvPreviewPlan->setModel(model_);
  tvPreviewPlan->setSortingEnabled(false);  // on once there is a plan: sorting reads it all
  tvPreviewPlan->setSelectionBehavior(QAbstractItemView::SelectRows);
  tvPreviewPlan->setWordWrap(false);
  tvPreviewPlan->setTextElideMode(Qt::ElideMiddle);
  tvPreviewPlan->verticalHeader()->setVisible(false);
  // Fixed row heights and column widths: nothing is measured row by row, so 100,000 rows
  // cost what the visible ones cost.
  tvPreviewPlan->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  tvPreviewPlan->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  tvPreviewPlan->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  tvPreviewPlan->horizontalHeader()->setStretchLastSection(false);
  tvPreviewPlan->setColumnWidth(TPlanModel::colAction, 180);
  tvPreviewPlan->setColumnWidth(TPlanModel::colPath, 410);
  tvPreviewPlan->setColumnWidth(TPlanModel::colSize, 90);
  bPreviewCancel = new QPushButton(QStringLiteral("Cancel"), this);
  bPreviewCancel->setObjectName(QStringLiteral("bPreviewCancel"));
  bPreviewClose = new QPushButton(QStringLiteral("Close"), this);
  bPreviewClose->setObjectName(QStringLiteral("bPreviewClose"));
  bPreviewClose->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(lPreviewCurrent, 1);
  buttons->addWidget(bPreviewCancel);
  buttons->addWidget(bPreviewClose);
  layout->addWidget(lPreviewTotals);
  layout->addWidget(lPreviewFolders);
  layout->addWidget(tvPreviewPlan, 1);
  layout->addLayout(buttons);
  // A preview changes nothing, so stopping it needs no question.
  connect(bPreviewCancel, &QPushButton::clicked, this, [this] { project_.Terminate(); });
  connect(bPreviewClose, &QPushButton::clicked, this, &QDialog::accept);
}

TPreviewDialog::~TPreviewDialog() = default;

void TPreviewDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  // After the dialog is drawn: the walk holds the thread but for its progress calls.
  QTimer::singleShot(0, this, [this] { RunPreview(); });
}

void TPreviewDialog::reject() {
  if (walking_) {
    closeAsked_ = true;
    project_.Terminate();
    return;
  }
  QDialog::reject();
}

void TPreviewDialog::Progress(const std::string& text) {
  const std::uint32_t now = clock_();
  if (static_cast<std::uint32_t>(now - lastTick_) <= kProgressInterval) return;
  lPreviewCurrent->setText(QString::fromStdString(text));
  lPreviewTotals->setText(PlanTotalsText(project_.Summary()));
  QCoreApplication::processEvents();
  lastTick_ = now;
}

void TPreviewDialog::RunPreview() {
  if (started_) return;
  started_ = true;
  walking_ = true;
  TSyncProgressEvent windowProgress = project_.OnProgress;
  project_.OnProgress = [this](TFolderSynchronizer&, const std::string& text) { Progress(text); };
  QString error;
  try {
    project_.Preview();
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  }
  project_.OnProgress = std::move(windowProgress);
  walking_ = false;
  finished_ = true;
  lPreviewCurrent->clear();
  lPreviewTotals->setText(error.isEmpty() ? PlanTotalsText(project_.Summary())
                                          : QStringLiteral("The preview failed."));
  model_->SetPlan(&project_.Plan(), project_.Folder1(), project_.Folder2());
  tvPreviewPlan->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // plan order
  tvPreviewPlan->setSortingEnabled(true);
  bPreviewCancel->setEnabled(false);
  bPreviewClose->setEnabled(true);
  bPreviewClose->setDefault(true);
  bPreviewClose->setFocus();
  if (!error.isEmpty()) prompts_.ShowError(ErrorBoxText(error));
  if (closeAsked_) QDialog::reject();
}

}  // namespace vantrel
