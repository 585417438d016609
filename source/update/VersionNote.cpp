#include "update/VersionNote.h"

#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

namespace vemro {

namespace {

// Reads the parts of an ELF file that lead to one section, checking every offset
// against the file: the file is input from outside and may be anything.
class TElfReader {
public:
  explicit TElfReader(const std::string& FileName) : FFile(FileName, std::ios::binary) {
    FFile.seekg(0, std::ios::end);
    FSize = FFile ? static_cast<uint64_t>(FFile.tellg()) : 0;
  }

  std::optional<std::vector<unsigned char>> Section(const std::string& Name) {
    std::vector<unsigned char> Ident;
    if (!Read(0, 64, Ident) || std::memcmp(Ident.data(), "\x7f" "ELF", 4) != 0) return {};
    F64 = Ident[4] == 2;
    FBigEndian = Ident[5] == 2;
    if ((Ident[4] != 1 && !F64) || (Ident[5] != 1 && !FBigEndian)) return {};
    const uint64_t SectionsAt = F64 ? Get(Ident, 0x28, 8) : Get(Ident, 0x20, 4);
    const uint64_t EntrySize = Get(Ident, F64 ? 0x3A : 0x2E, 2);
    const uint64_t Count = Get(Ident, F64 ? 0x3C : 0x30, 2);
    const uint64_t NamesIndex = Get(Ident, F64 ? 0x3E : 0x32, 2);
    if (EntrySize < (F64 ? 64u : 40u) || NamesIndex >= Count) return {};
    std::vector<unsigned char> Headers, Names;
    if (!Read(SectionsAt, EntrySize * Count, Headers) ||
        !Read(Offset(Headers, NamesIndex * EntrySize), Size(Headers, NamesIndex * EntrySize), Names))
      return {};
    for (uint64_t Index = 0; Index < Count; ++Index) {
      const uint64_t At = Index * EntrySize;
      const uint64_t NameAt = Get(Headers, At, 4);
      if (NameAt >= Names.size() || Names.size() - NameAt <= Name.size() ||
          std::memcmp(&Names[NameAt], Name.c_str(), Name.size() + 1) != 0)
        continue;
      std::vector<unsigned char> Bytes;
      if (!Read(Offset(Headers, At), Size(Headers, At), Bytes)) return {};
      return Bytes;
    }
    return {};
  }

  // An unsigned integer of Width bytes at At in the file's byte order.
  uint64_t Get(const std::vector<unsigned char>& Bytes, uint64_t At, int Width) const {
    uint64_t Value = 0;
    for (int Index = 0; Index < Width; ++Index) {
      const int Shift = 8 * (FBigEndian ? Width - 1 - Index : Index);
      Value |= static_cast<uint64_t>(Bytes[At + Index]) << Shift;
    }
    return Value;
  }

private:
  // Sections this reader looks at are small; a larger size means a broken file.
  static constexpr uint64_t kMaxRead = 16u << 20;

  uint64_t Offset(const std::vector<unsigned char>& Headers, uint64_t At) const {
    return F64 ? Get(Headers, At + 24, 8) : Get(Headers, At + 16, 4);
  }
  uint64_t Size(const std::vector<unsigned char>& Headers, uint64_t At) const {
    return F64 ? Get(Headers, At + 32, 8) : Get(Headers, At + 20, 4);
  }

  bool Read(uint64_t At, uint64_t Count, std::vector<unsigned char>& Bytes) {
    if (At > FSize || Count > FSize - At || Count > kMaxRead) return false;
    Bytes.resize(Count);
    FFile.clear();
    FFile.seekg(static_cast<std::streamoff>(At));
    FFile.read(reinterpret_cast<char*>(Bytes.data()), static_cast<std::streamsize>(Count));
    return static_cast<bool>(FFile);
  }

  std::ifstream FFile;
  uint64_t FSize = 0;
  bool F64 = false;
  bool FBigEndian = false;
};

uint64_t Align4(uint64_t Value) { return (Value + 3) & ~uint64_t{3}; }

}  // namespace

bool ReadFixedFileInfo(const std::string& FileName, TFixedFileInfo& Info) {
  TElfReader Reader(FileName);
  const auto Notes = Reader.Section(kVersionNoteSection);
  if (!Notes) return false;
  const uint64_t NameSize = sizeof(kVersionNoteName);
  for (uint64_t At = 0; Notes->size() - At >= 12;) {
    const uint64_t NameLen = Reader.Get(*Notes, At, 4);
    const uint64_t DescLen = Reader.Get(*Notes, At + 4, 4);
    const uint64_t DescAt = At + 12 + Align4(NameLen);
    if (DescAt > Notes->size() || Align4(DescLen) > Notes->size() - DescAt) return false;
    if (NameLen == NameSize && DescLen == sizeof(TFixedFileInfo) &&
        Reader.Get(*Notes, At + 8, 4) == kVersionNoteType &&
        std::memcmp(&(*Notes)[At + 12], kVersionNoteName, NameSize) == 0) {
      uint32_t Fields[11];
      for (int Index = 0; Index < 11; ++Index)
        Fields[Index] = static_cast<uint32_t>(Reader.Get(*Notes, DescAt + 4 * Index, 4));
      std::memcpy(&Info, Fields, sizeof(Info));
      return true;
    }
    At = DescAt + Align4(DescLen);
  }
  return false;
}

}  // namespace vemro
