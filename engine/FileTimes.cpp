#include "engine/FileTimes.h"

#include <cstdlib>

namespace vantrel {
namespace {

// What FAT-family drives can hold: 1980-01-01 00:00:00 to 2107-12-31 23:59:59, UTC.
constexpr std::time_t kFirstStorable = 315532800;
constexpr std::time_t kLastStorable = 4354732799;
// Drives keep local time, some with an offset: a stored time may lie a time zone (and a day
// of the wrapped year's calendar) away from the exact one. Some drivers clamp a time to the
// range, others keep only the year's low bits (exFAT's 7-bit year from 1980): 1975 comes back
// as 2103, 2200 as 2071.
constexpr std::time_t kSlack = 2 * 24 * 60 * 60;
constexpr int kYearsHeld = 128;  // exFAT's 7-bit year field

std::time_t Slot(std::time_t seconds) {
  return seconds >= 0 ? seconds / 2 : -((1 - seconds) / 2);
}

bool Near(std::time_t a, std::time_t b) { return (a > b ? a - b : b - a) <= kSlack; }

}  // namespace

bool LooksStoredFrom(std::time_t asked, std::time_t stored) {
  if (asked >= kFirstStorable && asked <= kLastStorable) return false;
  if (stored < kFirstStorable - kSlack || stored > kLastStorable + kSlack) return false;
  if (Near(stored, asked < kFirstStorable ? kFirstStorable : kLastStorable)) return true;
  struct tm parts;
  if (gmtime_r(&asked, &parts) == nullptr) return false;
  const int held = (parts.tm_year - 80) % kYearsHeld;
  parts.tm_year = 80 + (held < 0 ? held + kYearsHeld : held);
  return Near(stored, timegm(&parts));
}

bool IsNewer(std::time_t source, off_t sourceSize, std::time_t destination,
             off_t destinationSize) {
  if (Slot(source) <= Slot(destination)) return false;
  if (sourceSize == destinationSize &&
      (LooksStoredFrom(source, destination) || LooksStoredFrom(destination, source))) {
    return false;
  }
  return true;
}

}  // namespace vantrel
