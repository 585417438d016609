#include "storage/ShlFunc.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vemro {
namespace {

using test::TScopedEnv;
using test::TTempDir;

TEST(GetSpecialFolderPath, MapsTheFolderCodes) {
  TTempDir Dir;
  const std::string Home = Dir.Path().string();
  const TScopedEnv HomeEnv("HOME", Home);
  const TScopedEnv Config("XDG_CONFIG_HOME", Dir.File("config"));
  const TScopedEnv Tmp("TMPDIR", "/var/tmp");
  EXPECT_EQ(GetSpecialFolderPath(133, false), Home + "/Documents/");
  EXPECT_EQ(GetSpecialFolderPath(5, true), Home + "/Documents/");
  EXPECT_EQ(GetSpecialFolderPath(160, false), "/");
  EXPECT_EQ(GetSpecialFolderPath(161, false), "/usr/lib/");
  EXPECT_EQ(GetSpecialFolderPath(163, false), "/var/tmp/");
  for (const uint8_t Unknown : {0, 1, 26, 128, 162, 164, 255}) EXPECT_EQ(GetSpecialFolderPath(Unknown, false), "");

  Dir.Write("config/user-dirs.dirs",
            "# written by xdg-user-dirs-update\n"
            "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
            "XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\xA1\xA3\"\n");
  EXPECT_EQ(GetSpecialFolderPath(133, false), Home + "/\xE6\x96\x87\xE6\xA1\xA3/");
  Dir.Write("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
  EXPECT_EQ(GetSpecialFolderPath(133, false), "/srv/docs/");
  Dir.Write("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"relative\"\n");
  EXPECT_EQ(GetSpecialFolderPath(133, false), Home + "/Documents/");
}

TEST(ForceFolder, CreatesTheFoldersBeforeEachSlash) {
  TTempDir Dir;
  const std::string Base = Dir.Path().string();
  EXPECT_TRUE(ForceFolder(Base, false));
  EXPECT_TRUE(ForceFolder(Base + "/", false));
  EXPECT_FALSE(ForceFolder(Base + "/a/b/", false));
  EXPECT_FALSE(std::filesystem::exists(Base + "/a"));

  EXPECT_TRUE(ForceFolder(Base + "/a/b/c/", true));
  EXPECT_TRUE(std::filesystem::is_directory(Base + "/a/b/c"));
  EXPECT_TRUE(ForceFolder(Base + "/x/y/last", true));
  EXPECT_TRUE(std::filesystem::is_directory(Base + "/x/y"));
  EXPECT_FALSE(std::filesystem::exists(Base + "/x/y/last"));

  Dir.Write("file", "x");
  EXPECT_FALSE(ForceFolder(Base + "/file", false));  // not a folder
  EXPECT_FALSE(ForceFolder(Base + "/file/sub/", true));  // a failure is not reported as success
}

}  // namespace
}  // namespace vemro
