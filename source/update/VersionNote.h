#pragma once
// The program file's version record, carried in an ELF note: section
// ".note.vemro.version", note name "Vemro", type 1, eleven 32-bit fields in the
// file's byte order.

#include <cstdint>
#include <string>

namespace vemro {

struct TFixedFileInfo {
  uint32_t Signature;  // 0xFEEF04BD
  uint32_t StrucVersion;
  uint32_t FileVersionMS;  // major << 16 | minor
  uint32_t FileVersionLS;  // release << 16 | build
  uint32_t ProductVersionMS;
  uint32_t ProductVersionLS;
  uint32_t FileFlagsMask;
  uint32_t FileFlags;
  uint32_t FileOS;
  uint32_t FileType;
  uint32_t FileSubtype;
};
static_assert(sizeof(TFixedFileInfo) == 44);

inline constexpr const char* kVersionNoteSection = ".note.vemro.version";
inline constexpr const char kVersionNoteName[] = "Vemro";
inline constexpr uint32_t kVersionNoteType = 1;
inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// Fills Info from FileName's version note and returns true; leaves Info untouched
// and returns false when the file is not an ELF file or has no such note.
bool ReadFixedFileInfo(const std::string& FileName, TFixedFileInfo& Info);

}  // namespace vemro
