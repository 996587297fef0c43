// An in-memory store of named, typed values grouped in nested folders. It knows no file format:
// a backend derived from it supplies the four persistence operations.
//
// Names are compared without regard to ASCII case and keep their first 32 characters (UTF-8
// code points). A path is names joined by single backslashes: "a\b" is entry b in folder a.
// Every failure throws std::runtime_error whose what() is the user-facing message; a failed
// operation leaves the entries as they were.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

enum class TDataType : std::uint8_t { dtInteger, dtFloat, dtString, dtStringList, dtFolder };

class TBaseDataSaver {
 public:
  // The number of characters of a name an entry keeps.
  static constexpr std::size_t kMaxNameLength = 32;

  TBaseDataSaver();
  virtual ~TBaseDataSaver();
  TBaseDataSaver(const TBaseDataSaver&) = delete;
  TBaseDataSaver& operator=(const TBaseDataSaver&) = delete;

  // Direct operations act on one name in this store; a name holding a backslash is refused
  // with "Invalid name \"%s\"". A get of an absent name returns the default; a get or set of
  // an entry of another type throws the operation's own message (see the .cpp).
  std::int32_t GetInteger(const std::string& name, std::int32_t defaultValue) const;
  double GetFloat(const std::string& name, double defaultValue) const;
  std::string GetString(const std::string& name, const std::string& defaultValue) const;
  // Returns false and leaves `list` untouched when the name is absent; otherwise replaces the
  // contents of `list` with the stored items and returns true.
  bool GetStringList(const std::string& name, std::vector<std::string>& list) const;
  void SetInteger(const std::string& name, std::int32_t value);
  void SetFloat(const std::string& name, double value);
  void SetString(const std::string& name, const std::string& value);
  void SetStringList(const std::string& name, const std::vector<std::string>& list);

  // Path operations. A read resolves the folder part without creating anything and returns
  // the default (for lists: false, list untouched) when a folder is missing. A write creates
  // missing folders and throws "Cannot write \"%s\"" (the whole path) when a name of the folder
  // part is taken by an entry that is not a folder. A path that begins with a backslash, holds
  // two in a row or holds a colon is refused with "Invalid name \"%s\"".
  std::int32_t ReadInteger(const std::string& path, std::int32_t defaultValue) const;
  double ReadFloat(const std::string& path, double defaultValue) const;
  std::string ReadString(const std::string& path, const std::string& defaultValue) const;
  bool ReadStringList(const std::string& path, std::vector<std::string>& list) const;
  void WriteInteger(const std::string& path, std::int32_t value);
  void WriteFloat(const std::string& path, double value);
  void WriteString(const std::string& path, const std::string& value);
  void WriteStringList(const std::string& path, const std::vector<std::string>& list);

  // Creates a folder entry and returns its store, owned by this store and alive until Clear or
  // destruction. A taken name throws "String list does not allow duplicates".
  TBaseDataSaver* AddFolder(const std::string& name);
  // Returns the store at the folder path (one trailing separator ignored; "" is this store), or
  // nullptr when a name is missing or not a folder. Creates nothing.
  TBaseDataSaver* FindFolder(const std::string& path);
  const TBaseDataSaver* FindFolder(const std::string& path) const;

  // Entries directly in this store, in case-insensitive name order. An index outside
  // 0..Count()-1 throws "List index out of bounds (%d)".
  int Count() const;
  std::string EntryName(int index) const;
  TDataType EntryType(int index) const;

  // The kept names of the folders from the root down to this store, joined by backslashes;
  // empty for the root.
  std::string FolderPath() const;
  // The store that holds this one as a folder; nullptr for the root.
  TBaseDataSaver* Parent() const { return parent_; }

  const std::string& FileName() const { return fileName_; }
  // Sets the file name of this store and of every folder store below it.
  void SetFileName(const std::string& fileName);

  // Releases every entry.
  void Clear();

  // Persistence, supplied by the backend; each returns true on full success.
  virtual bool SaveToFile() = 0;
  virtual bool LoadFromFile() = 0;
  virtual bool SaveToStream(std::ostream& stream) = 0;
  virtual bool LoadFromStream(std::istream& stream) = 0;

 protected:
  // Returns a new, empty store of the backend's own class for a folder entry.
  virtual std::unique_ptr<TBaseDataSaver> NewFolderStore() const = 0;
  // Lets a backend refuse a name it cannot represent, by throwing; called with the kept name
  // before an entry is created. The default accepts every name.
  virtual void CheckNewEntry(const std::string& keptName, TDataType type) const;
  // Creates an entry of the given type with an empty value (a new child store for a folder).
  // Throws "Invalid name \"%s\"" or "String list does not allow duplicates".
  void AddEntry(const std::string& name, TDataType type);
  // The child store of the folder entry at `index`, or nullptr when it is not a folder.
  TBaseDataSaver* FolderAt(int index) const;

 private:
  struct Entry {
    std::string name;  // the kept name
    TDataType type;
    std::int32_t integer = 0;
    double number = 0;
    std::string text;
    std::vector<std::string> list;
    std::unique_ptr<TBaseDataSaver> folder;
  };

  Entry& CreateEntry(const std::string& name, TDataType type);
  const Entry* Find(const std::string& name) const;
  Entry* Find(const std::string& name);
  // Finds the entry of `name` for a set: creates it when absent, throws `wrongType` + name when
  // it holds another type.
  Entry& EntryForSet(const std::string& name, TDataType type, const char* wrongType);
  const Entry& EntryAt(int index) const;
  // Walks a folder path that has already lost its one trailing separator ("" is this store).
  const TBaseDataSaver* ResolveFolder(const std::string& trimmed) const;
  TBaseDataSaver* ResolveFolderCreating(const std::string& trimmed);
  // Splits a checked path into its folder part and last name, then resolves the folder part.
  const TBaseDataSaver* ReadTarget(const std::string& path, std::string& name) const;
  TBaseDataSaver* WriteTarget(const std::string& path, std::string& name);

  // Keyed by the case-folded kept name, so iteration is name order.
  std::map<std::string, std::unique_ptr<Entry>> entries_;
  mutable std::vector<Entry*> order_;  // entries_ by index; rebuilt when stale
  mutable bool orderStale_ = false;
  std::string fileName_;
  TBaseDataSaver* parent_ = nullptr;
  const Entry* ownEntry_ = nullptr;
};

}  // namespace vantrel
