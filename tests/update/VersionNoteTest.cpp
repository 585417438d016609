#include "update/VersionNote.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vemro {
namespace {

constexpr TFixedFileInfo kUntouched{7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};

bool IsUntouched(const TFixedFileInfo& Info) {
  return std::memcmp(&Info, &kUntouched, sizeof Info) == 0;
}

TEST(VersionNoteTest, TheProgramFileCarriesItsVersion) {
  TFixedFileInfo Info = kUntouched;
  ASSERT_TRUE(ReadFixedFileInfo(VEMRO_PROGRAM_FILE, Info));
  EXPECT_EQ(Info.Signature, kFixedFileInfoSignature);
  EXPECT_EQ(Info.FileVersionMS, (4u << 16) | 2u);
  EXPECT_EQ(Info.FileVersionLS, (3u << 16) | 517u);
  EXPECT_EQ(Info.ProductVersionMS, Info.FileVersionMS);
}

#ifdef VEMRO_NOTE_OBJECT_DIR
TEST(VersionNoteTest, OtherClassesAndByteOrdersAreRead) {
  for (const char* Target : {"i686-linux-gnu", "powerpc-linux-gnu"}) {
    SCOPED_TRACE(Target);
    TFixedFileInfo Info = kUntouched;
    ASSERT_TRUE(ReadFixedFileInfo(std::string(VEMRO_NOTE_OBJECT_DIR) + "/note-" + Target + ".o", Info));
    EXPECT_EQ(Info.Signature, kFixedFileInfoSignature);
    EXPECT_EQ(Info.FileVersionMS, 0x10002u);
    EXPECT_EQ(Info.FileVersionLS, 0x30004u);
  }
}
#endif

TEST(VersionNoteTest, FilesWithoutTheNoteHaveNoVersionRecord) {
  test::TTempDir Dir;
  const std::string Program = test::ReadFileBytes(VEMRO_PROGRAM_FILE);
  ASSERT_GT(Program.size(), 4096u);
  std::string Garbled = Program;
  // Section headers pointing past the end of the file.
  for (size_t At = 0x28; At < 0x30; ++At) Garbled[At] = '\xff';
  const std::string Files[] = {
      "/proc/self/exe",  // the test program: an ELF file without the note
      Dir.Write("empty", ""),
      Dir.Write("text", "not a program"),
      Dir.Write("elf-header-only", Program.substr(0, 64)),
      Dir.Write("cut", Program.substr(0, Program.size() / 2)),
      Dir.Write("garbled", Garbled),
      Dir.File("missing"),
      Dir.Path().string(),
  };
  for (const std::string& File : Files) {
    SCOPED_TRACE(File);
    TFixedFileInfo Info = kUntouched;
    EXPECT_FALSE(ReadFixedFileInfo(File, Info));
    EXPECT_TRUE(IsUntouched(Info));
  }
}

}  // namespace
}  // namespace vemro
