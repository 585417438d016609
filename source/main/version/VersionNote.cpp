// The program file's version record, read back by ReadFixedFileInfo. Linked into
// the executable itself, not into a library, so that it cannot be left out.
#include "Version.h"
#include "update/VersionNote.h"

namespace vemro {
namespace {

constexpr uint32_t High(int Value) { return static_cast<uint32_t>(Value) << 16; }

struct TVersionNote {
  uint32_t NameSize;
  uint32_t DescSize;
  uint32_t Type;
  char Name[8];  // "Vemro" and its NUL, padded to four bytes
  TFixedFileInfo Desc;
};

constexpr uint32_t kFileVersionMS = High(kVersionMajor) | static_cast<uint32_t>(kVersionMinor);
constexpr uint32_t kFileVersionLS = High(kVersionPatch) | static_cast<uint32_t>(kVersionBuild);

[[gnu::used, gnu::section(".note.vemro.version")]] alignas(4) const TVersionNote VersionNote = {
    sizeof(kVersionNoteName), sizeof(TFixedFileInfo), kVersionNoteType, "Vemro",
    {kFixedFileInfoSignature, 0x00010000, kFileVersionMS, kFileVersionLS, kFileVersionMS,
     kFileVersionLS, 0x3F, 0, 0, 1 /* application */, 0}};

}  // namespace
}  // namespace vemro
