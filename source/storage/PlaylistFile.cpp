#include "storage/PlaylistFile.h"

#include <libxml/tree.h>

#include <charconv>

namespace vemro {
namespace {

double ToLtime(TXmlNode Entry) {
  const std::string Text = TXmlDocument::Attribute(Entry, "Ltime");
  double Value = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Text.empty() || Error != std::errc() || End != Text.data() + Text.size())
    throw TXmlConversionError("entry " + TXmlDocument::Attribute(Entry, "Path") + ": Ltime \"" + Text +
                              "\" is not a number");
  return Value;
}

std::string LtimeText(double Ltime) {
  char Buffer[32];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Ltime);
  return std::string(Buffer, Result.ptr);
}

}  // namespace

TPlaylistFile::TPlaylistFile(const std::string& FileName, const std::string& RootName)
    : FDocument(FileName, RootName) {}

void TPlaylistFile::LoadItems(const std::string& ListName) {
  const TXmlNode List = TXmlDocument::FirstChild(FDocument.Root(), ListName);
  if (!List) return;
  for (TXmlNode Entry = List->children; Entry; Entry = Entry->next) {
    if (Entry->type != XML_ELEMENT_NODE) continue;  // comments and stray text are no entries
    const double Ltime = ToLtime(Entry);
    FItems.push_back({TXmlDocument::Attribute(Entry, "Title"), TXmlDocument::Attribute(Entry, "Artist"),
                      TXmlDocument::Attribute(Entry, "Path"), TXmlDocument::Attribute(Entry, "Url"), Ltime});
  }
}

void TPlaylistFile::ClearList(const std::string& ListName) {
  if (const TXmlNode List = TXmlDocument::FirstChild(FDocument.Root(), ListName))
    TXmlDocument::RemoveChildren(List);
  FDocument.MarkModified();
}

void TPlaylistFile::AddItem(const std::string& NodePath, const std::string& Title, const std::string& Artist,
                            const std::string& Url, const std::string& Path, double Ltime) {
  const size_t Slash = NodePath.rfind('/');
  const TXmlNode Parent = Slash == std::string::npos ? FDocument.Root() : FDocument.Find(NodePath.substr(0, Slash), true);
  const TXmlNode Entry = TXmlDocument::AppendChild(Parent, NodePath.substr(Slash + 1));
  TXmlDocument::AddAttribute(Entry, "Path", Path);
  TXmlDocument::AddAttribute(Entry, "Title", Title);
  TXmlDocument::AddAttribute(Entry, "Artist", Artist);
  TXmlDocument::AddAttribute(Entry, "Url", Url);
  TXmlDocument::AddAttribute(Entry, "Ltime", LtimeText(Ltime));
  FDocument.MarkModified();
}

const TPList* TPlaylistFile::Items(int32_t Index) const {
  return Index >= 0 && Index < Count() ? &FItems[static_cast<size_t>(Index)] : nullptr;
}

}  // namespace vemro
