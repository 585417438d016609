#include "storage/XmlConfig.h"

#include <charconv>

namespace vemro {

TXmlConfig::TXmlConfig(const std::string& FileName, const std::string& RootName)
    : FDocument(FileName, RootName) {}

std::string TXmlConfig::ReadString(const std::string& Path, const std::string& AttrName,
                                   const std::string& Default) const {
  const TXmlNode Node = FDocument.Find(Path, false);
  if (!Node) return Default;
  if (AttrName.empty()) return TXmlDocument::Text(Node);
  const std::string Value = TXmlDocument::Attribute(Node, AttrName);
  return Value.empty() ? Default : Value;
}

int32_t TXmlConfig::ReadInteger(const std::string& Path, const std::string& AttrName, int32_t Default) const {
  const std::string Text = ReadString(Path, AttrName, std::to_string(Default));
  const bool Plus = Text.size() > 1 && Text[0] == '+' && Text[1] >= '0' && Text[1] <= '9';
  const char* First = Text.data() + (Plus ? 1 : 0);
  const char* Last = Text.data() + Text.size();
  int32_t Value = 0;
  const auto [End, Error] = std::from_chars(First, Last, Value);
  return Error == std::errc() && End == Last ? Value : Default;
}

bool TXmlConfig::ReadBool(const std::string& Path, const std::string& AttrName, bool Default) const {
  return (ReadInteger(Path, AttrName, Default ? 1 : 0) & 0xFF) != 0;
}

void TXmlConfig::WriteString(const std::string& Path, const std::string& AttrName, const std::string& Value) {
  const TXmlNode Node = FDocument.Find(Path, true);
  if (AttrName.empty()) TXmlDocument::SetText(Node, Value);
  else TXmlDocument::SetAttribute(Node, AttrName, Value);
  FDocument.MarkModified();
}

void TXmlConfig::WriteInteger(const std::string& Path, const std::string& AttrName, int32_t Value) {
  WriteString(Path, AttrName, std::to_string(Value));
}

void TXmlConfig::WriteBool(const std::string& Path, const std::string& AttrName, bool Value) {
  WriteInteger(Path, AttrName, Value ? 1 : 0);
}

}  // namespace vemro
