#pragma once
// A small settings document: a key is a path of elements below the root ("Window/PLAY")
// plus an attribute of the last one ("PATTERN"); an empty attribute name means the
// element's text. Reads fall back to the caller's default; writes create what is missing.
// Used briefly: create on the file, read or write, Save (or let the destructor save).

#include "storage/XmlDocument.h"

#include <cstdint>
#include <string>

namespace vemro {

class TXmlConfig {
public:
  // Loads FileName when it exists (throws TXmlParseError when it is not well-formed), else
  // starts an empty document with root RootName; nothing is written until a save.
  TXmlConfig(const std::string& FileName, const std::string& RootName);

  // Default when the element or attribute is missing or the attribute is empty.
  std::string ReadString(const std::string& Path, const std::string& AttrName, const std::string& Default) const;
  // Default also when the text is not a decimal 32-bit integer.
  int32_t ReadInteger(const std::string& Path, const std::string& AttrName, int32_t Default) const;
  // The low eight bits of the stored integer: "2" is true, "256" false.
  bool ReadBool(const std::string& Path, const std::string& AttrName, bool Default) const;

  void WriteString(const std::string& Path, const std::string& AttrName, const std::string& Value);
  void WriteInteger(const std::string& Path, const std::string& AttrName, int32_t Value);
  void WriteBool(const std::string& Path, const std::string& AttrName, bool Value);

  bool Modified() const { return FDocument.Modified(); }
  // Writes the file when something was written. Throws TXmlSaveError; the store then stays
  // modified and the old file is untouched.
  void Save() { FDocument.Save(); }
  // For a copy of the document without writing it: forget the writes, then take the bytes.
  void DiscardChanges() { FDocument.DiscardChanges(); }
  std::string Bytes() const { return FDocument.Bytes(); }

private:
  TXmlDocument FDocument;
};

}  // namespace vemro
