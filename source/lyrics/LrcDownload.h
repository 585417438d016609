#pragma once
// The binary interface between the player and liblrcdown.so, the online lyrics
// service. Texts either way are NUL-terminated UTF-8.
//
// The library exports
//   extern "C" ILrcDownload* LRC_CreateObj(const TLrcGuid* Iid);
// which returns a new object holding one reference for the caller (or null when Iid is
// not kLrcDownloadIid); the caller ends with Release. The entries of ILrcDownload keep
// their order: it is the table both sides are compiled against.

#include <cstdint>
#include <cstring>

namespace vemro {

struct TLrcGuid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
  bool operator==(const TLrcGuid& Other) const { return std::memcmp(this, &Other, sizeof(*this)) == 0; }
};

// {14C0620A-E9D5-43E5-A409-68ECFBDDD9D0}
inline constexpr TLrcGuid kLrcDownloadIid = {
    0x14C0620A, 0xE9D5, 0x43E5, {0xA4, 0x09, 0x68, 0xEC, 0xFB, 0xDD, 0xD9, 0xD0}};

// One search result; its texts stay readable until the next Clear or Search.
struct TLrcSearchResult {
  const char* Title;
  const char* Singer;
  const char* SS;  // a third description, shown in its own column (album and "3:45")
  int32_t Id;      // passed to Download
};

class ILrcDownload {
public:
  // 0 and an added reference in Object when Iid is kLrcDownloadIid, else nonzero.
  virtual int32_t QueryInterface(const TLrcGuid& Iid, void** Object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual void Reserved1() = 0;
  // Null when Index is outside 0..Count()-1.
  virtual const TLrcSearchResult* GetItem(int32_t Index) = 0;
  virtual void Reserved2() = 0;
  virtual int32_t Count() = 0;
  virtual void Clear() = 0;
  // Writes the LRC text of result Id into *Buffer, NUL-terminated (empty when there is
  // none). *Buffer holds Size bytes allocated with malloc; a longer text makes the
  // service grow it with realloc and store the new address in *Buffer. The caller
  // frees *Buffer with free.
  virtual void Download(int32_t Id, char** Buffer, int32_t Size) = 0;
  // Replaces the results with those for Title and Singer. Extra and Flags are unused
  // (empty and 0).
  virtual void Search(const char* Title, const char* Singer, const char* Extra, int32_t Flags) = 0;

protected:
  ~ILrcDownload() = default;  // objects end through Release
};

using TLrcCreateObj = ILrcDownload* (*)(const TLrcGuid* Iid);
inline constexpr const char* kLrcCreateObjName = "LRC_CreateObj";
inline constexpr const char* kLrcDownloadLibrary = "liblrcdown.so";

}  // namespace vemro
