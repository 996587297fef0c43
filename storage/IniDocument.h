// An in-memory INI document: sections of key=value lines, read from and written to text.
//
// Reading: lines end at CR LF, a lone CR or a lone LF, and a NUL ends the text; each line is
// trimmed of bytes 0-32; empty lines and lines beginning with ';' are skipped; "[name]" opens a
// section (lines before the first are skipped); a line with '=' is a key line (key and value
// trimmed), a line without one is kept as a line with no key. Section names and keys are found
// without regard to ASCII case; of two sections with one name, the later is found; of two key
// lines with one key, reading gives the later line's value.
//
// Writing: each section as "[name]", its lines, and an empty line, every line ending in CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantrel {

struct IniLine {
  std::string key;    // empty for a line without '='
  std::string value;  // for a line without '=', the whole line
  bool hasEquals = true;
};

class IniDocument {
 public:
  IniDocument() = default;
  // Builds the document from text by the reading rules.
  explicit IniDocument(std::string_view text);

  // Returns the lines of the section found under `section`, in line order, or nullptr when
  // there is none. The pointer stays valid until the document is next changed.
  const std::vector<IniLine>* SectionLines(std::string_view section) const;

  // Returns the value of the last key line of `key` in `section`; `defaultValue` when the
  // section or the key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& defaultValue) const;

  // Replaces the value of the last key line of `key` in `section`, or appends a line
  // key=value to the section, appending the section at the end when it is missing.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // Removes every section.
  void Clear();

  // Returns the text of the document by the writing rules; empty when it has no sections.
  std::string Text() const;

 private:
  struct Section {
    std::string name;
    std::vector<IniLine> lines;
    std::unordered_map<std::string, std::size_t> lastKeyLine;  // folded key -> line index
  };

  const Section* Find(std::string_view section) const;
  Section& FindOrAppend(std::string_view section);
  static void AddLine(Section& section, IniLine line);

  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> lastSection_;  // folded name -> index
};

}  // namespace vantrel
