// The wizard window: a fixed-size frame with a header band, seven pages behind hidden tabs and a
// button bar, which leads the user from choosing a project through its settings to the run and
// its results.
//
// Controls are public members named as the window names them, and each carries the same
// objectName, so that tests and screenshots can reach them. Handlers are public for the same
// reason; every one that the user can trigger runs through Guard(), so no exception ever leaves
// a Qt slot.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/MessageHook.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTextDocument;
class QToolButton;
class QTreeWidgetItem;

namespace vantrel {

class TFolderSynchronizer;
class TPrompts;
class TProjectListView;
class TResultDocumentBuilder;
class TResultHighlighter;
class TSyncAnimation;

// A 32-bit millisecond tick count that wraps around, like the system's tick since boot.
using TTickClock = std::function<std::uint32_t()>;

// The system's tick: milliseconds of the monotonic clock, truncated to 32 bits.
std::uint32_t SystemTickCount();

// Returns the message as the error box shows it: with a point appended when its last character's
// code is above the point's; an empty message stays empty.
QString ErrorBoxText(const QString& message);

class TVTMainForm : public QWidget {
  Q_OBJECT

 public:
  enum TPage { pgProject, pgFolders, pgMode, pgAdvanced, pgReady, pgWait, pgResults };

  static const char* const kVersion;     // "1.2"
  static const char* const kProductUrl;  // opened by the link on the Results page
  static const char* const kSiteUrl;     // the tooltip of the advertising panel and picture

  // `prompts` answers every modal question of the window and must outlive it. While the window
  // lives, the core's message hook shows its messages through `prompts`.
  explicit TVTMainForm(TPrompts& prompts, QWidget* parent = nullptr);
  ~TVTMainForm() override;

  // The current project (owned), or null.
  TFolderSynchronizer* Synchronizer() const { return synchronizer_.get(); }
  // True from the start of the run action ("Go!") until Run has returned.
  bool Running() const { return running_; }
  // Replaces the tick source of the progress display; an empty clock restores SystemTickCount.
  void SetTickClock(TTickClock clock);

  // The tick at which SyncProgress last showed a text; 0 until then, never reset.
  std::uint32_t LastProgressTick = 0;

  // --- Header band ---
  QWidget* Panel5;
  QLabel* Image1;
  QLabel* Label6;
  QLabel* Label7;
  QFrame* Bevel2;
  // --- Pages ---
  QStackedWidget* PageControl1;
  QWidget* TabSheet1;  // Project
  QWidget* TabSheet2;  // Folders
  QWidget* TabSheet4;  // Synchronization mode
  QWidget* TabSheet5;  // Advanced options
  QWidget* TabSheet3;  // Ready to process
  QWidget* TabSheet7;  // Please wait
  QWidget* TabSheet6;  // Results
  // --- Button bar ---
  QWidget* Panel1;
  QFrame* Bevel1;
  QPushButton* bBack;
  QPushButton* bNext;
  QPushButton* bClose;
  // --- Project page ---
  QWidget* Panel7;
  QRadioButton* RadioButton1;
  QRadioButton* rbExisting;
  TProjectListView* lvProject;
  QWidget* Panel2;
  QPushButton* bEdit;
  QPushButton* bRemove;
  // --- Folders page ---
  QLabel* Label1;
  QLineEdit* eFolder1;
  QToolButton* bSelectFolder;
  QLabel* Label2;
  QLineEdit* eFolder2;
  QToolButton* BitBtn6;
  QPushButton* Button1;
  // --- Synchronization mode page ---
  QRadioButton* rbBidiret;
  QRadioButton* rbUnidirect;
  QCheckBox* cbExactCopy;
  QLabel* Label8;
  QCheckBox* cbSubDir;
  QCheckBox* cbAdvanced;
  QCheckBox* cbUseTrash;
  // --- Advanced options page ---
  QLabel* Label3;
  QLineEdit* eIncludeMask;
  QLabel* Label4;
  QLineEdit* eExcludeMask;
  QCheckBox* cbHidden;
  QCheckBox* cbSystem;
  // --- Ready to process page ---
  QPlainTextEdit* mReadyText;
  QPushButton* bPreview;
  // --- Please wait page ---
  TSyncAnimation* Animate1;
  QLabel* lCurrent;
  QLabel* lCounts;  // the live counts of the run
  QPushButton* BitBtn3;
  // --- Results page ---
  QWidget* Panel4;
  QLabel* Image2;
  QLabel* Label5;
  QPlainTextEdit* mResult;
  QPushButton* bSave;
  QPushButton* Button2;

  // --- Window ---
  // Runs `action`; an exception it raises ends it and is shown in the error box.
  void Guard(const std::function<void()>& action);
  void FormShow();
  // Sets `canClose` false when the close is to be refused.
  void FormCloseQuery(bool& canClose);
  // Returns mrYes, mrNo or mrCancel (see the window's save rules); throws when saving fails.
  int SaveProjectIfModified(bool ask);
  void bCloseClick();

  // --- Navigation ---
  void PageControl1Change();
  void bNextClick();
  void bBackClick();

  // --- Project page ---
  void pbProjectClick();
  void lvProjectSelectItem();
  // Lists every project file; the files that cannot be read are reported together at the end.
  void FillProjectList();
  void bRemoveClick();
  void bEditClick();
  // Returns true iff the key was F2 (and the edit was asked for).
  bool lvProjectKeyDown(int key);
  void lvProjectEditing(QTreeWidgetItem* item);
  void lvProjectEdited(QTreeWidgetItem* item, const QString& text);

  // --- Settings pages ---
  void bSelectFolderClick(QObject* sender);
  void Button1Click();
  void rbDirectClick();
  void cbExactCopyClick();

  // --- Ready to process page ---
  // Opens the Preview dialog over the current project; returns when it is closed.
  void bPreviewClick();

  // --- Run and results pages ---
  void BitBtn3Click();
  void SyncProgress(TFolderSynchronizer& sender, const std::string& text);
  void UpdateSaveButton();
  void bSaveClick();
  void Button2Click();
  void Label5MouseEnter();
  void Label5MouseLeave();
  void Label5Click();
  // Puts `text` into the result field; its failure lines stand out.
  void ShowResultText(const QString& text);
  // Makes `document` (built apart, without a layout) the result field's; `failures` as
  // TResultHighlighter::AnyFailureLine says of its text.
  void ShowResultDocument(std::unique_ptr<QTextDocument> document, bool failures);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildFrame();
  void BuildProjectPage();
  void BuildFoldersPage();
  void BuildModePage();
  void BuildAdvancedPage();
  void BuildReadyPage();
  void BuildWaitPage();
  void BuildResultsPage();

  // The current project; throws when there is none.
  TFolderSynchronizer& Project();
  // A slot body that runs `handler` through Guard().
  std::function<void()> Guarded(void (TVTMainForm::*handler)());
  // Puts `project` in place of the current one, which is destroyed without a question.
  void ReplaceSynchronizer(std::unique_ptr<TFolderSynchronizer> project);
  void MoveTo(int page);

  // The Next actions of the pages.
  bool ProjectPageNext();  // false when no project is selected
  bool FoldersPageNext();  // false when refused
  void ModePageNext();
  void AdvancedPageNext();
  void RunSynchronization();
  // Shows the Results page; `refusal` is the message of an error that refused or ended the run.
  void FinishRun(const QString& refusal = QString());

  void FillModePage();
  void FillAdvancedPage();
  // Puts the focus on the current page's first input.
  void FocusFirstInput();

  TPrompts& prompts_;
  std::unique_ptr<TFolderSynchronizer> synchronizer_;
  TTickClock clock_;
  TResultHighlighter* resultHighlighter_ = nullptr;
  // The result field's document once a run's was built apart; a child of the field, which
  // deletes only the documents it made itself.
  QTextDocument* resultDocument_ = nullptr;
  std::unique_ptr<TResultDocumentBuilder> resultBuilder_;  // during a run
  MessageHook previousMessageHook_;
  bool shown_ = false;
  bool running_ = false;
  bool closeGranted_ = false;    // a close was granted while the run action was under way
  bool exactCopyRuleOn_ = true;  // off while the mode page is filled from the project
};

}  // namespace vantrel
