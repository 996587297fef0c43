#include "storage/inisaver.h"

#include <istream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "common/MessageHook.h"
#include "common/QuotedList.h"
#include "storage/FileAccess.h"
#include "storage/FloatText.h"
#include "storage/IniDocument.h"
#include "storage/NameRules.h"

namespace vantrel {
namespace {

const std::string& Field(const std::vector<std::string>& fields, std::size_t index) {
  if (index >= fields.size()) {
    throw std::runtime_error("List index out of bounds (" + std::to_string(index) + ")");
  }
  return fields[index];
}

std::string Quoted(const std::string& text) {
  std::string result = "\"";
  for (char c : text) {
    if (c == '"') result += '"';
    result += c;
  }
  result += '"';
  return result;
}

void CheckNoLineBreak(const std::string& text, const std::string& name) {
  if (text.find_first_of("\r\n") != std::string::npos) {
    throw std::runtime_error("Cannot save \"" + name + "\": the value holds a line break");
  }
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Sets a flag for the length of a scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

// Lends a document to a store for the length of a scope.
class DocumentLoan {
 public:
  DocumentLoan(IniDocument*& slot, IniDocument* document) : slot_(slot) { slot_ = document; }
  ~DocumentLoan() { slot_ = nullptr; }
  DocumentLoan(const DocumentLoan&) = delete;
  DocumentLoan& operator=(const DocumentLoan&) = delete;

 private:
  IniDocument*& slot_;
};

}  // namespace

tinidatasaver::tinidatasaver() = default;
tinidatasaver::~tinidatasaver() = default;

std::unique_ptr<TBaseDataSaver> tinidatasaver::NewFolderStore() const {
  return std::make_unique<tinidatasaver>();
}

void tinidatasaver::CheckNewEntry(const std::string& keptName, TDataType type) const {
  bool refused = keptName.find_first_of(":\r\n") != std::string::npos;
  if (type == TDataType::dtFolder) {
    int depth = 1;
    for (const TBaseDataSaver* store = Parent(); store != nullptr; store = store->Parent()) {
      ++depth;
    }
    refused = refused || keptName.empty() || depth > kMaxFolderDepth ||
              (Parent() == nullptr && FoldName(keptName) == "root");
  }
  if (refused) throw std::runtime_error("Invalid name \"" + keptName + "\"");
}

std::string tinidatasaver::SectionName() const {
  return Parent() == nullptr ? std::string("Root") : FolderPath();
}

bool tinidatasaver::RunNested(TBaseDataSaver* folder, bool save) {
  auto* nested = dynamic_cast<tinidatasaver*>(folder);
  if (nested == nullptr) return false;
  nested->depth_ = depth_ + 1;
  DocumentLoan loan(nested->iniDoc_, iniDoc_);
  return save ? nested->SaveToFile() : nested->LoadFromFile();
}

bool tinidatasaver::SaveToFile() {
  bool result = true;
  std::unique_ptr<IniDocument> owned;
  std::unique_ptr<DocumentLoan> loan;
  if (depth_ == 0 && !streamMode_) {
    CheckValueFileReadable(FileName());
    owned = std::make_unique<IniDocument>();
    loan = std::make_unique<DocumentLoan>(iniDoc_, owned.get());
  }
  if (iniDoc_ == nullptr) return false;
  IniDocument& doc = *iniDoc_;

  const std::string section = SectionName();
  const std::string listPrefix = FolderPath() + "\\";
  for (int i = 0; i < Count(); ++i) {
    const std::string name = EntryName(i);
    switch (EntryType(i)) {
      case TDataType::dtInteger:
        doc.WriteString(section, name, "INTEGER|" + std::to_string(GetInteger(name, 0)));
        break;
      case TDataType::dtFloat:
        doc.WriteString(section, name,
                        "FLOAT|" + FormatFloat(GetFloat(name, 0), DecimalSeparator()));
        break;
      case TDataType::dtString: {
        const std::string text = GetString(name, std::string());
        CheckNoLineBreak(text, name);
        doc.WriteString(section, name, "STRING|" + Quoted(text));
        break;
      }
      case TDataType::dtStringList: {
        doc.WriteString(section, name, "STRINGLIST");
        std::vector<std::string> items;
        GetStringList(name, items);
        for (std::size_t k = 0; k < items.size(); ++k) {
          CheckNoLineBreak(items[k], name);
          // Built in two steps: GCC 12 at -O3 warns falsely (-Wrestrict) on "s" + string.
          std::string key = "s";
          key += std::to_string(k + 1);
          doc.WriteString(listPrefix + name, key, items[k]);
        }
        break;
      }
      case TDataType::dtFolder:
        doc.WriteString(section, name, "FOLDER");
        RunNested(FolderAt(i), true);
        break;
      default:
        ShowMessage("Unknown vaiable type \"" + name + "\"");
        result = false;
        break;
    }
  }

  if (owned) ReplaceValueFile(FileName(), doc.Text());
  return result;
}

bool tinidatasaver::LoadFromFile() {
  bool result = true;
  std::unique_ptr<IniDocument> owned;
  std::unique_ptr<DocumentLoan> loan;
  if (depth_ == 0 && !streamMode_) {
    owned = std::make_unique<IniDocument>(ReadValueFile(FileName()));
    loan = std::make_unique<DocumentLoan>(iniDoc_, owned.get());
  }
  if (iniDoc_ == nullptr) return false;
  const IniDocument& doc = *iniDoc_;

  const std::string section = SectionName();
  const std::vector<IniLine>* lines = doc.SectionLines(section);
  if (lines == nullptr) return result;
  const std::string listPrefix = FolderPath() + "\\";
  for (const IniLine& line : *lines) {
    if (!line.hasEquals) continue;
    const std::string& key = line.key;
    const std::string value = doc.ReadString(section, key, "NONE");
    if (value == "NONE") continue;
    const std::vector<std::string> fields = SplitQuotedList(value, '|', UnclosedQuote::kRaw);
    const std::string tag = Upper(Field(fields, 0));
    if (tag == "INTEGER") {
      const std::string& text = Field(fields, 1);
      const auto number = ParseInteger(text);
      if (!number) throw std::runtime_error("'" + text + "' is not a valid integer value");
      WriteInteger(key, *number);
    } else if (tag == "FLOAT") {
      const std::string& text = Field(fields, 1);
      const auto number = ParseFloat(text, DecimalSeparator());
      if (!number) throw std::runtime_error("'" + text + "' is not a valid floating point value");
      WriteFloat(key, *number);
    } else if (tag == "STRING") {
      WriteString(key, Field(fields, 1));
    } else if (tag == "STRINGLIST") {
      std::vector<std::string> items;
      const std::string listSection = listPrefix + key;
      if (const std::vector<IniLine>* itemLines = doc.SectionLines(listSection)) {
        items.reserve(itemLines->size());
        for (const IniLine& item : *itemLines) {
          items.push_back(doc.ReadString(listSection, item.key, std::string()));
        }
      }
      WriteStringList(key, items);
    } else if (tag == "FOLDER") {
      RunNested(AddFolder(key), false);
    } else {
      ShowMessage("Unknown type '" + fields[0] + "'");
      result = false;
    }
  }
  return result;
}

bool tinidatasaver::SaveToStream(std::ostream& stream) {
  if (depth_ != 0) return false;
  FlagScope streaming(streamMode_);
  IniDocument doc;
  DocumentLoan loan(iniDoc_, &doc);
  const bool result = SaveToFile();
  const std::string text = doc.Text();
  stream.write(text.data(), static_cast<std::streamsize>(text.size()));
  return result;
}

bool tinidatasaver::LoadFromStream(std::istream& stream) {
  if (depth_ != 0) return false;
  FlagScope streaming(streamMode_);
  const std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  IniDocument doc(text);
  DocumentLoan loan(iniDoc_, &doc);
  return LoadFromFile();
}

}  // namespace vantrel
