#pragma once
// The XML document under the configuration store and the playlist file: loaded whole from
// its file, declared as GB2312, and written back whole, atomically, when it was modified.

#include <stdexcept>
#include <string>

struct _xmlDoc;
struct _xmlNode;

namespace vemro {

class TXmlError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
// The file exists but is not well-formed XML (or cannot be read).
class TXmlParseError : public TXmlError {
public:
  using TXmlError::TXmlError;
};
// A value in the document does not convert to what it must be.
class TXmlConversionError : public TXmlError {
public:
  using TXmlError::TXmlError;
};
// Writing the file failed; the old file is untouched and the document stays modified.
class TXmlSaveError : public TXmlError {
public:
  using TXmlError::TXmlError;
};

using TXmlNode = _xmlNode*;

class TXmlDocument {
public:
  // Loads FileName when it exists, else starts a document with one root element RootName.
  // An empty FileName gives a document that never touches a file. Throws TXmlParseError.
  TXmlDocument(const std::string& FileName, const std::string& RootName);
  // Saves a modified document; a failure is swallowed here, so callers that must know
  // whether it reached the disk call Save() first.
  ~TXmlDocument();
  TXmlDocument(const TXmlDocument&) = delete;
  TXmlDocument& operator=(const TXmlDocument&) = delete;

  TXmlNode Root() const;
  // The first child element named Name, or nullptr.
  static TXmlNode FirstChild(TXmlNode Parent, const std::string& Name);
  // A new last child element, indented by two spaces per level when saved. Throws
  // std::invalid_argument for a name XML cannot hold.
  static TXmlNode AppendChild(TXmlNode Parent, const std::string& Name);
  // Follows Path ("Window/PLAY") from the root by first children of those names; with
  // Create, appends what is missing, else returns nullptr for it.
  TXmlNode Find(const std::string& Path, bool Create) const;
  // Empty when absent.
  static std::string Attribute(TXmlNode Node, const std::string& Name);
  static bool HasAttribute(TXmlNode Node, const std::string& Name);
  static void SetAttribute(TXmlNode Node, const std::string& Name, const std::string& Value);
  // The quick form for a new element: Name must be a valid name the element does not have yet.
  static void AddAttribute(TXmlNode Node, const char* Name, const std::string& Value);
  // The element's own text (its text children, not those of its child elements).
  static std::string Text(TXmlNode Node);
  static void SetText(TXmlNode Node, const std::string& Value);
  // Removes every child node.
  static void RemoveChildren(TXmlNode Node);

  void MarkModified() { FModified = true; }
  bool Modified() const { return FModified; }
  // Forgets that the document was changed, so that neither Save nor the destructor writes it.
  void DiscardChanges() { FModified = false; }
  // The bytes Save writes. Throws TXmlSaveError when the text cannot be encoded.
  std::string Bytes() const;
  // Writes the document when it is modified and has a file name. Throws TXmlSaveError.
  void Save();

private:
  std::string FFileName;
  bool FModified = false;
  _xmlDoc* FDocument = nullptr;
};

}  // namespace vemro
