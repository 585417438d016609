#include "function/SafeFiles.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

namespace vemro {
namespace {

using test::ReadFileBytes;
using test::TTempDir;

TEST(SafeFiles, WriteReplacesContentAndLeavesNoTemporaryFile) {
  TTempDir Dir;
  const std::string File = Dir.Write("doc.xml", "old");
  ::chmod(File.c_str(), 0640);
  WriteFileAtomically(File, "new content");
  EXPECT_EQ(ReadFileBytes(File), "new content");
  struct stat St {};
  ::stat(File.c_str(), &St);
  EXPECT_EQ(St.st_mode & 0777, 0640u);  // the old file's permissions are kept
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()),
                          std::filesystem::directory_iterator()), 1);
}

TEST(SafeFiles, NamesOfTheFullLengthSave) {
  TTempDir Dir;
  const std::string File = Dir.File(std::string(255, 'n'));
  WriteFileAtomically(File, "x");
  EXPECT_EQ(ReadFileBytes(File), "x");
}

TEST(SafeFiles, FailedWriteKeepsTheOldAndLeavesNoTemporaryFile) {
  TTempDir Dir;
  EXPECT_THROW(WriteFileAtomically(Dir.File("missing/doc.xml"), "x"), std::runtime_error);
  // A folder in the way makes the final rename fail, even for root.
  Dir.Write("doc.xml/keep", "old");
  try {
    WriteFileAtomically(Dir.File("doc.xml"), "new");
    ADD_FAILURE() << "no error reported";
  } catch (const std::runtime_error& E) {
    EXPECT_NE(std::string(E.what()).find("doc.xml"), std::string::npos);
  }
  EXPECT_EQ(ReadFileBytes(Dir.File("doc.xml/keep")), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()),
                          std::filesystem::directory_iterator()), 1);
}

TEST(SafeFiles, BrokenFilesAreMovedAsideKeepingOneOlder) {
  TTempDir Dir;
  const std::string File = Dir.Write("Vemro.xml", "first broken");
  EXPECT_EQ(MoveAsideBroken(File), File + ".bad");
  Dir.Write("Vemro.xml", "second broken");
  MoveAsideBroken(File);
  EXPECT_FALSE(std::filesystem::exists(File));
  EXPECT_EQ(ReadFileBytes(File + ".bad"), "second broken");
  EXPECT_EQ(ReadFileBytes(File + ".bad.1"), "first broken");
  EXPECT_EQ(MoveAsideBroken(Dir.File("absent.xml")), "");
}

}  // namespace
}  // namespace vemro
