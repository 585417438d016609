#include "function/TextEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace vemro {
namespace {

// Length of the UTF-8 sequence starting at Pos, or 0 when it is not a valid one.
size_t Utf8SequenceLength(const std::string& S, size_t Pos) {
  const auto B = [&](size_t I) { return static_cast<unsigned char>(S[I]); };
  const unsigned char Lead = B(Pos);
  if (Lead < 0x80) return 1;
  size_t Len;
  unsigned Min;
  if ((Lead & 0xE0) == 0xC0) { Len = 2; Min = 0x80; }
  else if ((Lead & 0xF0) == 0xE0) { Len = 3; Min = 0x800; }
  else if ((Lead & 0xF8) == 0xF0) { Len = 4; Min = 0x10000; }
  else return 0;
  if (Pos + Len > S.size()) return 0;
  unsigned Code = Lead & (0x7F >> Len);
  for (size_t I = 1; I < Len; ++I) {
    if ((B(Pos + I) & 0xC0) != 0x80) return 0;
    Code = (Code << 6) | (B(Pos + I) & 0x3F);
  }
  if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return 0;
  return Len;
}

class TConverter {
public:
  TConverter(const char* To, const char* From) : FHandle(iconv_open(To, From)) {
    if (FHandle == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("no converter from ") + From + " to " + To);
  }
  ~TConverter() { iconv_close(FHandle); }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;

  // Converts In; on an undecodable input byte calls OnBad (which may append a
  // replacement) and skips one byte, or stops when OnBad returns false.
  template <typename TOnBad>
  bool Convert(const std::string& In, std::string& Out, TOnBad OnBad) {
    iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
    char* Src = const_cast<char*>(In.data());
    size_t SrcLeft = In.size();
    char Buffer[4096];
    while (true) {
      char* Dst = Buffer;
      size_t DstLeft = sizeof Buffer;
      const size_t Result = iconv(FHandle, SrcLeft ? &Src : nullptr, &SrcLeft, &Dst, &DstLeft);
      Out.append(Buffer, static_cast<size_t>(Dst - Buffer));
      if (Result != static_cast<size_t>(-1)) {
        if (SrcLeft == 0) {
          Dst = Buffer;
          DstLeft = sizeof Buffer;
          iconv(FHandle, nullptr, nullptr, &Dst, &DstLeft);
          Out.append(Buffer, static_cast<size_t>(Dst - Buffer));
          return true;
        }
        continue;
      }
      if (errno == E2BIG) continue;
      if (!OnBad(Out)) return false;
      ++Src;
      --SrcLeft;
    }
  }

private:
  iconv_t FHandle;
};

std::string Gb18030ToUtf8(const std::string& Bytes) {
  std::string Out;
  TConverter("UTF-8", "GB18030").Convert(Bytes, Out, [](std::string& O) {
    O += "\xEF\xBF\xBD";
    return true;
  });
  return Out;
}

std::string Utf16ToUtf8(const std::string& Bytes, const char* Encoding) {
  std::string Out;
  TConverter("UTF-8", Encoding).Convert(Bytes, Out, [](std::string& O) {
    O += "\xEF\xBF\xBD";
    return true;
  });
  return Out;
}

}  // namespace

bool IsValidUtf8(const std::string& Bytes) {
  for (size_t Pos = 0; Pos < Bytes.size();) {
    const size_t Len = Utf8SequenceLength(Bytes, Pos);
    if (Len == 0) return false;
    Pos += Len;
  }
  return true;
}

bool IsValidGbk(const std::string& Bytes) {
  for (size_t Pos = 0; Pos < Bytes.size(); ++Pos) {
    const auto Lead = static_cast<unsigned char>(Bytes[Pos]);
    if (Lead < 0x80) continue;
    if (Lead == 0x80 || Lead == 0xFF || Pos + 1 >= Bytes.size()) return false;
    const auto Trail = static_cast<unsigned char>(Bytes[++Pos]);
    if (Trail < 0x40 || Trail == 0x7F || Trail == 0xFF) return false;
  }
  return true;
}

std::string GbkToUtf8(const std::string& Bytes) { return Gb18030ToUtf8(Bytes); }

std::optional<std::string> Utf8ToGbk(const std::string& Utf8) {
  std::string Out;
  if (!TConverter("GBK", "UTF-8").Convert(Utf8, Out, [](std::string&) { return false; }))
    return std::nullopt;
  return Out;
}

std::string Utf8ToGb18030(const std::string& Utf8) {
  std::string Out;
  // Invalid UTF-8 input bytes are dropped: GB18030 has no form for them.
  TConverter("GB18030", "UTF-8").Convert(Utf8, Out, [](std::string&) { return true; });
  return Out;
}

std::string DecodeTextBytes(const std::string& Bytes) {
  if (Bytes.starts_with("\xEF\xBB\xBF")) return Bytes.substr(3);
  if (Bytes.starts_with("\xFF\xFE")) return Utf16ToUtf8(Bytes.substr(2), "UTF-16LE");
  if (Bytes.starts_with("\xFE\xFF")) return Utf16ToUtf8(Bytes.substr(2), "UTF-16BE");
  if (IsValidUtf8(Bytes)) return Bytes;
  return Gb18030ToUtf8(Bytes);
}

std::string CutUtf8(const std::string& Utf8, size_t MaxBytes) {
  if (Utf8.size() <= MaxBytes) return Utf8;
  size_t End = 0;
  while (End < Utf8.size()) {
    const size_t Len = std::max<size_t>(Utf8SequenceLength(Utf8, End), 1);
    if (End + Len > MaxBytes) break;
    End += Len;
  }
  return Utf8.substr(0, End);
}

std::string FirstUtf8Chars(const std::string& Utf8, size_t MaxChars) {
  size_t End = 0;
  for (size_t Count = 0; Count < MaxChars && End < Utf8.size(); ++Count)
    End += std::max<size_t>(Utf8SequenceLength(Utf8, End), 1);
  return Utf8.substr(0, End);
}

}  // namespace vemro
