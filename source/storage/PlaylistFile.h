#pragma once
// The playlist document: a list element ("PlayerList") below the root holding one element
// per entry, with the attributes Path, Title, Artist, Url and Ltime.
// Used briefly: create on the file, then either load the items or rewrite the list.

#include "storage/XmlDocument.h"

#include <cstdint>
#include <deque>
#include <string>

namespace vemro {

struct TPList {
  std::string Title;
  std::string Artist;
  std::string Path;
  std::string Url;  // carried through
  double Ltime = 0;  // carried through
};

class TPlaylistFile {
public:
  // As TXmlConfig: loads FileName when it exists (TXmlParseError when it is not
  // well-formed), else starts a document with root RootName.
  TPlaylistFile(const std::string& FileName, const std::string& RootName);

  // Appends one record per child element of the root's first ListName element, in order.
  // Throws TXmlConversionError at an entry whose Ltime is absent or not a number; the
  // records before it stay.
  void LoadItems(const std::string& ListName);
  // Empties the root's first ListName element, if any; marks the document modified.
  void ClearList(const std::string& ListName);
  // Appends a new element at NodePath ("PlayerList/LIST": the first PlayerList, created
  // when missing, gets a new LIST after the others).
  void AddItem(const std::string& NodePath, const std::string& Title, const std::string& Artist,
               const std::string& Url, const std::string& Path, double Ltime);

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  // nullptr outside 0 .. Count() - 1. Stays valid until ClearItems.
  const TPList* Items(int32_t Index) const;
  void ClearItems() { FItems.clear(); }

  bool Modified() const { return FDocument.Modified(); }
  // As TXmlConfig::Save.
  void Save() { FDocument.Save(); }

private:
  std::deque<TPList> FItems;
  TXmlDocument FDocument;
};

}  // namespace vemro
