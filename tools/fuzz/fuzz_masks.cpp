// The mask compiler and matcher. The input is a mask, a NUL byte and a file name (without a
// NUL the input serves as both). Beyond "no crash, no hang, only EMaskException", it checks:
// - the error message names the mask and a position inside it or one past its end;
// - copies and moved-to masks match exactly like the original;
// - matching ignores the case of a-z in the name;
// - "*.*" matches every file name;
// - for plain-ASCII masks without sets, the result agrees with a straightforward reference
//   matcher (every choice of star positions tried), including the limit of 30 star runs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Masks.h"
#include "tools/fuzz/FuzzCheck.h"

using vantrel::EMaskException;
using vantrel::FileMatchesMask;
using vantrel::TMask;
using vantrel::fuzz::Escaped;
using vantrel::fuzz::Fail;

namespace {

char UpperAZ(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAZ(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperAZ(c);
  return out;
}

bool IsPlainAscii(std::string_view s) {
  for (unsigned char c : s) {
    if (c == 0 || c > 127) return false;
  }
  return true;
}

// Reference semantics for masks made of literals, '?' and '*' only.
struct Element {
  bool skip;
  bool any;
  char literal;  // upper-cased; unused when `any`
};

// Returns the number of star runs and fills `elements` (the end state excluded).
int CompileReference(std::string_view mask, std::vector<Element>& elements, bool& endSkip) {
  bool pending = false;
  int runs = 0;
  for (char c : mask) {
    if (c == '*') {
      pending = true;
    } else if (c == '?' && pending) {
      // A '?' after a star adds nothing.
    } else {
      runs += pending;
      elements.push_back(Element{pending, c == '?', UpperAZ(c)});
      pending = false;
    }
  }
  runs += pending;
  endSkip = pending;
  return runs;
}

bool ReferenceMatches(const std::vector<Element>& elements, bool endSkip, std::string_view name) {
  const std::size_t n = name.size();
  // reach[j]: the states before the current one can consume exactly name[0, j).
  std::vector<char> reach(n + 1, 0);
  reach[0] = 1;
  for (const Element& e : elements) {
    std::vector<char> next(n + 1, 0);
    bool open = false;  // some earlier position reached, usable when the state may skip
    for (std::size_t j = 0; j < n; ++j) {
      open = e.skip ? (open || reach[j]) : reach[j];
      if (open && (e.any || UpperAZ(name[j]) == e.literal)) next[j + 1] = 1;
    }
    reach.swap(next);
  }
  if (endSkip) {
    for (char r : reach) {
      if (r) return true;
    }
    return false;
  }
  return reach[n] != 0;
}

void CheckMessage(std::string_view mask, const EMaskException& e) {
  const std::string message = e.what();
  const std::string head = "'" + std::string(mask) + "' is an invalid mask at (";
  if (message.compare(0, head.size(), head) != 0 || message.back() != ')') {
    Fail("mask " + Escaped(mask) + " fails with a malformed message " + Escaped(message));
  }
  const std::string digits = message.substr(head.size(), message.size() - head.size() - 1);
  long position = 0;
  for (char c : digits) {
    if (c < '0' || c > '9' || position > 100000) {
      Fail("mask " + Escaped(mask) + " fails with a malformed position " + Escaped(message));
    }
    position = position * 10 + (c - '0');
  }
  if (digits.empty() || position < 1 || position > static_cast<long>(mask.size()) + 1) {
    Fail("mask " + Escaped(mask) + " fails at a position outside it: " + Escaped(message));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t cut = bytes.find('\0');
  std::string_view mask = bytes.substr(0, cut);
  std::string_view name = cut == std::string_view::npos ? bytes : bytes.substr(cut + 1);
  if (name.find('\0') != std::string_view::npos) name = name.substr(0, name.find('\0'));

  // File names never hold '/', so "*.*" must take every one of them.
  if (name.find('/') == std::string_view::npos && !FileMatchesMask("*.*", name)) {
    Fail("\"*.*\" does not match the name " + Escaped(name));
  }
  // The passes decide through FileNameFilter, which compiles once and takes shortcuts; it
  // must decide exactly as FileMatchesMask does, failing for the same masks.
  int direct = -1;  // -1: invalid mask
  int filtered = -1;
  try {
    direct = FileMatchesMask(mask, name);
  } catch (const EMaskException&) {
  }
  try {
    vantrel::FileNameFilter filter(true, {std::string(mask)}, {});
    filtered = filter.Takes(name);
  } catch (const EMaskException&) {
  }
  if (direct != filtered) {
    Fail("the file-name filter decides " + std::to_string(filtered) + " but the mask " +
         Escaped(mask) + " gives " + std::to_string(direct) + " for " + Escaped(name));
  }

  bool valid = true;
  bool matches = false;
  try {
    TMask compiled(mask);
    matches = compiled.Matches(name);
    if (IsPlainAscii(name) && compiled.Matches(UpperAZ(name)) != matches) {
      Fail("mask " + Escaped(mask) + " depends on the case of the name " + Escaped(name));
    }
    TMask copy(compiled);
    TMask assigned("x");
    assigned = copy;
    TMask moved(std::move(copy));
    if (moved.Matches(name) != matches || assigned.Matches(name) != matches) {
      Fail("a copied mask " + Escaped(mask) + " matches " + Escaped(name) + " differently");
    }
  } catch (const EMaskException& e) {
    valid = false;
    CheckMessage(mask, e);
  }

  if (IsPlainAscii(mask) && IsPlainAscii(name) && mask.find('[') == std::string_view::npos) {
    std::vector<Element> elements;
    bool endSkip = false;
    const bool referenceValid = CompileReference(mask, elements, endSkip) <= 30;
    if (referenceValid != valid) {
      Fail("mask " + Escaped(mask) + (valid ? " compiles" : " is refused") +
           " against the limit of 30 star runs");
    }
    if (valid && ReferenceMatches(elements, endSkip, name) != matches) {
      Fail("mask " + Escaped(mask) + (matches ? " matches " : " does not match ") + Escaped(name) +
           ", unlike the reference");
    }
  }
  return 0;
}
