// The one seam through which the passes and the storage reach the file system.
//
// Every operation mirrors one system call and keeps its contract: it returns what the call
// returns (-1 on failure) and leaves the reason in errno. Operations inside the synchronized
// trees are relative to open directory descriptors and never follow a final symbolic link.
// A test derives from FileSystemWrapper and overrides one call to inject a fault.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <ctime>

namespace vantrel {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The process-wide real implementation over POSIX and Linux calls. Never destroyed.
  static FileSystem* Default();

  virtual int OpenAt(int dirfd, const char* name, int flags, mode_t mode) = 0;  // openat
  virtual int Close(int fd) = 0;
  // Reads directory entries (linux_dirent64 records) from a descriptor opened with O_DIRECTORY.
  virtual long GetDents(int fd, void* buffer, std::size_t size) = 0;                // getdents64
  virtual int StatAt(int dirfd, const char* name, struct stat* st, int flags) = 0;  // fstatat
  virtual int Fstat(int fd, struct stat* st) = 0;
  // statx: also tells whether an entry is the root of a mount (STATX_ATTR_MOUNT_ROOT), which
  // the device number alone misses for a bind mount within one file system.
  virtual int Statx(int dirfd, const char* name, int flags, unsigned int mask,
                    struct statx* buffer) = 0;
  virtual long Read(int fd, void* buffer, std::size_t size) = 0;
  virtual long Write(int fd, const void* buffer, std::size_t size) = 0;
  virtual long CopyFileRange(int in, int out, std::size_t size) = 0;  // copy_file_range
  // lseek, SEEK_DATA and SEEK_HOLE included.
  virtual off_t Lseek(int fd, off_t offset, int whence) = 0;
  virtual int Ftruncate(int fd, off_t length) = 0;
  virtual int Clone(int destination, int source) = 0;  // ioctl FICLONE
  virtual int Fchmod(int fd, mode_t mode) = 0;
  virtual int Futimens(int fd, const struct timespec times[2]) = 0;
  virtual int UtimensAt(int dirfd, const char* name, const struct timespec times[2], int flags) = 0;
  virtual int Fsync(int fd) = 0;
  virtual int SyncFs(int fd) = 0;  // syncfs: flushes the whole file system of `fd`
  virtual int MkdirAt(int dirfd, const char* name, mode_t mode) = 0;
  virtual int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) = 0;
  // renameat2; RENAME_NOREPLACE makes it fail with EEXIST instead of replacing an entry.
  virtual int Rename2At(int olddirfd, const char* oldname, int newdirfd, const char* newname,
                        unsigned int flags) = 0;
  virtual int LinkAt(int olddirfd, const char* oldname, int newdirfd, const char* newname,
                     int flags) = 0;
  virtual int UnlinkAt(int dirfd, const char* name, int flags) = 0;
  virtual long ReadLinkAt(int dirfd, const char* name, char* buffer, std::size_t size) = 0;
  virtual int SymlinkAt(const char* target, int dirfd, const char* name) = 0;

  // Returns the fewest lookups of one folder listing worth doing ahead on a second thread, or
  // 0 when the passes must make their calls one by one from the thread that runs them, in
  // the order a plain walk makes them (lookups never replaced by reading a folder's names).
  virtual std::size_t LookAheadMinimum() const { return 0; }
  // Returns true iff the look-ahead may leave a batch to the pass's own thread when batches
  // cost the pass less that way; false hands every batch worth it to the helper.
  virtual bool LookAheadAdapts() const { return true; }
  // Returns how many threads may read the trees ahead of the passes while they are not in the
  // cache (listing folders and looking at their entries, the results thrown away), or 0 for
  // none. Only asked when LookAheadMinimum() is not 0.
  virtual std::size_t WarmingThreads() const { return 0; }
};

// Forwards every call to a target file system (not owned). Derive and override to inject.
// Its calls all come from one thread unless a derived class says otherwise through
// LookAheadMinimum.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem* target) : target_(target) {}
  FileSystem* target() const { return target_; }

  int OpenAt(int dirfd, const char* name, int flags, mode_t mode) override {
    return target_->OpenAt(dirfd, name, flags, mode);
  }
  int Close(int fd) override { return target_->Close(fd); }
  long GetDents(int fd, void* buffer, std::size_t size) override {
    return target_->GetDents(fd, buffer, size);
  }
  int StatAt(int dirfd, const char* name, struct stat* st, int flags) override {
    return target_->StatAt(dirfd, name, st, flags);
  }
  int Fstat(int fd, struct stat* st) override { return target_->Fstat(fd, st); }
  int Statx(int dirfd, const char* name, int flags, unsigned int mask,
            struct statx* buffer) override {
    return target_->Statx(dirfd, name, flags, mask, buffer);
  }
  long Read(int fd, void* buffer, std::size_t size) override {
    return target_->Read(fd, buffer, size);
  }
  long Write(int fd, const void* buffer, std::size_t size) override {
    return target_->Write(fd, buffer, size);
  }
  long CopyFileRange(int in, int out, std::size_t size) override {
    return target_->CopyFileRange(in, out, size);
  }
  off_t Lseek(int fd, off_t offset, int whence) override {
    return target_->Lseek(fd, offset, whence);
  }
  int Ftruncate(int fd, off_t length) override { return target_->Ftruncate(fd, length); }
  int Clone(int destination, int source) override { return target_->Clone(destination, source); }
  int Fchmod(int fd, mode_t mode) override { return target_->Fchmod(fd, mode); }
  int Futimens(int fd, const struct timespec times[2]) override {
    return target_->Futimens(fd, times);
  }
  int UtimensAt(int dirfd, const char* name, const struct timespec times[2], int flags) override {
    return target_->UtimensAt(dirfd, name, times, flags);
  }
  int Fsync(int fd) override { return target_->Fsync(fd); }
  int SyncFs(int fd) override { return target_->SyncFs(fd); }
  int MkdirAt(int dirfd, const char* name, mode_t mode) override {
    return target_->MkdirAt(dirfd, name, mode);
  }
  int RenameAt(int olddirfd, const char* oldname, int newdirfd, const char* newname) override {
    return target_->RenameAt(olddirfd, oldname, newdirfd, newname);
  }
  int Rename2At(int olddirfd, const char* oldname, int newdirfd, const char* newname,
                unsigned int flags) override {
    return target_->Rename2At(olddirfd, oldname, newdirfd, newname, flags);
  }
  int LinkAt(int olddirfd, const char* oldname, int newdirfd, const char* newname,
             int flags) override {
    return target_->LinkAt(olddirfd, oldname, newdirfd, newname, flags);
  }
  int UnlinkAt(int dirfd, const char* name, int flags) override {
    return target_->UnlinkAt(dirfd, name, flags);
  }
  long ReadLinkAt(int dirfd, const char* name, char* buffer, std::size_t size) override {
    return target_->ReadLinkAt(dirfd, name, buffer, size);
  }
  int SymlinkAt(const char* target, int dirfd, const char* name) override {
    return target_->SymlinkAt(target, dirfd, name);
  }

 private:
  FileSystem* target_;
};

}  // namespace vantrel
