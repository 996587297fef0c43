// The INI backend of the value store: the whole store tree as one text of sections.
//
// Every store has a section ("Root" for the root, else its FolderPath); every entry is one
// line key=TAG|value (INTEGER, FLOAT, STRING with the text in quotation marks, STRINGLIST,
// FOLDER); every list with items has its own section, the store's FolderPath, a backslash and
// the list's name, holding s1=..., s2=... Lines end in CR LF.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "storage/basesaver.h"

namespace vantrel {

class IniDocument;

class tinidatasaver : public TBaseDataSaver {
 public:
  // Saving and loading descend folder by folder; this bounds how deep (and so how much stack)
  // a tree may go, whatever a file holds.
  static constexpr int kMaxFolderDepth = 100;

  tinidatasaver();
  ~tinidatasaver() override;

  // Writes the tree to FileName(), replacing the file whole and only when everything is ready
  // (see ReplaceValueFile). Returns false when an entry was skipped with a message. Throws
  // "Cannot save \"%s\": the value holds a line break" when a text or list item holds CR or LF,
  // "Cannot open file ..." when an existing file cannot be opened, "Cannot create file ..."
  // when the file cannot be written; nothing is written then.
  bool SaveToFile() override;
  // Reads FileName() into the tree; entries already there stay unless the file names them.
  // A missing file reads as empty. Returns false when a key was skipped with a message
  // ("Unknown type '...'"). Throws on a malformed value; what was loaded before stays.
  bool LoadFromFile() override;
  // The same text to or from a stream, from its current position. Return false without doing
  // anything on a folder store that its holder has saved or loaded.
  bool SaveToStream(std::ostream& stream) override;
  bool LoadFromStream(std::istream& stream) override;

 protected:
  std::unique_ptr<TBaseDataSaver> NewFolderStore() const override;
  // Refuses names the text cannot hold: a colon (read back as a path separator), a line
  // break, an empty folder name, and a top-level folder named Root (its section would be the
  // root's own); and a folder more than kMaxFolderDepth levels below the root.
  void CheckNewEntry(const std::string& keptName, TDataType type) const override;

 private:
  std::string SectionName() const;
  // Hands the document to a folder store for one nested save or load.
  bool RunNested(TBaseDataSaver* folder, bool save);

  IniDocument* iniDoc_ = nullptr;  // borrowed during a save or load
  int depth_ = 0;                  // 0 for the store whose operation owns the document
  bool streamMode_ = false;
};

}  // namespace vantrel
