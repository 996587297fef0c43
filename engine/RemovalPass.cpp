// The removal pass: removes from the cleaned tree, with the user's consent, what the
// counterpart tree lacks.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "common/CoreApi.h"
#include "common/UniqueFd.h"
#include "engine/CaseFolding.h"
#include "engine/DeleteFolderTree.h"
#include "engine/FolderDescent.h"
#include "engine/FolderNames.h"
#include "engine/SyncTexts.h"
#include "engine/SyncWalker.h"
#include "engine/TreeBytes.h"

namespace vantrel {
namespace {

// Errors of a lookup that prove there is nothing at the name. Any other failure means the
// counterpart could not be looked at, and an entry is never removed on that ground.
bool ProvesAbsence(int error) { return error == ENOENT || error == ENOTDIR; }

bool IsAnswer(int answer) {
  return answer == mrYes || answer == mrYesToAll || answer == mrNo || answer == mrNoToAll ||
         answer == mrCancel;
}

// Puts in `line` the result of removing the `what` ("file" or "folder") at `path`: removed,
// or `error` with its reason.
void SetRemovalLine(std::string& line, bool toTrash, const char* what, const std::string& path,
                    int error) {
  if (error == 0) {
    line.assign(toTrash ? "Move " : "Delete ").append(what).append(" \"").append(path);
    line.append(toTrash ? "\" to the trash" : "\"");
  } else {
    line.assign(toTrash ? "Cannot move " : "Cannot delete ").append(what).append(" \"");
    line.append(path).append(toTrash ? "\" to the trash: " : "\": ");
    line.append(ErrorText(error));
  }
}

}  // namespace

void TFolderSynchronizer::Walker::RemoveExtraEntries(const TopFolder& cleaned,
                                                     const TopFolder& counterpart) {
  if (Terminated()) return;
  // Without a counterpart to measure against, everything would look lacking.
  if (counterpart.fd < 0) {
    WriteCannotRead(counterpart.path, counterpart.error);
    return;
  }
  UniqueFd listing(fs_, OpenTopListing(cleaned, counterpart));
  if (!listing.valid()) return;
  writtenTop_ = cleaned.fd;
  RemoveLevel(listing.get(), counterpart.fd, 0);
  EndPass();
}

void TFolderSynchronizer::Walker::RemoveLevel(int cleanedFd, int counterpartFd, std::size_t depth) {
  std::size_t size;
  char* buffer = buffers_.Get(depth, &size);
  DirectoryReader reader(fs_, cleanedFd, buffer, size);
  warmer_.Entered();
  // The counterpart's listing answers for the names it holds. It is read once a lookup has
  // shown that the counterpart folder can be searched, so that a folder whose names can be
  // read but not looked up still reports why.
  enum { kUntried, kListed, kLookups } listing = lookAhead_.enabled() ? kUntried : kLookups;
  FolderNames& listed = CounterpartNames(depth);
  bool counterpartReported = false;
  const auto reportCounterpart = [&](int error) {
    if (counterpartReported) return;
    counterpartReported = true;
    WriteCannotRead(FolderText(targetPath_, targetTop_, depth), error);
  };
  bool cleanedReported = false;
  // The counterpart's names, read once a lacking entry asks whether it is there in another case.
  bool namesRead = false;
  bool namesHeld = false;
  const auto caseVariant = [&](const char* name) -> std::string {
    if (!namesRead) {
      namesRead = true;
      // Only asked; the names answer no "is it there?" question before a lookup allowed it.
      namesHeld = listing == kListed || ReadNames(counterpartFd, listed);
    }
    return namesHeld ? CaseVariant(cleanedFd, name, listed) : std::string();
  };
  DirEntry entry;
  EntryKind kind;
  while (reader.Next(entry)) {
    if (!Listed(cleanedFd, entry, &kind)) {
      // An entry that could not be looked at is never offered; say why, once per folder.
      if (lookupError_ != 0 && !cleanedReported) {
        cleanedReported = true;
        WriteCannotRead(FolderText(sourcePath_, sourceTop_, depth), lookupError_);
      }
      continue;
    }
    const char* name = entry.name;
    if (kind == EntryKind::kFolder) {
      if (Halted()) continue;
      UniqueFd counterpartFolder(
          fs_, fs_.OpenAt(counterpartFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW, 0));
      if (counterpartFolder.valid()) {
        EnterCleanedFolder(cleanedFd, name, counterpartFolder.get(), depth);
      } else if (ProvesAbsence(errno)) {
        const std::string variant = caseVariant(name);
        UniqueFd variantFolder;
        if (!variant.empty()) {
          variantFolder = UniqueFd(fs_, fs_.OpenAt(counterpartFd, variant.c_str(),
                                                   O_PATH | O_DIRECTORY | O_NOFOLLOW, 0));
        }
        if (variantFolder.valid()) {
          // Kept in its old case: fusefat was seen to lose a renamed folder's contents.
          EnterCleanedFolder(cleanedFd, name, variantFolder.get(), depth);
        } else {
          OfferFolder(cleanedFd, name, depth);
        }
      } else if (errno == ELOOP) {
        OfferFolder(cleanedFd, name, depth);
      } else {
        reportCounterpart(errno);
      }
      continue;
    }
    if (Halted()) {
      if (Terminated()) WriteLine(kTerminatedByUser);
      return;
    }
    if (!filter_.Takes(name)) {
      Notify(kCheckingFiles);
      continue;
    }
    ++owner_.summary_.filesLookedAt;
    LookedUp other;
    const int type = listing == kListed ? listed.TypeOf(name) : -1;
    if (type >= 0 && type != DT_UNKNOWN) {
      other.mode = type == DT_DIR ? S_IFDIR : S_IFREG;  // only "a folder or not" is asked
    } else {
      other = LookUp(fs_, counterpartFd, name);
      if (listing == kUntried) {
        const bool searchable = other.error == 0 || other.error == ENOENT;
        listing = searchable && ReadNames(counterpartFd, listed) ? kListed : kLookups;
      }
    }
    bool lacking;
    bool absent = false;
    if (other.error == 0) {
      lacking = S_ISDIR(other.mode);
    } else if (ProvesAbsence(other.error)) {
      lacking = absent = true;
    } else {
      reportCounterpart(other.error);
      lacking = false;
    }
    const std::string variant = absent ? caseVariant(name) : std::string();
    if (!variant.empty()) {
      RenameToCase(cleanedFd, name, variant.c_str());
    } else if (lacking) {
      OfferFile(cleanedFd, name);
    } else {
      Notify(kCheckingFiles);
    }
  }
  if (reader.error() != 0 && !Halted()) {
    WriteCannotRead(FolderText(sourcePath_, sourceTop_, depth), reader.error());
  }
}

FolderNames& TFolderSynchronizer::Walker::CounterpartNames(std::size_t depth) {
  while (counterpartNames_.size() <= depth) {
    counterpartNames_.push_back(std::make_unique<FolderNames>());
  }
  counterpartNames_[depth]->Clear();
  return *counterpartNames_[depth];
}

bool TFolderSynchronizer::Walker::ReadNames(int folderFd, FolderNames& names) {
  UniqueFd listing(fs_, fs_.OpenAt(folderFd, ".", O_RDONLY | O_DIRECTORY, 0));
  if (!listing.valid()) return false;
  if (!namesBuffer_) namesBuffer_ = std::make_unique<char[]>(kNamesBufferSize);
  return names.Read(fs_, listing.get(), namesBuffer_.get(), kNamesBufferSize);
}

void TFolderSynchronizer::Walker::EnterCleanedFolder(int cleanedFd, const char* name,
                                                     int counterpartFd, std::size_t depth) {
  const bool entered =
      DescendInto(fs_, cleanedFd, name, sourcePath_, targetPath_,
                  [&](int folderFd) { RemoveLevel(folderFd, counterpartFd, depth + 1); });
  if (!entered && errno != ENOENT) WriteCannotRead(sourcePath_, name, errno);
}

std::string TFolderSynchronizer::Walker::CaseVariant(int cleanedFd, const char* name,
                                                     const FolderNames& counterpart) {
  if (SwapCase(name).empty()) return {};  // no letters: no other case
  const std::string_view variant = counterpart.CaseVariantOf(name);
  if (variant.empty()) return {};
  // Only a drive that takes the two names for one entry makes this a case-only rename; on any
  // other the entry is simply lacking.
  std::string other(variant);
  if (!SameEntryIn(cleanedFd, name, other.c_str())) return {};
  return other;
}

void TFolderSynchronizer::Walker::RenameToCase(int cleanedFd, const char* name,
                                               const char* variant) {
  const std::string from = sourcePath_ + name;
  const std::string to = sourcePath_ + variant;
  const RunAction action{ActionKind::kRenameFile, false, from, to, 0};
  const int error = executor_.RenameFile(action, cleanedFd, name, variant);
  Performed(action, error);
  if (error == 0) {
    written_ = true;
    line_.assign("Rename file \"").append(from).append("\" to \"").append(to).push_back('"');
    WriteLine(line_);
    return;
  }
  if (CheckLost(error)) return;
  line_.assign("Cannot rename file \"").append(from).append("\" to \"").append(to);
  line_.append("\": ").append(ErrorText(error));
  WriteLine(line_);
}

int TFolderSynchronizer::Walker::Answer(const char* kind, const std::string& path) {
  // Where nothing is removed, nobody needs to be asked.
  if (!executor_.AsksBeforeRemoving()) return mrYesToAll;
  int& answer = owner_.removalAnswer_;
  if (answer == mrYesToAll || answer == mrNoToAll) return answer;
  if (!owner_.OnConfirmRemoval) {
    answer = mrNoToAll;  // nobody to ask: nothing is removed
    return answer;
  }
  const int given = owner_.OnConfirmRemoval(kind, path);
  answer = IsAnswer(given) ? given : mrNo;
  if (answer == mrCancel) owner_.Terminate();
  return answer;
}

void TFolderSynchronizer::Walker::OfferFile(int cleanedFd, const char* name) {
  const std::string path = sourcePath_ + name;
  const int answer = Answer("file", path);
  if (answer == mrYes || answer == mrYesToAll) {
    struct stat st;
    const bool sized = fs_.StatAt(cleanedFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    const RunAction action =
        Action(ActionKind::kRemoveFile, name, sized ? static_cast<std::uint64_t>(st.st_size) : 0);
    const int error = executor_.RemoveFile(action, cleanedFd, name);
    Performed(action, error);
    if (error == 0) {
      written_ = true;
    } else if (CheckLost(error)) {
      return;
    }
    SetRemovalLine(line_, options_.useTrash, "file", path, error);
  } else if (answer == mrNo || answer == mrNoToAll) {
    line_.assign("Cancel of file deletion \"").append(path).push_back('"');
  } else {
    Notify(kCheckingFiles);
    return;
  }
  WriteLine(line_);
}

void TFolderSynchronizer::Walker::OfferFolder(int cleanedFd, const char* name, std::size_t depth) {
  const std::string path = sourcePath_ + name;
  const int answer = Answer("folder", path);
  if (answer == mrYes || answer == mrYesToAll) {
    struct stat here;
    int error = fs_.Fstat(cleanedFd, &here) != 0 ? errno : 0;
    if (error == 0) {
      const RunAction action = Action(ActionKind::kRemoveFolder, name,
                                      TreeBytes(fs_, buffers_, cleanedFd, name, depth + 1));
      error = executor_.RemoveFolder(action, cleanedFd, name, here.st_dev, buffers_, depth + 1);
      Performed(action, error);
    }
    if (error == 0) {
      written_ = true;
    } else if (CheckLost(error)) {
      return;
    }
    SetRemovalLine(line_, options_.useTrash, "folder", path, error);
  } else if (answer == mrNo || answer == mrNoToAll) {
    line_.assign("Cancel of folder deletion \"").append(path).push_back('"');
  } else {
    return;
  }
  WriteLine(line_);
}

}  // namespace vantrel
