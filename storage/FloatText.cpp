#include "storage/FloatText.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>

namespace vantrel {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string DecimalSeparator() {
  const lconv* conventions = std::localeconv();
  if (conventions == nullptr || conventions->decimal_point == nullptr ||
      conventions->decimal_point[0] == '\0') {
    return ".";
  }
  return conventions->decimal_point;
}

std::string FormatFloat(double value, std::string_view separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";

  // d.dddddddddddddde[+-]x: the 15 significant digits after rounding, and the exponent.
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  const std::string_view scientific(buffer, static_cast<std::size_t>(end - buffer));
  const bool negative = scientific.front() == '-';
  const std::size_t ePos = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, ePos)) {
    if (IsDigit(c)) digits += c;
  }
  int exponent = std::atoi(std::string(scientific.substr(ePos + 1)).c_str());
  if (std::fabs(value) > 1.79769313486231e308) {
    // Rounded to 15 digits, the largest numbers pass the largest double and could never be
    // read back; they are cut to 15 digits instead.
    digits = "179769313486231";
    exponent = 308;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string result = negative ? "-" : "";
  if (exponent >= -5 && exponent <= 14) {
    if (exponent < 0) {
      result += '0';
      result += separator;
      result.append(static_cast<std::size_t>(-exponent - 1), '0');
      result += digits;
    } else {
      const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= whole) {
        result += digits;
        result.append(whole - digits.size(), '0');
      } else {
        result += digits.substr(0, whole);
        result += separator;
        result += digits.substr(whole);
      }
    }
    return result;
  }
  result += digits.front();
  if (digits.size() > 1) {
    result += separator;
    result += digits.substr(1);
  }
  result += 'E';
  result += std::to_string(exponent);
  return result;
}

std::optional<double> ParseFloat(std::string_view text, std::string_view separator) {
  const std::string upper = [&] {
    std::string s(text);
    for (char& c : s) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
  }();
  if (upper == "NAN") return std::nan("");
  if (upper == "INF" || upper == "+INF") return HUGE_VAL;
  if (upper == "-INF") return -HUGE_VAL;

  // Rewrite into the locale-free form that from_chars reads, checking the grammar on the way.
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const auto digitsAt = [&] {
    const std::size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return std::string(text.substr(start, i - start));
  };
  const std::string whole = digitsAt();
  std::string fraction;
  if (!separator.empty() && text.substr(i, separator.size()) == separator) {
    i += separator.size();
    fraction = digitsAt();
  }
  if (whole.empty() && fraction.empty()) return std::nullopt;
  std::string plain = negative ? "-" : "";
  plain += whole.empty() ? "0" : whole;
  if (!fraction.empty()) plain += "." + fraction;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    plain += 'e';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    const std::string exponent = digitsAt();
    if (exponent.empty()) return std::nullopt;
    plain += exponent;
  }
  if (i != text.size()) return std::nullopt;

  double value = 0;
  const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
  return value;
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
  }
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace vantrel
