// TAGS_Read over TagLib. Old Chinese MP3s carry GBK bytes in frames declared
// Latin-1; those are decoded as GBK when they are valid GBK and not plausible Latin-1.

#include "audio/Bass.h"
#include "audio/Library.h"
#include "function/TextEncoding.h"

#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/textidentificationframe.h>

#include <cstring>
#include <string>

namespace vemro {
namespace {

// Latin-1 text keeps its accented letters apart, between ASCII ones; GBK text is
// pairs of high bytes.
bool PlausibleLatin1(const std::string& Bytes) {
  for (size_t I = 0; I < Bytes.size(); ++I) {
    const auto B = static_cast<unsigned char>(Bytes[I]);
    if (B < 0x80) continue;
    const bool Letter = B >= 0xC0 && B != 0xD7 && B != 0xF7;
    const bool NextHigh = I + 1 < Bytes.size() && static_cast<unsigned char>(Bytes[I + 1]) >= 0x80;
    if (!Letter || NextHigh) return false;
  }
  return true;
}

std::string FromLatin1Field(const TagLib::String& Text) {
  const std::string Bytes = Text.to8Bit(false);
  const bool HasHighBytes = std::any_of(Bytes.begin(), Bytes.end(), [](char C) { return C & 0x80; });
  if (HasHighBytes && IsValidGbk(Bytes) && !PlausibleLatin1(Bytes)) return GbkToUtf8(Bytes);
  return Text.to8Bit(true);
}

// A field stored as Latin-1 bytes: every character fits a byte.
bool Latin1Range(const TagLib::String& Text) {
  for (auto C : Text)
    if (C > 0xFF) return false;
  return true;
}

std::string Id3v2Field(const TagLib::ID3v2::Tag& Tag, const char* FrameId) {
  const auto& Frames = Tag.frameListMap()[FrameId];
  if (Frames.isEmpty()) return {};
  const auto* Frame = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(Frames.front());
  if (!Frame) return Frames.front()->toString().to8Bit(true);
  if (Frame->textEncoding() == TagLib::String::Latin1) return FromLatin1Field(Frame->toString());
  return Frame->toString().to8Bit(true);
}

std::string Field(const TagLib::Tag& Tag, const std::string& Format) {
  if (Format == "%TITL") return Tag.title().to8Bit(true);
  if (Format == "%ARTI") return Tag.artist().to8Bit(true);
  if (Format == "%ALBM") return Tag.album().to8Bit(true);
  if (Format == "%GNRE") return Tag.genre().to8Bit(true);
  if (Format == "%CMNT") return Tag.comment().to8Bit(true);
  if (Format == "%YEAR") return Tag.year() ? std::to_string(Tag.year()) : "";
  if (Format == "%TRCK") return Tag.track() ? std::to_string(Tag.track()) : "";
  return {};
}

const char* Id3v2FrameOf(const std::string& Format) {
  if (Format == "%TITL") return "TIT2";
  if (Format == "%ARTI") return "TPE1";
  if (Format == "%ALBM") return "TALB";
  if (Format == "%GNRE") return "TCON";
  return nullptr;
}

std::string ReadTag(const std::string& FileName, const std::string& Format) {
  TagLib::FileRef Ref(FileName.c_str(), false);
  if (Ref.isNull() || !Ref.tag()) return {};
  if (auto* Mpeg = dynamic_cast<TagLib::MPEG::File*>(Ref.file())) {
    const char* FrameId = Id3v2FrameOf(Format);
    if (FrameId && Mpeg->hasID3v2Tag()) {
      std::string Text = Id3v2Field(*Mpeg->ID3v2Tag(), FrameId);
      if (!Text.empty()) return Text;
    }
    if (Mpeg->hasID3v1Tag()) {
      // ID3v1 has no encoding field: its bytes are whatever the tagger's code page was.
      const std::string Text = Field(*Mpeg->ID3v1Tag(), Format);
      if (!Text.empty() && Format != "%YEAR" && Format != "%TRCK") {
        const TagLib::String Raw = TagLib::String(Text, TagLib::String::UTF8);
        return Latin1Range(Raw) ? FromLatin1Field(Raw) : Text;
      }
      return Text;
    }
  }
  return Field(*Ref.tag(), Format);
}

}  // namespace

const char* TAGS_Read(DWORD Handle, const char* Format) {
  thread_local std::string Result;
  Result.clear();
  const std::string FileName = audio::StreamFileName(Handle);
  if (!FileName.empty() && Format) Result = ReadTag(FileName, Format);
  return Result.c_str();
}

}  // namespace vemro
