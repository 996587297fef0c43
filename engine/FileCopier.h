// Copies one file or symbolic link into a folder so that the destination entry is replaced in
// one step or not at all.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "common/FileSystem.h"
#include "common/UniqueFd.h"

namespace vantrel {

// Keeps the entry that a copy is about to replace (in the trash), so that a replacement never
// destroys the old version.
class ReplacedKeeper {
 public:
  virtual ~ReplacedKeeper() = default;
  // Called when the finished copy is about to take the place of the entry `name` of `dir`
  // (which may also be missing, or be a folder: then nothing is kept and 0 returned). Returns 0,
  // or an errno value after which the copy fails and the entry stays as it was.
  virtual int Keep(int dir, const char* name) = 0;
  // After a successful Keep the copy could not take the place: the entry is to stay at it.
  virtual void Undo(int dir, const char* name) = 0;
};

// Keeps, for one run, what the kernel's fast copy routes refused, and the buffers of the
// plain route. Not thread-safe.
class FileCopier {
 public:
  explicit FileCopier(FileSystem& fs);
  ~FileCopier();
  FileCopier(const FileCopier&) = delete;
  FileCopier& operator=(const FileCopier&) = delete;

  // At most this many bytes are moved between two progress calls.
  static constexpr off_t kProgressStep = off_t{64} << 20;
  // Called with the bytes copied so far and the file's size after each step of a file larger
  // than one step; returning false stops the copy, which then fails with ECANCELED.
  using Progress = std::function<bool(std::uint64_t done, std::uint64_t size)>;
  void SetProgress(Progress progress) { progress_ = std::move(progress); }
  // Where an entry that a copy replaces goes first (not owned); nullptr: it is simply replaced.
  void SetKeeper(ReplacedKeeper* keeper) { keeper_ = keeper; }

  // Copies the regular file `name` of the folder `srcDir` to the entry of the same name in
  // `dstDir` (a folder on device `dstDev`), with the source's permission bits (mode & 0777)
  // and access and modification times. `dstExists` says whether something was found at the
  // destination. Nothing is ever written through a link or into an existing file: the data
  // goes to a new file that replaces the destination entry at the end. Returns 0, or an error
  // code (an errno value, or kSourceChanged when the source changed while being read); after
  // a failure the destination entry is as it was and no temporary file remains. With a keeper,
  // a replaced entry goes to it first; when it cannot take it the result is KeeperFailure(error).
  // Permission bits that the destination cannot hold are not a failure; kNameRefused says that the
  // destination refused the name itself.
  int CopyFile(int srcDir, const char* name, int dstDir, dev_t dstDev, bool dstExists);

  // Copies the symbolic link `name` of `srcDir` as a link with the same target text and
  // times to the entry of the same name in `dstDir`, with the same guarantees.
  int CopyLink(int srcDir, const char* name, int dstDir);

 private:
  struct DevicePair {
    dev_t source;
    dev_t destination;
    bool cloneRefused;
    bool rangeRefused;
  };

  DevicePair& PairFor(dev_t source, dev_t destination);
  int CopyContents(int in, int out, off_t size, DevicePair& pair, off_t* copied);
  int CopyByReadWrite(int in, int out, off_t size, off_t* copied);
  // Copies the data of a file with holes, leaving the holes out, and sets the copy's length.
  int CopySparse(int in, int out, off_t size, DevicePair& pair, off_t* copied);
  // Copies up to `length` bytes from the offset of `in` to that of `out` (offset `base` of a
  // file of `size` bytes), adding to `done` what was copied; less only when the source ended
  // early.
  int CopyStretch(int in, int out, off_t length, DevicePair& pair, off_t base, off_t size,
                  off_t* done);
  // Reads at most `size` bytes and writes them all; returns their count, 0 at the end of the
  // source, or -1 with errno set.
  long ReadWriteSome(int in, int out, std::size_t size);
  // False when the progress receiver asks to stop.
  bool GoOn(off_t done, off_t size) const;
  // Creates a new temporary entry in `dir` with CreateOne (which returns 0 or an errno value
  // for the name in temporaryName_), trying fresh names while the name is taken.
  template <typename CreateOne>
  int CreateTemporary(CreateOne createOne);
  void NextTemporaryName();
  // Puts the finished temporary in place of the entry `name`; `named` tells (and is updated to
  // tell) whether a named temporary exists that the caller removes after a failure.
  int Install(UniqueFd& temporary, bool& named, int dstDir, const char* name);
  bool TmpfileRefused(dev_t device) const;
  // Renames the temporary over `name`, handing the entry there to the keeper first.
  int Replace(int dstDir, const char* name);

  FileSystem& fs_;
  std::vector<DevicePair> pairs_;
  std::vector<dev_t> tmpfileRefused_;
  bool procFdAvailable_;
  char temporaryName_[32];
  std::unique_ptr<char[]> copyBuffer_;
  std::unique_ptr<char[]> linkBuffer_;
  Progress progress_;
  ReplacedKeeper* keeper_ = nullptr;
};

}  // namespace vantrel
