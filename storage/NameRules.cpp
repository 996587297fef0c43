#include "storage/NameRules.h"

#include "storage/basesaver.h"

namespace vantrel {

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string KeepName(std::string_view name) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const bool continuation = (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80;
    if (!continuation && ++characters > TBaseDataSaver::kMaxNameLength) {
      return std::string(name.substr(0, i));
    }
  }
  return std::string(name);
}

std::string_view TrimControls(std::string_view text) {
  const auto isControl = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && isControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && isControl(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace vantrel
