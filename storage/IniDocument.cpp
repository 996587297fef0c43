#include "storage/IniDocument.h"

#include "storage/NameRules.h"

namespace vantrel {

IniDocument::IniDocument(std::string_view text) {
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    text = text.substr(0, nul);
  }
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    std::string_view raw = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    if (end == std::string_view::npos) {
      pos = text.size();
    } else {
      pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    const std::string_view line = TrimControls(raw);
    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const std::string name(TrimControls(line.substr(1, line.size() - 2)));
      sections_.push_back(Section{name, {}, {}});
      lastSection_[FoldName(name)] = sections_.size() - 1;
      current = &sections_.back();
      continue;
    }
    if (current == nullptr) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      AddLine(*current, IniLine{std::string(), std::string(line), false});
    } else {
      AddLine(*current, IniLine{std::string(TrimControls(line.substr(0, equals))),
                                std::string(TrimControls(line.substr(equals + 1))), true});
    }
  }
}

void IniDocument::AddLine(Section& section, IniLine line) {
  if (line.hasEquals) section.lastKeyLine[FoldName(line.key)] = section.lines.size();
  section.lines.push_back(std::move(line));
}

const IniDocument::Section* IniDocument::Find(std::string_view section) const {
  const auto it = lastSection_.find(FoldName(section));
  return it == lastSection_.end() ? nullptr : &sections_[it->second];
}

IniDocument::Section& IniDocument::FindOrAppend(std::string_view section) {
  const std::string folded = FoldName(section);
  const auto it = lastSection_.find(folded);
  if (it != lastSection_.end()) return sections_[it->second];
  sections_.push_back(Section{std::string(section), {}, {}});
  lastSection_.emplace(folded, sections_.size() - 1);
  return sections_.back();
}

const std::vector<IniLine>* IniDocument::SectionLines(std::string_view section) const {
  const Section* found = Find(section);
  return found == nullptr ? nullptr : &found->lines;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    const std::string& defaultValue) const {
  const Section* found = Find(section);
  if (found == nullptr) return defaultValue;
  const auto it = found->lastKeyLine.find(FoldName(key));
  return it == found->lastKeyLine.end() ? defaultValue : found->lines[it->second].value;
}

void IniDocument::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  Section& target = FindOrAppend(section);
  const auto it = target.lastKeyLine.find(FoldName(key));
  if (it != target.lastKeyLine.end()) {
    target.lines[it->second].value = value;
  } else {
    AddLine(target, IniLine{std::string(key), std::string(value), true});
  }
}

void IniDocument::Clear() {
  sections_.clear();
  lastSection_.clear();
}

std::string IniDocument::Text() const {
  std::string text;
  for (const Section& section : sections_) {
    text += '[';
    text += section.name;
    text += "]\r\n";
    for (const IniLine& line : section.lines) {
      if (line.hasEquals) {
        text += line.key;
        text += '=';
      }
      text += line.value;
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

}  // namespace vantrel
