// The window frame, its error guard, first show, closing and the page navigation.
#include "ui/UMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "common/ModalResult.h"
#include "engine/uVantrelProject.h"
#include "ui/Prompts.h"
#include "ui/ResultDocumentBuilder.h"
#include "ui/SyncAnimation.h"
#include "ui/UMainLayout.h"
#include "ui/UMainPictures.h"
#include "ui/UMainProjectList.h"

namespace vantrel {

using layout::Named;

const char* const TVTMainForm::kVersion = "1.2";
const char* const TVTMainForm::kProductUrl = "https://www.brisklet.example/download?ref=vantrel";
const char* const TVTMainForm::kSiteUrl = "https://www.brisklet.example/";

namespace {

struct TPageHeader {
  const char* title;
  const char* subtitle;
};

// By page index.
constexpr TPageHeader kHeaders[] = {
    {"1. Project", "Creating a new project or open an existing one."},
    {"2. Folders", "Select source and destination folders."},
    {"3. Synchronization mode", "Specify how to synchronize folders."},
    {"4. Advanced options",
     "Specify files masks, which will included and excluded to synchronization process."},
    {"5. Ready to process", "Verify synchronization parameters, please."},
    {"6. Please wait ...", "You may press Cancel button to stop process."},
    {"7. Results", "You may view the synchronization results and save it to text file."},
};

QFrame* EtchedLine(QWidget* parent, const char* name, int y) {
  auto* line = Named(new QFrame(parent), name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setLineWidth(1);
  line->setGeometry(0, y, layout::kClientWidth, 2);
  return line;
}

}  // namespace

std::uint32_t SystemTickCount() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
  return message;
}

TVTMainForm::TVTMainForm(TPrompts& prompts, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      prompts_(prompts),
      clock_(SystemTickCount) {
  setObjectName(QStringLiteral("VTMainForm"));
  setWindowTitle(QStringLiteral("Vantrel"));
  setWindowIcon(ProgramIcon());
  setFixedSize(layout::kClientWidth, layout::kClientHeight);
  previousMessageHook_ = SetMessageHook([this](const std::string& message) {
    prompts_.ShowMessage(QString::fromStdString(message));
  });

  BuildFrame();
  BuildProjectPage();
  BuildFoldersPage();
  BuildModePage();
  BuildAdvancedPage();
  BuildReadyPage();
  BuildWaitPage();
  BuildResultsPage();

  // Enter on a focused push button presses that button; elsewhere it reaches keyPressEvent.
  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(true);
  bNext->setDefault(true);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

TVTMainForm::~TVTMainForm() { SetMessageHook(std::move(previousMessageHook_)); }

void TVTMainForm::BuildFrame() {
  Panel5 = Named(new QWidget(this), "Panel5");
  Panel5->setGeometry(0, 0, layout::kClientWidth, layout::kHeaderHeight);
  Image1 = Named(new QLabel(Panel5), "Image1");
  QPixmap white(8, 8);
  white.fill(Qt::white);
  Image1->setPixmap(white);
  Image1->setScaledContents(true);
  Image1->setGeometry(0, 0, layout::kClientWidth, layout::kHeaderHeight);
  Label6 = Named(new QLabel(Panel5), "Label6");
  QFont bold = Label6->font();
  bold.setBold(true);
  Label6->setFont(bold);
  Label6->setGeometry(16, 16, 510, 16);
  Label7 = Named(new QLabel(Panel5), "Label7");
  Label7->setGeometry(32, 32, 500, 16);
  Bevel2 = EtchedLine(Panel5, "Bevel2", layout::kHeaderHeight - 2);

  PageControl1 = Named(new QStackedWidget(this), "PageControl1");
  PageControl1->setGeometry(0, layout::kHeaderHeight, layout::kClientWidth, layout::kPageHeight);
  // Index order: Project, Folders, Mode, Advanced options, Ready, Please wait, Results.
  TabSheet1 = Named(new QWidget, "TabSheet1");
  TabSheet2 = Named(new QWidget, "TabSheet2");
  TabSheet4 = Named(new QWidget, "TabSheet4");
  TabSheet5 = Named(new QWidget, "TabSheet5");
  TabSheet3 = Named(new QWidget, "TabSheet3");
  TabSheet7 = Named(new QWidget, "TabSheet7");
  TabSheet6 = Named(new QWidget, "TabSheet6");
  for (QWidget* sheet :
       {TabSheet1, TabSheet2, TabSheet4, TabSheet5, TabSheet3, TabSheet7, TabSheet6}) {
    PageControl1->addWidget(sheet);
  }

  Panel1 = Named(new QWidget(this), "Panel1");
  Panel1->setGeometry(0, layout::kClientHeight - layout::kButtonBarHeight, layout::kClientWidth,
                      layout::kButtonBarHeight);
  Bevel1 = EtchedLine(Panel1, "Bevel1", 0);
  bBack = Named(new QPushButton(QStringLiteral("<< Back"), Panel1), "bBack");
  bBack->setGeometry(279, 16, 75, 25);
  bNext = Named(new QPushButton(QStringLiteral("Next >>"), Panel1), "bNext");
  bNext->setGeometry(360, 16, 75, 25);
  bClose = Named(new QPushButton(QStringLiteral("Close"), Panel1), "bClose");
  bClose->setGeometry(456, 16, 75, 25);
  setTabOrder(bBack, bNext);
  setTabOrder(bNext, bClose);
  connect(bBack, &QPushButton::clicked, this, Guarded(&TVTMainForm::bBackClick));
  connect(bNext, &QPushButton::clicked, this, Guarded(&TVTMainForm::bNextClick));
  connect(bClose, &QPushButton::clicked, this, Guarded(&TVTMainForm::bCloseClick));
}

void TVTMainForm::Guard(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    prompts_.ShowError(ErrorBoxText(QString::fromUtf8(error.what())));
  } catch (...) {
    prompts_.ShowError(ErrorBoxText(QStringLiteral("Unknown error")));
  }
}

std::function<void()> TVTMainForm::Guarded(void (TVTMainForm::*handler)()) {
  return [this, handler] { Guard([this, handler] { (this->*handler)(); }); };
}

TFolderSynchronizer& TVTMainForm::Project() {
  if (!synchronizer_) throw std::logic_error("There is no current project");
  return *synchronizer_;
}

void TVTMainForm::ReplaceSynchronizer(std::unique_ptr<TFolderSynchronizer> project) {
  synchronizer_.reset();
  synchronizer_ = std::move(project);
}

void TVTMainForm::SetTickClock(TTickClock clock) {
  clock_ = clock ? std::move(clock) : TTickClock(SystemTickCount);
}

void TVTMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  Guard([this] { FormShow(); });
}

void TVTMainForm::FormShow() {
  // The pages have no tabs to hide: a stacked widget shows only its current page.
  PageControl1->setCurrentIndex(pgProject);
  PageControl1Change();
  FillProjectList();
  Label5->setToolTip(QString::fromLatin1(kProductUrl));
  RadioButton1->setFocus();
  Animate1->Open(QStringLiteral("SYNC"));
  Animate1->move((width() - Animate1->width()) / 2, Animate1->y());
  // Twice the height of "Wy", or more where the font's line spacing needs it for two lines.
  const QFontMetrics metrics(Label5->font());
  Label5->resize(Label5->width(),
                 std::max(2 * metrics.height(), metrics.size(0, Label5->text()).height()));
  setWindowTitle(QStringLiteral("%1 %2").arg(windowTitle(), QString::fromLatin1(kVersion)));
}

void TVTMainForm::bCloseClick() { close(); }

void TVTMainForm::closeEvent(QCloseEvent* event) {
  bool canClose = false;  // stays false when the question or the save fails
  Guard([&] {
    bool granted = true;
    FormCloseQuery(granted);
    canClose = granted;
  });
  if (!canClose) {
    event->ignore();
    return;
  }
  event->accept();
  // The run goes on only until its next file; the run action then returns to an ended program.
  if (running_) {
    closeGranted_ = true;
    if (synchronizer_) synchronizer_->Terminate();
  }
}

void TVTMainForm::FormCloseQuery(bool& canClose) {
  canClose = SaveProjectIfModified(true) != mrCancel;
}

int TVTMainForm::SaveProjectIfModified(bool ask) {
  if (!synchronizer_ || !synchronizer_->Modified()) return mrYes;
  const int answer = ask ? prompts_.AskYesNoCancel(QStringLiteral("Save Project?")) : mrYes;
  if (answer != mrYes) return answer;
  if (synchronizer_->ProjectName().empty()) {
    QString name;
    synchronizer_->SetProjectName(prompts_.InputProjectName(name) ? name.toStdString()
                                                                  : std::string("<Empty Name>"));
  }
  synchronizer_->Save();
  return mrYes;
}

void TVTMainForm::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
    QWidget::keyPressEvent(event);
    return;
  }
  // Enter is the default button's, but for a focused button (which takes it itself), a
  // multi-line text field and an open name editor.
  QWidget* focus = focusWidget();
  if (auto* button = qobject_cast<QToolButton*>(focus)) {
    button->click();
  } else if (!qobject_cast<QPlainTextEdit*>(focus) && !qobject_cast<QPushButton*>(focus) &&
             !lvProject->Editing() && bNext->isEnabled() && bNext->isVisible()) {
    bNext->click();
  }
  event->accept();
}

void TVTMainForm::MoveTo(int page) {
  PageControl1->setCurrentIndex(page);
  PageControl1Change();
}

void TVTMainForm::PageControl1Change() {
  for (QPushButton* button : {bNext, bBack, bClose}) button->setEnabled(true);
  bBack->setText(QStringLiteral("<< Back"));
  bNext->setText(QStringLiteral("Next >>"));
  const int page = PageControl1->currentIndex();
  if (page < 0 || page > pgResults) return;
  Label6->setText(QString::fromLatin1(kHeaders[page].title));
  Label7->setText(QString::fromLatin1(kHeaders[page].subtitle));
  switch (page) {
    case pgProject:
      bBack->setEnabled(false);
      pbProjectClick();
      break;
    case pgReady:
      bNext->setText(QStringLiteral("Go!"));
      break;
    case pgWait:
      for (QPushButton* button : {bNext, bBack, bClose}) button->setEnabled(false);
      break;
    case pgResults:
      bNext->setEnabled(false);
      bBack->setText(QStringLiteral("Begin"));
      UpdateSaveButton();
      break;
    default:
      break;
  }
  // Enter and Space act on what the page is about, never on Back or Close.
  FocusFirstInput();
}

void TVTMainForm::bNextClick() {
  switch (PageControl1->currentIndex()) {
    case pgProject:
      if (ProjectPageNext()) MoveTo(pgFolders);
      break;
    case pgFolders:
      if (FoldersPageNext()) MoveTo(pgMode);
      break;
    case pgMode:
      ModePageNext();
      MoveTo(Project().AdvancedOptions() ? pgAdvanced : pgReady);
      break;
    case pgAdvanced:
      AdvancedPageNext();
      MoveTo(pgReady);
      break;
    case pgReady:
      RunSynchronization();
      break;
    default:
      break;
  }
}

void TVTMainForm::bBackClick() {
  switch (PageControl1->currentIndex()) {
    case pgFolders:
    case pgMode:
    case pgAdvanced:
      MoveTo(PageControl1->currentIndex() - 1);
      break;
    case pgReady:
      MoveTo(Project().AdvancedOptions() ? pgAdvanced : pgMode);
      break;
    case pgResults:  // "Begin"
      if (SaveProjectIfModified(true) == mrCancel) return;
      MoveTo(pgProject);
      FillProjectList();
      break;
    default:
      break;
  }
}

}  // namespace vantrel
