// The passes of one run: the copy pass and the removal pass over two open folder trees.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DirectoryReader.h"
#include "engine/DriveTraits.h"
#include "engine/EntryKinds.h"
#include "engine/FileCopier.h"
#include "common/FileSystem.h"
#include "engine/FolderNames.h"
#include "engine/LookupAhead.h"
#include "engine/Masks.h"
#include "engine/RunExecutor.h"
#include "engine/RunOptions.h"
#include "engine/TreeWarmer.h"
#include "engine/uVantrelProject.h"

namespace vantrel {

// A top folder of the run as the user typed it, with its descriptor (opened with links
// followed) or, when that failed, the reason.
struct TopFolder {
  std::string_view path;
  int fd;     // -1 when it could not be opened
  int error;  // errno of the failed open
};

// Walks the trees with descriptors only: entries are looked at relative to their open folder,
// links are never followed inside the trees, and nothing is resolved by path. The paths that
// appear in the log are texts built alongside, in buffers reused for the whole run.
class TFolderSynchronizer::Walker {
 public:
  // `runStart` tells our leftovers from earlier runs apart. The passes read their settings
  // from `options` only, and hand every change of a tree to `executor`. All references must
  // outlive the walker.
  Walker(TFolderSynchronizer& owner, const RunOptions& options, FileSystem& fs,
         RunExecutor& executor, const struct timespec& runStart);
  ~Walker();
  Walker(const Walker&) = delete;
  Walker& operator=(const Walker&) = delete;

  // Copies what is missing or older in `destination` from `source`.
  void CopyNewerFiles(const TopFolder& source, const TopFolder& destination);
  // Removes, with the user's consent, what `counterpart` lacks from `cleaned`.
  void RemoveExtraEntries(const TopFolder& cleaned, const TopFolder& counterpart);
  // Between two pieces of a long copy: tells how far it is and lets the window answer.
  // Returns false when the copy is to stop because a stop was requested.
  bool CopyProgress(std::uint64_t done, std::uint64_t size);

  // Returns true iff a pass found the file system of a top folder gone (an unplugged drive, a
  // FUSE daemon that died), said so in one line and stopped; nothing more is done then.
  bool Lost() const { return lost_; }
  // The top folder whose file system is gone, or -1.
  int LostTop() const { return lostTop_; }
  // Returns true iff some pass changed something in the tree of the top folder open as `fd`.
  bool Wrote(int fd) const;
  // Says that no pass follows: what was read ahead for them stops.
  void EndPasses() { warmer_.Stop(); }

 private:
  struct DestFolder;

  // Returns true iff the entry takes part in a pass's listing (the attribute filter) and
  // stores its kind; removes our stale temporaries on the way.
  bool Listed(int dirfd, const DirEntry& entry, EntryKind* kind);
  // The text of the current folder of one of the two trees, for a log line.
  std::string_view FolderText(const std::string& path, std::string_view top,
                              std::size_t depth) const;
  void WriteCannotRead(std::string_view folder, int error);
  void WriteCannotRead(const std::string& parent, const char* name, int error);
  void WriteLine(const std::string& line) { owner_.WriteLine(line); }
  void Notify(const std::string& text) { owner_.Notify(text); }
  bool Terminated() const { return owner_.terminated_; }
  // Returns true iff the passes must stop: the user asked, or a tree is gone.
  bool Halted() const { return Terminated() || lost_; }
  // Returns true iff `error` came from a top folder's file system that is gone, which it then
  // says once (and only once for the run).
  bool CheckLost(int error);
  // Returns true iff the entries `name` and `other` of the folder `folderFd` are one entry
  // (a drive that folds case serves both names).
  bool SameEntryIn(int folderFd, const char* name, const char* other);
  // Marks the end of a pass that wrote into the tree of `writtenTop_` when `written_` is set.
  void EndPass();
  // Counts a decided action that the executor was given, by its outcome.
  void Performed(const RunAction& action, int error);
  // The action on the entry `name` of the current folders; its texts live in the walker's
  // buffers until the next call.
  RunAction Action(ActionKind kind, const char* name, std::uint64_t size);
  // Reads the next entry of a level's listing into `entry`. The helper lets go of the names of
  // a buffer-full before it is overwritten; when a new one is read, the names the pass will
  // look up on the other side go to `batch`, to be looked up ahead in `folder` (opened if
  // needed). The level's batch is used by nothing else.
  bool NextEntry(DirectoryReader& reader, DirEntry& entry, LookupAhead::Batch& batch,
                 DestFolder& folder);
  // Returns true iff a pass that reaches `entry` looks it up on the other side: files, and
  // system entries when those take part; whether the masks take it is not asked ahead.
  bool LooksUpOtherSide(const DirEntry& entry) const;
  // Opens the listing of the walked tree's top folder and points the folder texts at the two
  // tops. Returns -1, having said why when it matters, when there is nothing to list.
  int OpenTopListing(const TopFolder& walked, const TopFolder& other);

  // Copy pass.
  void CopyLevel(int sourceFd, DestFolder& destination, std::size_t depth);
  void EnterSourceFolder(int sourceFd, const char* name, DestFolder& destination,
                         std::size_t depth);
  void CopyEntry(int sourceFd, const char* name, EntryKind kind, DestFolder& destination,
                 LookupAhead::Batch& lookups);
  void OpenDestination(DestFolder& folder, int parentFd);
  int LookupFd(DestFolder& folder);
  // Returns the descriptor of `folder`, creating it and its missing parents; otherwise -1 with
  // the reason and whether a line said it already.
  int CreateFd(DestFolder& folder, int* error, bool* reported);
  // Marks `folder` as one that cannot be made and says why in its one line.
  void FailCreation(DestFolder& folder, int error);
  // Returns true iff `name` differs only in case from a name handled before in this source
  // folder and the destination takes the two for one entry; says so then.
  bool CaseClash(DestFolder& folder, const char* name, bool isFolder);
  // Finds out, from the entry `existing` of the open `folder`, whether it folds case.
  void LearnFolding(DestFolder& folder, const char* existing);
  // Removes our stale temporaries from `folder` before the first copy into it.
  void SweepTemporaries(DestFolder& folder);
  dev_t DeviceOf(DestFolder& folder);
  void WriteCopyLine(const char* name, int error);

  // Removal pass.
  void RemoveLevel(int cleanedFd, int counterpartFd, std::size_t depth);
  void EnterCleanedFolder(int cleanedFd, const char* name, int counterpartFd, std::size_t depth);
  void OfferFile(int cleanedFd, const char* name);
  void OfferFolder(int cleanedFd, const char* name, std::size_t depth);
  // Returns the emptied listing holder of folder level `depth`.
  FolderNames& CounterpartNames(std::size_t depth);
  // Reads the names of the folder `folderFd` into `names`; false when it cannot.
  bool ReadNames(int folderFd, FolderNames& names);
  // Returns the answer for one lacking entry, asking only when no answer holds for all.
  int Answer(const char* kind, const std::string& path);
  // Returns the name of the `counterpart` listing's entry that differs from `name` only in case
  // when the cleaned folder takes the two for one entry (a case-only rename on a drive that
  // folds case), or an empty text.
  std::string CaseVariant(int cleanedFd, const char* name, const FolderNames& counterpart);
  // Gives the file `name` of the cleaned folder the case of `variant`; the file stays either way.
  void RenameToCase(int cleanedFd, const char* name, const char* variant);

  TFolderSynchronizer& owner_;
  const RunOptions& options_;
  FileSystem& fs_;
  RunExecutor& executor_;
  struct timespec runStart_;
  FileNameFilter filter_;
  ListingBuffers buffers_;
  DriveTraits traits_;
  LookupAhead lookAhead_;
  TreeWarmer warmer_;
  std::vector<std::unique_ptr<FolderNames>> counterpartNames_;
  static constexpr std::size_t kNamesBufferSize = 32 * 1024;
  std::unique_ptr<char[]> namesBuffer_;
  // The current folder of each tree with its trailing separator: source and destination in
  // the copy pass, cleaned folder and counterpart in the removal pass.
  std::string sourcePath_;
  std::string targetPath_;
  std::string_view sourceTop_;
  std::string_view targetTop_;
  std::string line_;
  // The tops of the current pass: the walked one and the other one.
  const TopFolder* walkedTop_ = nullptr;
  const TopFolder* otherTop_ = nullptr;
  int writtenTop_ = -1;       // the top folder of the tree the current pass writes into
  bool written_ = false;      // the current pass changed something there
  std::vector<int> wroteTops_;
  bool lost_ = false;
  int lostTop_ = -1;
  // The texts of the last Action(), and whether the current copy pass goes to Folder 1.
  std::string actionPath_;
  std::string actionSource_;
  bool toFolder1_ = false;
  const RunAction* copying_ = nullptr;  // the copy under way, for CopyProgress
  bool copyStopped_ = false;            // the last copy was stopped part-way by a stop request
  // Why the last Listed call could not tell an entry's kind: 0 when it could, or when the
  // entry is simply gone. Such an entry takes part in no pass, and the pass says why.
  int lookupError_ = 0;
};

}  // namespace vantrel
