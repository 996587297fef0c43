#include "storage/basesaver.h"

#include <optional>
#include <stdexcept>
#include <utility>

#include "common/CoreApi.h"
#include "storage/NameRules.h"

namespace vantrel {
namespace {

[[noreturn]] void Fail(const char* prefix, const std::string& name) {
  throw std::runtime_error(prefix + name + "\"");
}

void CheckName(const std::string& name) {
  if (name.find('\\') != std::string::npos) Fail("Invalid name \"", name);
}

// Path operations also take a colon as a separator, and empty names between separators would
// name folders no file can hold; such paths are refused rather than guessed at.
void CheckPath(const std::string& path) {
  if ((!path.empty() && path.front() == '\\') || path.find("\\\\") != std::string::npos ||
      path.find(':') != std::string::npos) {
    Fail("Invalid name \"", path);
  }
}

// Splits the entry path `path` into the name of the entry (put in `name`) and the path of its
// folder, trimmed; no folder path when the entry is in the store itself.
std::optional<std::string> SplitEntryPath(const std::string& path, std::string& name) {
  CheckPath(path);
  const std::size_t slash = path.rfind('\\');
  if (slash == std::string::npos) {
    name = path;
    return std::nullopt;
  }
  name = path.substr(slash + 1);
  return RemoveTrailingSeparator(path.substr(0, slash), PathStyle::Windows);
}

// Walks the folder path `trimmed` down from `store`, one name at a time through `step` (which
// returns the folder of that name, or nullptr to stop).
template <typename Store, typename Step>
Store* WalkFolders(Store* store, const std::string& trimmed, Step step) {
  if (trimmed.empty()) return store;
  for (std::size_t start = 0;;) {
    const std::size_t end = trimmed.find('\\', start);
    store = step(*store, trimmed.substr(start, end - start));
    if (store == nullptr || end == std::string::npos) return store;
    start = end + 1;
  }
}

}  // namespace

TBaseDataSaver::TBaseDataSaver() = default;
TBaseDataSaver::~TBaseDataSaver() = default;

void TBaseDataSaver::CheckNewEntry(const std::string&, TDataType) const {}

const TBaseDataSaver::Entry* TBaseDataSaver::Find(const std::string& name) const {
  const auto it = entries_.find(FoldName(KeepName(name)));
  return it == entries_.end() ? nullptr : it->second.get();
}

TBaseDataSaver::Entry* TBaseDataSaver::Find(const std::string& name) {
  return const_cast<Entry*>(std::as_const(*this).Find(name));
}

TBaseDataSaver::Entry& TBaseDataSaver::CreateEntry(const std::string& name, TDataType type) {
  CheckName(name);
  std::string kept = KeepName(name);
  std::string key = FoldName(kept);
  if (entries_.count(key) != 0) {
    throw std::runtime_error("String list does not allow duplicates");
  }
  CheckNewEntry(kept, type);
  auto entry = std::make_unique<Entry>();
  entry->name = std::move(kept);
  entry->type = type;
  if (type == TDataType::dtFolder) {
    entry->folder = NewFolderStore();
    entry->folder->fileName_ = fileName_;
    entry->folder->parent_ = this;
    entry->folder->ownEntry_ = entry.get();
  }
  Entry& result = *entry;
  entries_.emplace(std::move(key), std::move(entry));
  orderStale_ = true;
  return result;
}

void TBaseDataSaver::AddEntry(const std::string& name, TDataType type) { CreateEntry(name, type); }

TBaseDataSaver* TBaseDataSaver::AddFolder(const std::string& name) {
  return CreateEntry(name, TDataType::dtFolder).folder.get();
}

TBaseDataSaver::Entry& TBaseDataSaver::EntryForSet(const std::string& name, TDataType type,
                                                   const char* wrongType) {
  CheckName(name);
  Entry* entry = Find(name);
  if (entry == nullptr) return CreateEntry(name, type);
  if (entry->type != type) Fail(wrongType, name);
  return *entry;
}

std::int32_t TBaseDataSaver::GetInteger(const std::string& name, std::int32_t defaultValue) const {
  CheckName(name);
  const Entry* entry = Find(name);
  if (entry == nullptr) return defaultValue;
  if (entry->type != TDataType::dtInteger) Fail("It's not an integer \"", name);
  return entry->integer;
}

double TBaseDataSaver::GetFloat(const std::string& name, double defaultValue) const {
  CheckName(name);
  const Entry* entry = Find(name);
  if (entry == nullptr) return defaultValue;
  if (entry->type != TDataType::dtFloat) Fail("It's not a float \"", name);
  return entry->number;
}

std::string TBaseDataSaver::GetString(const std::string& name,
                                      const std::string& defaultValue) const {
  CheckName(name);
  const Entry* entry = Find(name);
  if (entry == nullptr) return defaultValue;
  if (entry->type != TDataType::dtString) Fail("It's not a string \"", name);
  return entry->text;
}

bool TBaseDataSaver::GetStringList(const std::string& name, std::vector<std::string>& list) const {
  CheckName(name);
  const Entry* entry = Find(name);
  if (entry == nullptr) return false;
  if (entry->type != TDataType::dtStringList) Fail("It's not a string list \"", name);
  list = entry->list;
  return true;
}

void TBaseDataSaver::SetInteger(const std::string& name, std::int32_t value) {
  EntryForSet(name, TDataType::dtInteger, "It's not a integer \"").integer = value;
}

void TBaseDataSaver::SetFloat(const std::string& name, double value) {
  EntryForSet(name, TDataType::dtFloat, "It's not a float \"").number = value;
}

void TBaseDataSaver::SetString(const std::string& name, const std::string& value) {
  EntryForSet(name, TDataType::dtString, "It's not a string \"").text = value;
}

void TBaseDataSaver::SetStringList(const std::string& name, const std::vector<std::string>& list) {
  // Copy first: the caller's list may be one the store handed out earlier.
  std::vector<std::string> copy = list;
  EntryForSet(name, TDataType::dtStringList, "It's not a stringList \"").list = std::move(copy);
}

const TBaseDataSaver* TBaseDataSaver::ResolveFolder(const std::string& trimmed) const {
  return WalkFolders(
      this, trimmed,
      [](const TBaseDataSaver& store, const std::string& name) -> const TBaseDataSaver* {
        const Entry* entry = store.Find(name);
        if (entry == nullptr || entry->type != TDataType::dtFolder) return nullptr;
        return entry->folder.get();
      });
}

TBaseDataSaver* TBaseDataSaver::ResolveFolderCreating(const std::string& trimmed) {
  return WalkFolders(this, trimmed,
                     [](TBaseDataSaver& store, const std::string& name) -> TBaseDataSaver* {
                       Entry* entry = store.Find(name);
                       if (entry == nullptr) entry = &store.CreateEntry(name, TDataType::dtFolder);
                       if (entry->type != TDataType::dtFolder) return nullptr;
                       return entry->folder.get();
                     });
}

TBaseDataSaver* TBaseDataSaver::FindFolder(const std::string& path) {
  return const_cast<TBaseDataSaver*>(std::as_const(*this).FindFolder(path));
}

const TBaseDataSaver* TBaseDataSaver::FindFolder(const std::string& path) const {
  const std::string trimmed = RemoveTrailingSeparator(path, PathStyle::Windows);
  CheckPath(trimmed);
  return ResolveFolder(trimmed);
}

const TBaseDataSaver* TBaseDataSaver::ReadTarget(const std::string& path, std::string& name) const {
  const std::optional<std::string> folder = SplitEntryPath(path, name);
  return folder ? ResolveFolder(*folder) : this;
}

TBaseDataSaver* TBaseDataSaver::WriteTarget(const std::string& path, std::string& name) {
  const std::optional<std::string> folder = SplitEntryPath(path, name);
  if (!folder) return this;
  TBaseDataSaver* store = ResolveFolderCreating(*folder);
  if (store == nullptr) Fail("Cannot write \"", path);
  return store;
}

std::int32_t TBaseDataSaver::ReadInteger(const std::string& path, std::int32_t defaultValue) const {
  std::string name;
  const TBaseDataSaver* store = ReadTarget(path, name);
  return store == nullptr ? defaultValue : store->GetInteger(name, defaultValue);
}

double TBaseDataSaver::ReadFloat(const std::string& path, double defaultValue) const {
  std::string name;
  const TBaseDataSaver* store = ReadTarget(path, name);
  return store == nullptr ? defaultValue : store->GetFloat(name, defaultValue);
}

std::string TBaseDataSaver::ReadString(const std::string& path,
                                       const std::string& defaultValue) const {
  std::string name;
  const TBaseDataSaver* store = ReadTarget(path, name);
  return store == nullptr ? defaultValue : store->GetString(name, defaultValue);
}

bool TBaseDataSaver::ReadStringList(const std::string& path, std::vector<std::string>& list) const {
  std::string name;
  const TBaseDataSaver* store = ReadTarget(path, name);
  return store != nullptr && store->GetStringList(name, list);
}

void TBaseDataSaver::WriteInteger(const std::string& path, std::int32_t value) {
  std::string name;
  WriteTarget(path, name)->SetInteger(name, value);
}

void TBaseDataSaver::WriteFloat(const std::string& path, double value) {
  std::string name;
  WriteTarget(path, name)->SetFloat(name, value);
}

void TBaseDataSaver::WriteString(const std::string& path, const std::string& value) {
  std::string name;
  WriteTarget(path, name)->SetString(name, value);
}

void TBaseDataSaver::WriteStringList(const std::string& path,
                                     const std::vector<std::string>& list) {
  std::string name;
  WriteTarget(path, name)->SetStringList(name, list);
}

int TBaseDataSaver::Count() const { return static_cast<int>(entries_.size()); }

const TBaseDataSaver::Entry& TBaseDataSaver::EntryAt(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::runtime_error("List index out of bounds (" + std::to_string(index) + ")");
  }
  if (orderStale_ || order_.size() != entries_.size()) {
    order_.clear();
    order_.reserve(entries_.size());
    for (const auto& [key, entry] : entries_) order_.push_back(entry.get());
    orderStale_ = false;
  }
  return *order_[static_cast<std::size_t>(index)];
}

std::string TBaseDataSaver::EntryName(int index) const { return EntryAt(index).name; }

TDataType TBaseDataSaver::EntryType(int index) const { return EntryAt(index).type; }

TBaseDataSaver* TBaseDataSaver::FolderAt(int index) const { return EntryAt(index).folder.get(); }

std::string TBaseDataSaver::FolderPath() const {
  std::vector<const std::string*> names;
  for (const TBaseDataSaver* store = this; store->parent_ != nullptr; store = store->parent_) {
    names.push_back(&store->ownEntry_->name);
  }
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (it != names.rbegin()) path += '\\';
    path += **it;
  }
  return path;
}

void TBaseDataSaver::SetFileName(const std::string& fileName) {
  if (fileName == fileName_) return;
  fileName_ = fileName;
  for (const auto& [key, entry] : entries_) {
    if (entry->folder) entry->folder->SetFileName(fileName);
  }
}

void TBaseDataSaver::Clear() {
  entries_.clear();
  order_.clear();
  orderStale_ = false;
}

}  // namespace vantrel
