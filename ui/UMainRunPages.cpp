// The Please wait page with the run and its progress display, and the Results page.
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "engine/uVantrelProject.h"
#include "storage/ProjectLock.h"
#include "ui/Prompts.h"
#include "ui/ResultDocumentBuilder.h"
#include "ui/ResultHighlighter.h"
#include "ui/RunSummaryText.h"
#include "ui/SyncAnimation.h"
#include "ui/UMain.h"
#include "ui/UMainLayout.h"
#include "ui/UMainPictures.h"

namespace vantrel {

using layout::Named;

namespace {

const QColor kTeal(0x00, 0x80, 0x80);
const QColor kNavy(0x00, 0x00, 0x80);
constexpr std::uint32_t kProgressInterval = 70;  // ms; a text is shown only after more than this

void SetLinkLook(QLabel* label, const QColor& color, bool underline) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  QFont font = label->font();
  font.setUnderline(underline);
  label->setFont(font);
}

// Writes `text` with each of its lines ended by CR LF: a final line break adds no empty line,
// and an empty text gives an empty file.
void WriteCrLfText(const std::string& fileName, const QString& text) {
  QStringList lines = text.split(u'\n');
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  std::string bytes;
  for (const QString& line : lines) bytes += line.toStdString() + "\r\n";
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) {
    throw std::runtime_error("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeError = errno;
  if (std::fclose(file) != 0 || !written) {
    throw std::runtime_error("Cannot write file \"" + fileName + "\". " +
                             std::strerror(written ? errno : writeError));
  }
}

}  // namespace

void TVTMainForm::BuildWaitPage() {
  Animate1 = Named(new TSyncAnimation(TabSheet7), "Animate1");
  Animate1->setGeometry(16, 16, TSyncAnimation::kFrameWidth, TSyncAnimation::kFrameHeight);
  lCurrent = Named(new QLabel(TabSheet7), "lCurrent");
  lCurrent->setGeometry((layout::kClientWidth - 475) / 2, 76, 475, 20);
  lCurrent->setTextFormat(Qt::PlainText);
  lCounts = Named(new QLabel(TabSheet7), "lCounts");
  lCounts->setGeometry((layout::kClientWidth - 475) / 2, 98, 475, 20);
  lCounts->setTextFormat(Qt::PlainText);
  lCounts->setAlignment(Qt::AlignCenter);
  BitBtn3 = Named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                  QStringLiteral("Cancel"), TabSheet7),
                  "BitBtn3");
  BitBtn3->setGeometry((layout::kClientWidth - 75) / 2, 132, 75, 25);
  connect(BitBtn3, &QPushButton::clicked, this, Guarded(&TVTMainForm::BitBtn3Click));
}

void TVTMainForm::BuildResultsPage() {
  Panel4 = Named(new QWidget(TabSheet6), "Panel4");
  Panel4->setGeometry(0, 0, layout::kClientWidth, 85);
  Panel4->setCursor(Qt::PointingHandCursor);
  Panel4->setToolTip(QString::fromLatin1(kSiteUrl));
  Image2 = Named(new QLabel(Panel4), "Image2");
  Image2->setGeometry(16, 15, 55, 55);
  Image2->setPixmap(AdvertPicture());
  Image2->setToolTip(QString::fromLatin1(kSiteUrl));
  Label5 = Named(new QLabel(Panel4), "Label5");
  Label5->setText(
      QStringLiteral("Do you want to automate this? \nJust download the free trial of Brisklet."));
  Label5->setTextFormat(Qt::PlainText);
  QFont arial;
  arial.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                     QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                     QStringLiteral("Helvetica")});
  arial.setStyleHint(QFont::SansSerif);
  arial.setPixelSize(13);
  arial.setBold(true);
  Label5->setFont(arial);
  Label5->setGeometry(88, 24, 430, 36);
  SetLinkLook(Label5, kTeal, false);
  for (QWidget* clickable : {static_cast<QWidget*>(Panel4), static_cast<QWidget*>(Image2),
                             static_cast<QWidget*>(Label5)}) {
    clickable->installEventFilter(this);
  }

  mResult = Named(new QPlainTextEdit(TabSheet6), "mResult");
  mResult->setGeometry(0, 85, layout::kClientWidth - 110, layout::kPageHeight - 85);
  mResult->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  mResult->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mResult->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mResult->setFocusPolicy(Qt::ClickFocus);  // the Tab key passes over it
  resultHighlighter_ = new TResultHighlighter(mResult->document());
  // Not the document's child: the field deletes its first document when given another.
  resultHighlighter_->setParent(mResult);

  const int column = layout::kClientWidth - 110 + (110 - 93) / 2;
  bSave = Named(new QPushButton(QStringLiteral("&Save Project"), TabSheet6), "bSave");
  bSave->setGeometry(column, 93, 93, 25);
  Button2 = Named(new QPushButton(QStringLiteral("Save &Results"), TabSheet6), "Button2");
  Button2->setGeometry(column, 124, 93, 25);
  connect(bSave, &QPushButton::clicked, this, Guarded(&TVTMainForm::bSaveClick));
  connect(Button2, &QPushButton::clicked, this, Guarded(&TVTMainForm::Button2Click));
}

bool TVTMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label5 && event->type() == QEvent::Enter) {
    Guard([this] { Label5MouseEnter(); });
  } else if (watched == Label5 && event->type() == QEvent::Leave) {
    Guard([this] { Label5MouseLeave(); });
  } else if ((watched == Panel4 || watched == Image2 || watched == Label5) &&
             event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* widget = static_cast<QWidget*>(watched);
    if (mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint())) {
      Guard([this] { Label5Click(); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TVTMainForm::RunSynchronization() {
  TFolderSynchronizer& project = Project();
  // One run per project at a time, here and in vantrel-sync alike; nothing is done otherwise.
  ProjectLock lock(project.FileName());
  if (!lock.TryLock()) {
    prompts_.ShowError(QStringLiteral("This project is being run by another program. Try again "
                                      "when that run has ended."));
    return;
  }
  running_ = true;
  closeGranted_ = false;
  lCurrent->clear();  // nothing of an earlier run
  lCounts->setText(LiveCountsText(RunSummary()));
  MoveTo(pgWait);
  QCoreApplication::processEvents();  // draw the page before the run holds the thread
  Animate1->Play();
  resultBuilder_ = std::make_unique<TResultDocumentBuilder>();
  project.OnResultLine = [this](const std::string& line) { resultBuilder_->Add(line); };
  QString refusal;
  try {
    // A close granted while the page was drawn stops the run before its first file.
    if (!closeGranted_) project.Run();
  } catch (const std::exception& error) {
    // An invalid mask ends the run where it was met; the results show what was done until then.
    running_ = false;
    refusal = QString::fromUtf8(error.what());
    prompts_.ShowError(ErrorBoxText(refusal));
  }
  project.OnResultLine = nullptr;
  running_ = false;
  FinishRun(refusal);
}

void TVTMainForm::FinishRun(const QString& refusal) {
  PageControl1->setCurrentIndex(pgResults);
  Animate1->Stop();
  // What refused or ended the run comes first: "No files processed" alone would hide it.
  QString text;
  if (!refusal.isEmpty()) text = refusal + QStringLiteral("\r\n");
  bool failures = false;
  std::unique_ptr<QTextDocument> built;
  std::size_t builtLines = 0;
  if (resultBuilder_) {
    built = resultBuilder_->Finish(&failures);
    builtLines = resultBuilder_->Lines();
    resultBuilder_.reset();
  }
  if (built && builtLines == Project().ResultLogSize()) {
    if (!text.isEmpty()) {
      QTextCursor(built.get()).insertText(text);
      failures = failures || TResultHighlighter::AnyFailureLine(text);
    }
    ShowResultDocument(std::move(built), failures);
  } else if (!refusal.isEmpty() && Project().ResultLogSize() == 0) {
    ShowResultText(text);
  } else {
    ShowResultText(text + QString::fromStdString(Project().GetResultText()));
  }
  PageControl1Change();
  Label7->setText(ResultHeaderText(Project().Summary()));
}

void TVTMainForm::ShowResultText(const QString& text) {
  // The highlighter goes through every line the field gets, about 0.08 s at 100,000
  // lines; a text without a failure line does without it. It comes and goes while the field
  // is empty: leaving, it would go through the old text, and coming to a field with text, it
  // would leave the new text to later.
  const bool failures = TResultHighlighter::AnyFailureLine(text);
  if (failures != (resultHighlighter_->document() != nullptr)) {
    mResult->clear();
    resultHighlighter_->setDocument(failures ? mResult->document() : nullptr);
  }
  mResult->setPlainText(text);
}

void TVTMainForm::ShowResultDocument(std::unique_ptr<QTextDocument> document, bool failures) {
  // What the field set on its own document when it was made, the new one gets too.
  QTextDocument* shown = mResult->document();
  document->setDefaultFont(shown->defaultFont());
  document->setDefaultTextOption(shown->defaultTextOption());
  document->setDocumentMargin(shown->documentMargin());
  document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
  resultHighlighter_->setDocument(nullptr);
  QTextDocument* old = resultDocument_;
  resultDocument_ = document.release();
  resultDocument_->setParent(mResult);
  mResult->setDocument(resultDocument_);
  delete old;
  if (failures) resultHighlighter_->setDocument(resultDocument_);
}

void TVTMainForm::SyncProgress(TFolderSynchronizer&, const std::string& text) {
  const std::uint32_t now = clock_();
  if (static_cast<std::uint32_t>(now - LastProgressTick) <= kProgressInterval) return;
  lCurrent->setText(QString::fromStdString(text));
  if (synchronizer_) lCounts->setText(LiveCountsText(synchronizer_->Summary()));
  QCoreApplication::processEvents();
  LastProgressTick = now;
}

void TVTMainForm::BitBtn3Click() {
  if (prompts_.AskYesNo(QStringLiteral("Are You sure to stop Synchronization?")) && synchronizer_) {
    synchronizer_->Terminate();
  }
}

void TVTMainForm::UpdateSaveButton() {
  bSave->setEnabled(synchronizer_ && synchronizer_->Modified());
}

void TVTMainForm::bSaveClick() {
  SaveProjectIfModified(false);
  UpdateSaveButton();
}

void TVTMainForm::Button2Click() {
  QString fileName;
  if (!prompts_.SaveResultsFileName(fileName)) return;
  if (!QFileInfo(fileName).fileName().contains(u'.')) fileName += QStringLiteral(".txt");
  WriteCrLfText(fileName.toStdString(), mResult->toPlainText());
}

void TVTMainForm::Label5MouseEnter() { SetLinkLook(Label5, kNavy, true); }

void TVTMainForm::Label5MouseLeave() { SetLinkLook(Label5, kTeal, false); }

void TVTMainForm::Label5Click() {
  const QUrl url(QString::fromLatin1(kProductUrl));
  if (!prompts_.OpenUrl(url)) {
    prompts_.ShowError(QStringLiteral("Cannot open the web page ") + url.toString());
  }
}

}  // namespace vantrel
