#include "common/CoreApi.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace vantrel {
namespace {

constexpr std::string_view kDefaultAlphabet = "01234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Draws an index below n the way the original generator did, so sequences stay comparable.
std::uint32_t NextRandom(std::uint32_t& seed, std::uint32_t n) {
  seed = seed * 134775813u + 1u;
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(seed) * n) >> 32);
}

std::uint32_t ClockSeed() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const std::uint64_t ns =
      static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
  return static_cast<std::uint32_t>(ns);
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

constexpr long kDaysFrom1899To1970 = 25569;

}  // namespace

std::string AddTrailingSeparator(std::string_view path, PathStyle style) {
  std::string result(path);
  if (result.empty()) return result;
  if (style == PathStyle::Posix) {
    if (result.back() != '/') result += '/';
    return result;
  }
  if (result.back() == '\\') return result;
  if (result.size() == 1 && IsAsciiLetter(result[0])) return result + ":\\";
  return result + '\\';
}

std::string RemoveTrailingSeparator(std::string_view path, PathStyle style) {
  std::string result(path);
  if (result.size() <= 1) return result;
  if (style == PathStyle::Posix) {
    if (result.back() == '/') result.pop_back();
    return result;
  }
  const char last = result.back();
  if (last != '\\' && last != '/') return result;
  const bool driveRoot = result.size() == 3 && IsAsciiLetter(result[0]) && result[1] == ':';
  if (!driveRoot) result.pop_back();
  return result;
}

std::string RandomString(int length, std::string_view alphabet) {
  if (alphabet.empty()) alphabet = kDefaultAlphabet;
  // Seeded afresh on every call, so a local seed draws what a shared one would, and calls
  // from several threads do not race.
  std::uint32_t seed = ClockSeed();
  std::string result;
  for (int i = 0; i < length; ++i) {
    result += alphabet[NextRandom(seed, static_cast<std::uint32_t>(alphabet.size()))];
  }
  return result;
}

std::string UniqueRandomFileName(std::string_view folder, std::string_view pattern) {
  const std::string base = AddTrailingSeparator(folder);
  const std::size_t hole = pattern.find("%s");
  for (;;) {
    std::string candidate(pattern);
    if (hole != std::string_view::npos) candidate.replace(hole, 2, RandomString(8));
    struct stat st {};
    const std::string full = base + candidate;
    if (lstat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return candidate;
  }
}

std::string GetSpecialFolder(int id) {
  if (id != 26) return {};
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return AddTrailingSeparator(xdg);
  std::string home;
  if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != '\0') {
    home = h;
  } else if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    home = pw->pw_dir;
  }
  return AddTrailingSeparator(AddTrailingSeparator(home) + ".local/share");
}

std::uint32_t DosStampFromTime(std::time_t t) {
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return 0;
  const int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  return (static_cast<std::uint32_t>(year - 1980) << 25) |
         (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
         (static_cast<std::uint32_t>(tm.tm_mday) << 16) |
         (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
         (static_cast<std::uint32_t>(tm.tm_min) << 5) | (static_cast<std::uint32_t>(tm.tm_sec) / 2);
}

double DateTimeFromDosStamp(std::uint32_t stamp) {
  if (stamp == 0) return 0;
  const long year = 1980 + static_cast<long>(stamp >> 25);
  const unsigned month = (stamp >> 21) & 0x0F;
  const unsigned day = (stamp >> 16) & 0x1F;
  const unsigned hour = (stamp >> 11) & 0x1F;
  const unsigned minute = (stamp >> 5) & 0x3F;
  const unsigned second = (stamp & 0x1F) * 2;
  const long days = DaysFromCivil(year, month, day) + kDaysFrom1899To1970;
  return static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

double FileLastWriteTime(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return DateTimeFromDosStamp(DosStampFromTime(st.st_mtim.tv_sec));
}

}  // namespace vantrel
