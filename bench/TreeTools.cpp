#include "bench/TreeTools.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <stdexcept>

namespace vantrel::bench {
namespace {

constexpr long kKiB = 1024;
// 2023-06-01 00:00:00 UTC: every generated time lies within the year after it.
constexpr std::time_t kBaseTime = 1685577600;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " '" + path + "': " + std::strerror(errno));
}

// Words for names: spaces, accents, other scripts, and characters a shell would trip over.
const char* const kWords[] = {
    "Reports",  "naïve",   "Straße",   "日本語",   "résumé", "Документы", "Ελληνικά",
    "old backup", "München", "São Paulo", "café",  "notes & ideas", "Ærø", "photo (1)",
    "data",     "it's",    "Zürich",   "£ budget", "mixed-Case", "🙂 smile"};
constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);
const char* const kExtensions[] = {".txt", ".dat", ".jpg", ".tar.gz", "", ".c++", ".pdf"};
constexpr int kExtensionCount = sizeof(kExtensions) / sizeof(kExtensions[0]);

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder + "/" + name;
}

int OpenFolder(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) Fail("cannot open folder", path);
  return fd;
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& path) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write", path);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// Creates one file in `dirfd` with `size` random bytes, the given mode and modification time.
void CreateFile(int dirfd, const std::string& name, std::size_t size, mode_t mode,
                std::time_t mtime, long nanos, Rng& rng, std::vector<char>& buffer,
                const std::string& shownPath) {
  int fd = ::openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot create", shownPath);
  std::size_t left = size;
  while (left > 0) {
    std::size_t chunk = std::min(left, buffer.size());
    rng.Fill(buffer.data(), chunk);
    WriteAll(fd, buffer.data(), chunk, shownPath);
    left -= chunk;
  }
  struct timespec times[2] = {{mtime, nanos}, {mtime, nanos}};
  if (::fchmod(fd, mode) != 0 || ::futimens(fd, times) != 0) Fail("cannot set times of", shownPath);
  if (::close(fd) != 0) Fail("cannot close", shownPath);
}

mode_t PickMode(Rng& rng) {
  switch (rng.Below(32)) {
    case 0:
    case 1:
      return 0600;
    case 2:
      return 0755;
    default:
      return 0644;
  }
}

std::string FileName(Rng& rng, long index) {
  char number[24];
  std::snprintf(number, sizeof number, " %06ld", index);
  return std::string(kWords[rng.Below(kWordCount)]) + " " + kWords[rng.Below(kWordCount)] +
         number + kExtensions[rng.Below(kExtensionCount)];
}

std::string FolderName(Rng& rng, long index) {
  char number[24];
  std::snprintf(number, sizeof number, " %02ld", index);
  return std::string(kWords[rng.Below(kWordCount)]) + number;
}

// Calls `visit` for every entry below the folder open as `dirfd`, depth first, with the entry's
// path relative to the walk's root, the folder's descriptor, the bare name and whether it is a
// folder. Symbolic links and other special entries are reported as non-folders.
using Visit = std::function<void(const std::string& rel, int dirfd, const char* name, bool folder)>;

void WalkFolder(int dirfd, const std::string& rel, const Visit& visit) {
  int own = ::dup(dirfd);
  if (own < 0) Fail("cannot duplicate descriptor for", rel);
  DIR* dir = ::fdopendir(own);
  if (dir == nullptr) {
    ::close(own);
    Fail("cannot list", rel);
  }
  while (struct dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st;
      if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) Fail("cannot stat", name);
      folder = S_ISDIR(st.st_mode);
    }
    std::string path = Join(rel, name);
    visit(path, dirfd, name, folder);
    if (folder) {
      int child = ::openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) {
        ::closedir(dir);
        Fail("cannot open folder", path);
      }
      try {
        WalkFolder(child, path, visit);
      } catch (...) {
        ::close(child);
        ::closedir(dir);
        throw;
      }
      ::close(child);
    }
  }
  ::closedir(dir);
}

void Walk(const std::string& root, const Visit& visit) {
  int fd = OpenFolder(root);
  try {
    WalkFolder(fd, "", visit);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

void MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0) Fail("cannot create folder", path);
}

}  // namespace

void Rng::Fill(void* out, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(out);
  while (size >= 8) {
    std::uint64_t word = Next();
    std::memcpy(bytes, &word, 8);
    bytes += 8;
    size -= 8;
  }
  if (size > 0) {
    std::uint64_t word = Next();
    std::memcpy(bytes, &word, size);
  }
}

TreeCounts GenerateSmallFileTree(const std::string& root, long files, std::uint64_t seed) {
  if (files < 1) throw std::runtime_error("a tree needs at least one file");
  Rng rng(seed);
  // One folder per hundred files (three at least), three levels deep: k folders at the first
  // level, k under each of them, and the rest spread over the second level.
  const long total = std::max(3L, std::lround(static_cast<double>(files) / 100.0));
  long k = 1;
  while ((k + 1) + (k + 1) * (k + 1) < total) ++k;
  std::vector<std::string> folders = {""};  // relative paths; the root takes files too
  std::vector<std::string> second;
  for (long a = 0; a < k; ++a) {
    std::string first = FolderName(rng, a);
    folders.push_back(first);
    for (long b = 0; b < k; ++b) {
      second.push_back(first + "/" + FolderName(rng, b));
      folders.push_back(second.back());
    }
  }
  for (long c = 0; static_cast<long>(folders.size()) - 1 < total; ++c) {
    const std::string& parent = second[static_cast<std::size_t>(c) % second.size()];
    folders.push_back(parent + "/" + FolderName(rng, c / static_cast<long>(second.size())));
  }
  std::vector<long> perFolder(folders.size(), 0);
  for (long i = 0; i < files; ++i) ++perFolder[rng.Below(folders.size())];

  MakeFolder(root);
  for (std::size_t i = 1; i < folders.size(); ++i) MakeFolder(root + "/" + folders[i]);

  TreeCounts counts;
  counts.folders = static_cast<long>(folders.size()) - 1;
  std::vector<char> buffer(16 * kKiB);
  long index = 0;
  for (std::size_t f = 0; f < folders.size(); ++f) {
    std::string folderPath = folders[f].empty() ? root : root + "/" + folders[f];
    int dirfd = OpenFolder(folderPath);
    for (long n = 0; n < perFolder[f]; ++n, ++index) {
      std::string name = FileName(rng, index);
      std::size_t size = static_cast<std::size_t>(kKiB + rng.Below(15 * kKiB + 1));
      mode_t mode = PickMode(rng);
      std::time_t mtime = kBaseTime + static_cast<std::time_t>(rng.Below(365L * 86400));
      long nanos = static_cast<long>(rng.Below(1000000000));
      CreateFile(dirfd, name, size, mode, mtime, nanos, rng, buffer, folderPath + "/" + name);
      ++counts.files;
      counts.bytes += static_cast<long long>(size);
    }
    ::close(dirfd);
  }
  return counts;
}

TreeCounts GenerateLargeFileTree(const std::string& root, int count, long long bytesEach,
                                 std::uint64_t seed) {
  Rng rng(seed);
  MakeFolder(root);
  int dirfd = OpenFolder(root);
  std::vector<char> buffer(1024 * kKiB);
  TreeCounts counts;
  for (int i = 0; i < count; ++i) {
    std::string name = "large file " + std::to_string(i + 1) + " – ü.bin";
    CreateFile(dirfd, name, static_cast<std::size_t>(bytesEach), 0644, kBaseTime + i * 3600, 0,
               rng, buffer, root + "/" + name);
    ++counts.files;
    counts.bytes += bytesEach;
  }
  ::close(dirfd);
  return counts;
}

long MakeFilesNewer(const std::string& root, std::uint64_t seed) {
  std::vector<std::string> files;
  Walk(root, [&](const std::string& rel, int, const char*, bool folder) {
    if (!folder) files.push_back(rel);
  });
  if (files.empty()) return 0;
  std::sort(files.begin(), files.end());
  Rng rng(seed);
  const long pick = std::max(1L, static_cast<long>(files.size()) / 100);
  for (long i = 0; i < pick; ++i) {  // a partial shuffle: the first `pick` are the chosen ones
    std::size_t j = static_cast<std::size_t>(i) + rng.Below(files.size() - static_cast<std::size_t>(i));
    std::swap(files[static_cast<std::size_t>(i)], files[j]);
  }
  for (long i = 0; i < pick; ++i) {
    std::string path = root + "/" + files[static_cast<std::size_t>(i)];
    int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) Fail("cannot open", path);
    struct stat st;
    if (::fstat(fd, &st) != 0) Fail("cannot stat", path);
    char bytes[64];
    rng.Fill(bytes, sizeof bytes);
    std::size_t size = std::min<std::size_t>(sizeof bytes, static_cast<std::size_t>(st.st_size));
    if (::pwrite(fd, bytes, size, 0) != static_cast<ssize_t>(size)) Fail("cannot write", path);
    struct timespec times[2] = {st.st_mtim, st.st_mtim};
    times[0].tv_sec += 86400;
    times[1].tv_sec += 86400;
    if (::futimens(fd, times) != 0) Fail("cannot set times of", path);
    ::close(fd);
  }
  return pick;
}

ExtraCounts AddExtraEntries(const std::string& root, std::uint64_t seed) {
  std::vector<std::string> folders = {""};
  long files = 0;
  Walk(root, [&](const std::string& rel, int, const char*, bool folder) {
    if (folder)
      folders.push_back(rel);
    else
      ++files;
  });
  std::sort(folders.begin(), folders.end());
  Rng rng(seed);
  std::vector<char> buffer(16 * kKiB);
  auto addFile = [&](const std::string& folder, const std::string& name) {
    std::string path = Join(root, Join(folder, name));
    std::string folderPath = folder.empty() ? root : root + "/" + folder;
    int dirfd = OpenFolder(folderPath);
    CreateFile(dirfd, name, static_cast<std::size_t>(kKiB + rng.Below(15 * kKiB + 1)), 0644,
               kBaseTime, 0, rng, buffer, path);
    ::close(dirfd);
  };
  ExtraCounts counts;
  const long extraFiles = std::max(1L, files / 100);
  for (long i = 0; i < extraFiles; ++i) {
    const std::string& folder = folders[rng.Below(folders.size())];
    addFile(folder, "extra file " + std::to_string(i) + " – ø.txt");
    ++counts.files;
  }
  const long extraFolders = std::max(1L, static_cast<long>(folders.size() - 1) / 100);
  for (long i = 0; i < extraFolders; ++i) {
    std::string folder =
        Join(folders[rng.Below(folders.size())], "extra folder " + std::to_string(i) + " ß");
    MakeFolder(root + "/" + folder);
    for (int n = 0; n < 5; ++n) addFile(folder, "inside " + std::to_string(n) + " é.txt");
    std::string inner = folder + "/inner ü";
    MakeFolder(root + "/" + inner);
    for (int n = 0; n < 2; ++n) addFile(inner, "deeper " + std::to_string(n) + ".dat");
    ++counts.folders;
  }
  return counts;
}

namespace {

void CopyContents(int in, int out, std::vector<char>& buffer, const std::string& shownPath) {
  bool useRange = true;
  while (useRange) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n == 0) return;
    if (n < 0) {
      if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
        Fail("cannot copy", shownPath);
      useRange = false;
    }
  }
  ssize_t n;
  while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
    WriteAll(out, buffer.data(), static_cast<std::size_t>(n), shownPath);
  if (n < 0) Fail("cannot read", shownPath);
}

void SetModeAndTimes(int fd, const struct stat& st, const std::string& shownPath) {
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::fchmod(fd, st.st_mode & 07777) != 0 || ::futimens(fd, times) != 0)
    Fail("cannot set mode and times of", shownPath);
}

void CloneFolder(int sourceFd, int destinationFd, const std::string& shown, bool links,
                 TreeCounts& counts, std::vector<char>& buffer) {
  int own = ::dup(sourceFd);
  DIR* dir = own < 0 ? nullptr : ::fdopendir(own);
  if (dir == nullptr) Fail("cannot list", shown);
  while (struct dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    std::string path = shown + "/" + name;
    struct stat st;
    if (::fstatat(sourceFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) Fail("cannot stat", path);
    if (S_ISDIR(st.st_mode)) {
      if (::mkdirat(destinationFd, name, 0700) != 0) Fail("cannot create folder", path);
      int from = ::openat(sourceFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      int to = ::openat(destinationFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (from < 0 || to < 0) Fail("cannot open folder", path);
      CloneFolder(from, to, path, links, counts, buffer);
      SetModeAndTimes(to, st, path);  // after the contents, which change the time
      ::close(from);
      ::close(to);
      ++counts.folders;
    } else if (S_ISREG(st.st_mode)) {
      if (links) {
        if (::linkat(sourceFd, name, destinationFd, name, 0) != 0) Fail("cannot link", path);
      } else {
        int in = ::openat(sourceFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        int out = ::openat(destinationFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (in < 0 || out < 0) Fail("cannot open", path);
        CopyContents(in, out, buffer, path);
        SetModeAndTimes(out, st, path);
        ::close(in);
        if (::close(out) != 0) Fail("cannot close", path);
      }
      ++counts.files;
      counts.bytes += st.st_size;
    }
  }
  ::closedir(dir);
}

// A 64-bit mix (the finaliser of splitmix64).
std::uint64_t Mix(std::uint64_t h, std::uint64_t value) {
  std::uint64_t z = h ^ (value + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2));
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t HashBytes(std::uint64_t h, const char* data, std::size_t size) {
  while (size >= 8) {
    std::uint64_t word;
    std::memcpy(&word, data, 8);
    h = Mix(h, word);
    data += 8;
    size -= 8;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, data, size);
  return Mix(h, tail ^ (static_cast<std::uint64_t>(size) << 56));
}

}  // namespace

TreeCounts CloneTree(const std::string& source, const std::string& destination, bool links) {
  int from = OpenFolder(source);
  struct stat st;
  if (::fstat(from, &st) != 0) Fail("cannot stat", source);
  MakeFolder(destination);
  int to = OpenFolder(destination);
  TreeCounts counts;
  std::vector<char> buffer(1024 * kKiB);
  CloneFolder(from, to, destination, links, counts, buffer);
  SetModeAndTimes(to, st, destination);
  ::close(from);
  ::close(to);
  return counts;
}

std::uint64_t Fingerprint(const std::string& root) {
  std::vector<std::pair<std::string, std::uint64_t>> entries;
  std::vector<char> buffer(256 * kKiB);
  Walk(root, [&](const std::string& rel, int dirfd, const char* name, bool folder) {
    struct stat st;
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) Fail("cannot stat", rel);
    std::uint64_t h = HashBytes(0, rel.data(), rel.size());
    h = Mix(h, st.st_mode);
    h = Mix(h, static_cast<std::uint64_t>(st.st_mtim.tv_sec));
    h = Mix(h, static_cast<std::uint64_t>(st.st_mtim.tv_nsec));
    if (!folder && S_ISREG(st.st_mode)) {
      h = Mix(h, static_cast<std::uint64_t>(st.st_size));
      int fd = ::openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) Fail("cannot open", rel);
      ssize_t n;
      while ((n = ::read(fd, buffer.data(), buffer.size())) > 0)
        h = HashBytes(h, buffer.data(), static_cast<std::size_t>(n));
      ::close(fd);
      if (n < 0) Fail("cannot read", rel);
    }
    entries.emplace_back(rel, h);
  });
  std::sort(entries.begin(), entries.end());
  std::uint64_t h = Mix(0, entries.size());
  for (const auto& entry : entries) h = Mix(h, entry.second);
  return h;
}

long WarmTree(const std::string& root, bool readContents) {
  long entries = 0;
  std::vector<char> buffer(256 * kKiB);
  Walk(root, [&](const std::string& rel, int dirfd, const char* name, bool folder) {
    struct stat st;
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) Fail("cannot stat", rel);
    ++entries;
    if (folder || !readContents || !S_ISREG(st.st_mode)) return;
    int fd = ::openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) Fail("cannot open", rel);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
  });
  return entries;
}

namespace {

// Returns true iff the two open files hold the same bytes (both of size `size`).
bool SameContents(int a, int b, std::vector<char>& bufferA, std::vector<char>& bufferB) {
  while (true) {
    ssize_t na = ::read(a, bufferA.data(), bufferA.size());
    ssize_t nb = ::read(b, bufferB.data(), bufferB.size());
    if (na < 0 || nb < 0 || na != nb) return false;
    if (na == 0) return true;
    if (std::memcmp(bufferA.data(), bufferB.data(), static_cast<std::size_t>(na)) != 0)
      return false;
  }
}

}  // namespace

VerifyReport VerifyCopy(const std::string& source, const std::string& destination, bool exact) {
  VerifyReport report;
  constexpr std::size_t kMaxProblems = 5;
  auto problem = [&](const std::string& text) {
    if (report.problems.size() < kMaxProblems) report.problems.push_back(text);
  };
  int destinationRoot = OpenFolder(destination);
  std::vector<char> bufferA(256 * kKiB), bufferB(256 * kKiB);
  Walk(source, [&](const std::string& rel, int dirfd, const char* name, bool folder) {
    if (folder) return;
    ++report.filesChecked;
    struct stat s, d;
    if (::fstatat(dirfd, name, &s, AT_SYMLINK_NOFOLLOW) != 0) Fail("cannot stat", rel);
    if (::fstatat(destinationRoot, rel.c_str(), &d, AT_SYMLINK_NOFOLLOW) != 0) {
      problem("missing: " + rel);
      return;
    }
    if (!S_ISREG(d.st_mode)) return problem("not a file: " + rel);
    if (d.st_size != s.st_size) return problem("size differs: " + rel);
    if ((d.st_mode & 07777) != (s.st_mode & 07777)) return problem("mode differs: " + rel);
    if ((d.st_mtim.tv_sec >> 1) != (s.st_mtim.tv_sec >> 1)) return problem("time differs: " + rel);
    int a = ::openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    int b = ::openat(destinationRoot, rel.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (a < 0 || b < 0 || !SameContents(a, b, bufferA, bufferB)) problem("contents differ: " + rel);
    if (a >= 0) ::close(a);
    if (b >= 0) ::close(b);
  });
  if (exact) {
    int sourceRoot = OpenFolder(source);
    Walk(destination, [&](const std::string& rel, int, const char*, bool folder) {
      struct stat s;
      if (::fstatat(sourceRoot, rel.c_str(), &s, AT_SYMLINK_NOFOLLOW) != 0 ||
          S_ISDIR(s.st_mode) != folder)
        problem("extra: " + rel);
    });
    ::close(sourceRoot);
  }
  ::close(destinationRoot);
  return report;
}

}  // namespace vantrel::bench
