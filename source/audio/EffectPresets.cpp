#include "audio/EffectPresets.h"

#include "function/TextEncoding.h"

#include <libxml/xmlreader.h>

#include <charconv>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

namespace vemro {
namespace {

struct TTag {
  std::function<std::optional<std::string>(const char*)> Attribute;  // nullopt when absent
};

// Calls OnTag for every "eq" start or end tag in file order until it returns false
// or the document ends or breaks. False when the file cannot be read.
bool ScanEqTags(const std::string& FileName, const std::function<bool(const TTag&)>& OnTag) {
  std::ifstream File(FileName, std::ios::binary);
  if (!File) return false;
  // The bytes decide their encoding (a mark, else UTF-8, else GB18030), whatever the
  // declaration names, so the reader gets UTF-8.
  std::string Text = DecodeTextBytes(std::string(std::istreambuf_iterator<char>(File), {}));
  // The declaration's encoding no longer holds for the decoded text.
  if (const size_t End = Text.find("?>"); Text.starts_with("<?xml") && End != std::string::npos) Text.erase(0, End + 2);
  xmlTextReaderPtr Reader = xmlReaderForMemory(Text.data(), static_cast<int>(Text.size()), nullptr, "UTF-8",
                                               XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!Reader) return false;
  while (xmlTextReaderRead(Reader) == 1) {
    const int Type = xmlTextReaderNodeType(Reader);
    if (Type != XML_READER_TYPE_ELEMENT && Type != XML_READER_TYPE_END_ELEMENT) continue;
    const xmlChar* Name = xmlTextReaderConstName(Reader);
    if (!Name || xmlStrcasecmp(Name, BAD_CAST "eq") != 0) continue;
    const bool Start = Type == XML_READER_TYPE_ELEMENT;
    const TTag Tag{[&](const char* Attribute) -> std::optional<std::string> {
      if (!Start) return std::nullopt;
      xmlChar* Value = xmlTextReaderGetAttribute(Reader, BAD_CAST Attribute);
      if (!Value) return std::nullopt;
      std::string Result(reinterpret_cast<const char*>(Value));
      xmlFree(Value);
      return Result;
    }};
    if (!OnTag(Tag)) break;
  }
  xmlFreeTextReader(Reader);
  return true;
}

std::optional<int32_t> ToInteger(const std::optional<std::string>& Text) {
  if (!Text || Text->empty()) return std::nullopt;
  int32_t Value = 0;
  const char* End = Text->data() + Text->size();
  const char* Begin = Text->data() + (Text->front() == '+' ? 1 : 0);
  const auto [Stop, Error] = std::from_chars(Begin, End, Value);
  if (Error != std::errc() || Stop != End) return std::nullopt;
  return Value;
}

}  // namespace

TEffectPresets::TEffectPresets(TAudioEngine& Engine, std::string FileName)
    : FEngine(Engine), FFileName(std::move(FileName)) {}

std::vector<std::string> TEffectPresets::LoadEffectPresets() const {
  std::vector<std::string> Names;
  ScanEqTags(FFileName, [&](const TTag& Tag) {
    Names.push_back(Tag.Attribute("name").value_or(""));
    return true;
  });
  return Names;
}

TPresetResult TEffectPresets::ApplyEffectPreset(int32_t Id, bool Enable) {
  if (!Enable) {
    FEngine.ResetEqualizer();
    return TPresetResult::Reset;
  }
  TPresetResult Result = TPresetResult::NotFound;
  ScanEqTags(FFileName, [&](const TTag& Tag) {
    const auto TagId = ToInteger(Tag.Attribute("id"));
    if (!TagId) {
      Result = TPresetResult::ConversionError;
      return false;
    }
    if (*TagId != Id) return true;
    TEqGains Gains{};
    for (size_t Band = 0; Band < Gains.size(); ++Band) {
      const auto Gain = ToInteger(Tag.Attribute(("q" + std::to_string(Band + 1)).c_str()));
      if (!Gain) {
        Result = TPresetResult::ConversionError;
        return false;
      }
      Gains[Band] = *Gain;
    }
    FEngine.SetEqualizer(Gains);
    Result = TPresetResult::Applied;
    return true;  // a later preset with the same id wins
  });
  return Result;
}

}  // namespace vemro
