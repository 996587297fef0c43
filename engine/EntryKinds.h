// What a listed entry is, as the passes see it, and the names of our own temporary files.
#pragma once

#include <sys/stat.h>

#include <ctime>
#include <string_view>

#include "common/FileSystem.h"
#include "engine/DirectoryReader.h"

namespace vantrel {

// Regular files are plain files; links, FIFOs, sockets and devices count as system files.
enum class EntryKind { kFile, kFolder, kLink, kSpecial, kGone };

// Returns the kind of `entry` of the folder `dirfd` from its listed type, looking the entry up
// (without following a link) only when the file system did not say. kGone when it vanished.
EntryKind KindOf(FileSystem& fs, int dirfd, const DirEntry& entry);

// Returns true iff `name` is hidden: it begins with a full stop.
inline bool IsHiddenName(const char* name) { return name[0] == '.'; }

// Returns true iff `name` has the form of the temporary files the copy writes
// (".vantrel-*.tmp"). Such entries are never the user's files.
bool IsTemporaryName(std::string_view name);

// Removes the entry `name` of `dirfd` when it is not a folder and its status last changed
// before `runStart`: the leftover of an interrupted earlier run. Silent either way.
void RemoveStaleTemporary(FileSystem& fs, int dirfd, const char* name,
                          const struct timespec& runStart);

// Returns the text that stands for an error code in a log line.
const char* ErrorText(int error);

// An error code beyond errno's range: the source file changed while it was copied.
constexpr int kSourceChanged = -1;
// An error code beyond errno's range: the destination's file system does not allow the name.
constexpr int kNameRefused = -2;
// Error codes below this one: the entry a copy would replace could not be moved to the trash,
// for the reason kTrashFailureBase - code (an errno value); the copy was not made.
constexpr int kTrashFailureBase = -1000;
inline int KeeperFailure(int error) { return kTrashFailureBase - error; }

}  // namespace vantrel
