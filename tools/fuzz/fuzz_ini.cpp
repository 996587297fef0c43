// The INI reader and writer. Two readings of each input:
// - as the text of a damaged or hand-edited project file: loading it must never crash, hang
//   or fail with anything but the store's own error (a std::runtime_error with a message);
//   what loads must save, and the saved text must load again to a store that saves to the same
//   bytes (names that the reader would trim aside);
// - as values: a text, a list, an integer and a number built from the bytes are saved and
//   loaded back unchanged (list items trimmed, numbers to 15 significant digits).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/MessageHook.h"
#include "storage/inisaver.h"
#include "tools/fuzz/FuzzCheck.h"

using vantrel::tinidatasaver;
using vantrel::fuzz::Escaped;
using vantrel::fuzz::Fail;

namespace {

// Loads `text` into a new store and saves it again. Returns false when the load fails.
bool LoadAndSave(const std::string& text, std::string* saved, std::string* error) {
  tinidatasaver store;
  std::istringstream in(text);
  try {
    store.LoadFromStream(in);
  } catch (const std::runtime_error& e) {
    *error = e.what();
    if (error->empty()) Fail("a load fails without a message for " + Escaped(text));
    return false;
  }
  std::ostringstream out;
  try {
    store.SaveToStream(out);
  } catch (const std::runtime_error& e) {
    Fail("a store loaded from " + Escaped(text) + " cannot be saved: " + e.what());
  }
  *saved = out.str();
  return true;
}

bool BlankAtEnd(std::string_view name) {
  return !name.empty() && (static_cast<unsigned char>(name.front()) <= 32 ||
                           static_cast<unsigned char>(name.back()) <= 32);
}

// True when a saved name (a key, or a part of a section's folder path) begins or ends with a
// blank or control character: the reader trims those, so such a name cannot come back as it
// was. Only a hand-made key path ("a\ b") gives one; the project's own keys never do.
bool HoldsNameTheTextCannotHold(const std::string& saved) {
  std::size_t start = 0;
  while (start < saved.size()) {
    std::size_t end = saved.find("\r\n", start);
    if (end == std::string::npos) end = saved.size();
    std::string_view line(saved.data() + start, end - start);
    start = end + 2;
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      std::string_view path = line.substr(1, line.size() - 2);
      for (std::size_t cut; (cut = path.find('\\')) != std::string_view::npos;) {
        if (BlankAtEnd(path.substr(0, cut))) return true;
        path.remove_prefix(cut + 1);
      }
      if (BlankAtEnd(path)) return true;
    } else if (line.front() == ';' || BlankAtEnd(line.substr(0, line.find('=')))) {
      return true;
    }
  }
  return false;
}

void CheckText(const std::string& text) {
  std::string saved[2];
  std::string error;
  if (!LoadAndSave(text, &saved[0], &error) || HoldsNameTheTextCannotHold(saved[0])) return;
  if (!LoadAndSave(saved[0], &saved[1], &error)) {
    Fail("the saved text of " + Escaped(text) + " does not load: " + error +
         "\nsaved: " + Escaped(saved[0]));
  }
  if (saved[1] != saved[0]) {
    Fail("saving what was loaded changes it for " + Escaped(text) + ":\n" + Escaped(saved[0]) +
         "\n" + Escaped(saved[1]));
  }
}

std::string WithoutLineEnds(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (c != '\r' && c != '\n' && c != '\0') out += c;
  }
  return out;
}

std::string Trimmed(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

void CheckValues(std::string_view bytes) {
  std::int32_t integer = 0;
  double number = 0;
  if (bytes.size() >= 12) {
    std::memcpy(&integer, bytes.data(), 4);
    std::memcpy(&number, bytes.data() + 4, 8);
    bytes.remove_prefix(12);
  }
  if (!std::isfinite(number)) number = 0;
  const std::size_t cut = bytes.find('\x01');
  const std::string text = WithoutLineEnds(bytes.substr(0, cut));
  std::vector<std::string> list;
  if (cut != std::string_view::npos) {
    std::string_view rest = bytes.substr(cut + 1);
    for (;;) {
      const std::size_t next = rest.find('\x01');
      list.push_back(WithoutLineEnds(rest.substr(0, next)));
      if (next == std::string_view::npos) break;
      rest.remove_prefix(next + 1);
    }
  }

  tinidatasaver store;
  store.WriteString("text", text);
  store.WriteStringList("list", list);
  store.WriteInteger("integer", integer);
  store.WriteFloat("number", number);
  std::ostringstream out;
  store.SaveToStream(out);
  tinidatasaver back;
  std::istringstream in(out.str());
  try {
    back.LoadFromStream(in);
  } catch (const std::runtime_error& e) {
    Fail(std::string("saved values do not load: ") + e.what() + "\n" + Escaped(out.str()));
  }
  if (back.ReadString("text", "?") != text) {
    Fail("the text " + Escaped(text) + " comes back as " + Escaped(back.ReadString("text", "?")));
  }
  std::vector<std::string> items;
  back.ReadStringList("list", items);
  std::vector<std::string> expected;
  for (const std::string& item : list) expected.push_back(Trimmed(item));
  if (items != expected) {
    Fail("the list " + Escaped(list) + " comes back as " + Escaped(items) + "\n" +
         Escaped(out.str()));
  }
  if (back.ReadInteger("integer", 0) != integer) Fail("an integer changes: " + out.str());
  const double loaded = back.ReadFloat("number", 0);
  if (std::fabs(loaded - number) > 1e-14 * std::fabs(number)) {
    Fail("the number " + std::to_string(number) + " comes back as " + std::to_string(loaded) +
         "\n" + out.str());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vantrel::SetMessageHook([](const std::string&) {});  // "Unknown type" boxes
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckText(std::string(bytes));
  CheckValues(bytes);
  return 0;
}
