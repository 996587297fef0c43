// The desktop's trash, laid out as the freedesktop.org trash that file managers, GLib, KDE and
// trash-cli read: entries moved there can be restored by any of them.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/UniqueFd.h"
#include "engine/FileCopier.h"

namespace vantrel {

// Moves entries into the trash that serves them: the home trash ($XDG_DATA_HOME/Trash, else
// ~/.local/share/Trash) for entries on its file system, else the trash at the top folder of the
// entry's file system ($topdir/.Trash/$uid in an administrator's sticky .Trash, else
// $topdir/.Trash-$uid). An entry is only ever renamed into the trash, relative to its open
// folder: never copied, never followed through a link, and never deleted when the trash cannot
// take it. The environment is read when the object is made; one object serves one run.
class TrashCan final : public ReplacedKeeper {
 public:
  explicit TrashCan(FileSystem& fs);
  ~TrashCan() override;
  TrashCan(const TrashCan&) = delete;
  TrashCan& operator=(const TrashCan&) = delete;

  // Moves the entry `name` of the open folder `dirFd`, a folder with everything in it, into
  // the trash in one rename. Returns 0, or an errno value after which the entry is where it was.
  int Move(int dirFd, const char* name);

  // For a copy about to replace `name` of `dir`: puts the entry into the trash while it stays
  // at its place (a second link), or, where the file system has no links, moves it there.
  int Keep(int dir, const char* name) override;
  void Undo(int dir, const char* name) override;

 private:
  struct Bin;

  // Returns the trash for entries of the folder `dirFd`, or nullptr with the reason in `error`.
  // `realPath` receives the folder's path as the kernel knows it, with a trailing separator.
  Bin* BinFor(int dirFd, std::string& realPath, int* error);
  Bin* HomeBin(dev_t device, int* error);
  Bin* TopBin(const std::string& folderPath, dev_t device, int* error);
  // Opens (making them when missing) the info and files folders of the trash folder `trashFd`.
  int OpenParts(int trashFd, Bin& bin);
  // Writes the info file of `name` (originally at `original`) under a name not yet taken in the
  // bin, which goes to `trashName`. Then `place` puts the entry at files/<trashName>; a place
  // taken there (EEXIST) makes it try the next name. Returns 0 or an errno value; on failure the
  // info file is gone again.
  template <typename Place>
  int Put(Bin& bin, const std::string& original, const char* name, std::string& trashName,
          Place place);
  int WriteInfo(Bin& bin, const std::string& infoName, const std::string& original);
  // The DeletionDate text of an entry trashed now, in local time.
  const std::string& DeletionDate();

  FileSystem& fs_;
  std::string homeTrash_;  // the home trash's path, without a trailing separator
  uid_t uid_;
  std::vector<std::unique_ptr<Bin>> bins_;
  std::string line_;
  std::time_t dateSecond_ = 0;
  std::string date_;
  // What Keep did, for Undo.
  Bin* keptBin_ = nullptr;
  std::string keptName_;
  bool keptLinked_ = false;
};

// The text of the Path= line: every byte but letters, digits, "-._~" and "/" as %XX.
std::string PercentEncoded(const std::string& path);

}  // namespace vantrel
