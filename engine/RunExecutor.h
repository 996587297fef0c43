// The passes decide what to do with each entry; an executor does it. The real executor
// changes the trees, the dry-run one only writes the action down, so that a preview walks
// exactly as a run does.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/DirectoryReader.h"

namespace vantrel {

enum class ActionKind : std::uint8_t {
  kCreateFolder,
  kCopyFile,     // to a name where nothing is
  kReplaceFile,  // over an existing entry
  kRemoveFile,
  kRemoveFolder,  // with everything in it
  kRenameFile,    // `path` becomes `target` (a change of case only)
};

// One decided action. The texts are views into the walker's buffers, valid during the call.
struct RunAction {
  ActionKind kind;
  bool toFolder1;           // the action is in Folder 1's tree (a copy back)
  std::string_view path;    // the entry acted on: a copy's destination, the removed entry
  std::string_view source;  // a copy's source, a rename's new name; empty otherwise
  std::uint64_t size;       // bytes copied or removed; 0 for folders made and renames
};

// MakeFolder's result when the folder was only written down: there is no folder to open, and
// what would go into it is looked up as missing.
constexpr int kNotCarriedOut = -2;

// Each operation returns 0 or an errno value (FileCopier's codes for copies), like the calls
// it stands for. Entries are named relative to open folders; an executor that changes nothing
// may get -1 or kNotCarriedOut descriptors for folders that exist only in its plan.
class RunExecutor {
 public:
  virtual ~RunExecutor() = default;

  // Called between the pieces of a long copy with the bytes done and the file's size;
  // returning false stops that copy (its result is then ECANCELED).
  using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t size)>;

  // False when removals need no consent because nothing is removed.
  virtual bool AsksBeforeRemoving() const { return true; }
  // False when nothing is changed at all: then the walk itself writes nothing either (no probe
  // of a drive's names, no removal of stale temporaries).
  virtual bool Writes() const { return true; }
  // For an executor that copies: where it reports the progress of long copies.
  virtual void SetCopyProgress(CopyProgress progress) { (void)progress; }

  virtual int MakeFolder(const RunAction& action, int parentFd, const char* name) = 0;
  virtual int CopyFile(const RunAction& action, int srcDir, const char* name, int dstDir,
                       dev_t dstDev, bool dstExists) = 0;
  virtual int CopyLink(const RunAction& action, int srcDir, const char* name, int dstDir) = 0;
  virtual int RemoveFile(const RunAction& action, int dirFd, const char* name) = 0;
  // `buffers` and `depth` are the walker's, so that the removal lists with buffers the
  // walker's own open listings do not share.
  virtual int RemoveFolder(const RunAction& action, int parentFd, const char* name, dev_t parentDev,
                           ListingBuffers& buffers, std::size_t depth) = 0;
  virtual int RenameFile(const RunAction& action, int dirFd, const char* from, const char* to) = 0;
};

}  // namespace vantrel
