#include "engine/CaseFolding.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace vantrel {
namespace {

locale_t Utf8Locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

// Decodes one UTF-8 sequence at `text[i]`; returns its length, or 0 when it is not valid.
std::size_t Decode(std::string_view text, std::size_t i, char32_t* code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char first = byte(i);
  std::size_t length;
  char32_t value;
  if (first < 0x80) {
    *code = first;
    return 1;
  } else if ((first & 0xE0) == 0xC0) {
    length = 2;
    value = first & 0x1F;
  } else if ((first & 0xF0) == 0xE0) {
    length = 3;
    value = first & 0x0F;
  } else if ((first & 0xF8) == 0xF0) {
    length = 4;
    value = first & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  *code = value;
  return length;
}

void Encode(char32_t code, std::string& out) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

template <typename Map>
std::string MapLetters(std::string_view name, Map map, bool* changed) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    char32_t code;
    const std::size_t length = Decode(name, i, &code);
    if (length == 0) {
      out.push_back(name[i]);
      ++i;
      continue;
    }
    const char32_t mapped = map(code);
    if (mapped != code) *changed = true;
    if (mapped == code || mapped > 0x10FFFF) {
      out.append(name.substr(i, length));
    } else {
      Encode(mapped, out);
    }
    i += length;
  }
  return out;
}

char32_t Lower(char32_t code) {
  if (code < 0x80) return code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code;
  const locale_t locale = Utf8Locale();
  if (locale == static_cast<locale_t>(0)) return code;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(code), locale));
}

char32_t Swap(char32_t code) {
  if (code < 0x80) {
    if (code >= 'A' && code <= 'Z') return code + ('a' - 'A');
    if (code >= 'a' && code <= 'z') return code - ('a' - 'A');
    return code;
  }
  const locale_t locale = Utf8Locale();
  if (locale == static_cast<locale_t>(0)) return code;
  const wint_t wide = static_cast<wint_t>(code);
  if (iswupper_l(wide, locale)) return static_cast<char32_t>(towlower_l(wide, locale));
  if (iswlower_l(wide, locale)) return static_cast<char32_t>(towupper_l(wide, locale));
  return code;
}

}  // namespace

std::string FoldCase(std::string_view name) {
  bool changed = false;
  return MapLetters(name, Lower, &changed);
}

std::string SwapCase(std::string_view name) {
  bool changed = false;
  std::string swapped = MapLetters(name, Swap, &changed);
  if (!changed) swapped.clear();
  return swapped;
}

}  // namespace vantrel
