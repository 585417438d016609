#include "main/Settings.h"

#include "function/Shell.h"
#include "storage/XmlConfig.h"
#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vemro {
namespace {

using namespace std::string_literals;
using test::ReadFileBytes;
using test::TScopedEnv;
using test::TTempDir;

// A private home with its own autostart folder and a data folder that does not exist yet.
class SettingsTest : public ::testing::Test {
protected:
  TTempDir FHome;
  TScopedEnv FHomeEnv{"HOME", FHome.Path().string()};
  TScopedEnv FConfigEnv{"XDG_CONFIG_HOME", FHome.File(".config")};
  const std::string FData = FHome.File("Documents/vemro/");
  const std::string FAutostart = FHome.File(".config/autostart/runvemro.desktop");

  void WriteConfig(const std::string& WindowElements) {
    FHome.Write("Documents/vemro/Vemro.xml",
                "<?xml version=\"1.0\" encoding=\"GB2312\"?><MainConfig><Window>" + WindowElements +
                    "</Window></MainConfig>");
  }
};

TEST_F(SettingsTest, FirstRunTakesTheDefaultsAndCreatesTheFolders) {
  EXPECT_EQ(GetDataFolder(), FData);
  const TSettings S = ReadSettings(FData);
  EXPECT_EQ(S.PlayMode, TPlayMode::Sequential);
  EXPECT_EQ(S.LyricFolder, FData + "lrc/");
  EXPECT_EQ(S.MusicFolder, FData + "music/");
  EXPECT_EQ(S.PlayListPath, FData + "Default.pls");
  EXPECT_EQ(S.EqPresetId, 0);
  EXPECT_TRUE(S.AutoRun);
  EXPECT_TRUE(S.ShowDesktopLrc);
  EXPECT_EQ(S.Volume, 65);
  EXPECT_TRUE(std::filesystem::is_directory(FData + "lrc"));
  EXPECT_TRUE(std::filesystem::is_directory(FData + "music"));
  EXPECT_FALSE(std::filesystem::exists(FData + "Default.pls"));
  EXPECT_FALSE(std::filesystem::exists(ConfigFileName(FData)));  // reading writes nothing
  EXPECT_NE(ReadFileBytes(FAutostart).find("Exec=" + GetAppPath()), std::string::npos);
}

TEST_F(SettingsTest, ReadsAndConvertsTheStoredValues) {
  struct TCase {
    std::string Pattern, Volume;
    TPlayMode Mode;
    int32_t ExpectedVolume;
  };
  const TCase Cases[] = {
      {"2", "80", TPlayMode::RepeatOne, 80},   {"1", "150", TPlayMode::RepeatList, 100},
      {"abc", "-5", TPlayMode::Sequential, 0}, {"3", "abc", TPlayMode::Sequential, 65},
      {"-1", "", TPlayMode::Sequential, 65},   {"0", "100", TPlayMode::Sequential, 100},
  };
  for (const auto& C : Cases) {
    WriteConfig("<PLAY PATTERN=\"" + C.Pattern + "\"/><Volume Value=\"" + C.Volume +
                "\"/><EQ ID=\"7\"/><DESKTOPLRC SHOW=\"0\"/><AUTORUN Value=\"0\"/>");
    const TSettings S = ReadSettings(FData);
    EXPECT_EQ(S.PlayMode, C.Mode) << C.Pattern;
    EXPECT_EQ(S.Volume, C.ExpectedVolume) << C.Volume;
    EXPECT_EQ(S.EqPresetId, 7);
    EXPECT_FALSE(S.ShowDesktopLrc);
    EXPECT_FALSE(S.AutoRun);
  }
  EXPECT_FALSE(std::filesystem::exists(FAutostart));  // no entry while AutoRun is off
}

TEST_F(SettingsTest, KeepsConfiguredFoldersThatExistAndReplacesOthers) {
  const std::string Lyrics = FHome.File("my lyrics");
  std::filesystem::create_directories(Lyrics);
  const std::string List = FHome.Write("lists/party.pls", "<DefaultList/>");
  WriteConfig("<LRC PATH=\"" + Lyrics + "\"/><MUSIC PATH=\"" + FHome.File("gone") + "\"/><PLIST PATH=\"" + List + "\"/>");
  TSettings S = ReadSettings(FData);
  EXPECT_EQ(S.LyricFolder, Lyrics);
  EXPECT_EQ(S.MusicFolder, FData + "music/");
  EXPECT_TRUE(std::filesystem::is_directory(FData + "music"));
  EXPECT_FALSE(std::filesystem::exists(FHome.File("gone")));
  EXPECT_EQ(S.PlayListPath, List);

  std::filesystem::remove(List);
  S = ReadSettings(FData);
  EXPECT_EQ(S.PlayListPath, FData + "Default.pls");
  // The replacements are not written back by the reading.
  EXPECT_EQ(TXmlConfig(ConfigFileName(FData), "MainConfig").ReadString("Window/MUSIC", "PATH", ""), FHome.File("gone"));
}

TEST_F(SettingsTest, SaveWritesTheKeysInOrderAndLeavesTheFolders) {
  std::filesystem::create_directories(FData);
  TSettings S;
  S.PlayMode = TPlayMode::RepeatList;
  S.PlayListPath = FData + "Default.pls";
  S.EqPresetId = 3;
  S.ShowDesktopLrc = false;
  S.Volume = 42;
  S.LyricFolder = "/not/written";
  SaveSettings(FData, S);
  EXPECT_EQ(ReadFileBytes(ConfigFileName(FData)),
            "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n"
            "<MainConfig>\n"
            "  <Window>\n"
            "    <Volume Value=\"42\"/>\n"
            "    <PLIST PATH=\"" + FData + "Default.pls\"/>\n"
            "    <PLAY PATTERN=\"1\"/>\n"
            "    <DESKTOPLRC SHOW=\"0\"/>\n"
            "    <AUTORUN Value=\"1\"/>\n"
            "    <RUNJM Value=\"0\"/>\n"
            "    <EQ ID=\"3\"/>\n"
            "    <SKIN NAME=\"\"/>\n"
            "  </Window>\n"
            "</MainConfig>\n");
  const TSettings Read = ReadSettings(FData);
  EXPECT_EQ(Read.PlayMode, TPlayMode::RepeatList);
  EXPECT_EQ(Read.EqPresetId, 3);
  EXPECT_FALSE(Read.ShowDesktopLrc);
  EXPECT_EQ(Read.Volume, 42);
}

TEST_F(SettingsTest, SettingsBytesAreWhatTheSaveWritesAndWriteNothing) {
  WriteConfig("<LRC PATH=\"/keep/me\"/><Volume Value=\"10\"/>");
  const std::string Before = ReadFileBytes(ConfigFileName(FData));
  TSettings S = ReadSettings(FData);
  S.Volume = 77;
  const std::string Bytes = SettingsBytes(FData, S);
  EXPECT_EQ(ReadFileBytes(ConfigFileName(FData)), Before);
  SaveSettings(FData, S);
  EXPECT_EQ(Bytes, ReadFileBytes(ConfigFileName(FData)));
  EXPECT_NE(Bytes.find("Value=\"77\""), std::string::npos);
}

TEST_F(SettingsTest, SaveOverwritesRunjmAndSkinAndKeepsTheFolderKeys) {
  WriteConfig("<RUNJM Value=\"1\"/><SKIN NAME=\"blue\"/><LRC PATH=\"/l\"/><Volume Value=\"150\"/>");
  SaveSettings(FData, ReadSettings(FData));
  const TXmlConfig Config(ConfigFileName(FData), "MainConfig");
  EXPECT_EQ(Config.ReadString("Window/RUNJM", "Value", ""), "0");
  EXPECT_EQ(Config.ReadString("Window/SKIN", "NAME", "absent"), "absent");  // present, but empty
  EXPECT_NE(ReadFileBytes(ConfigFileName(FData)).find("<SKIN NAME=\"\"/>"), std::string::npos);
  EXPECT_EQ(Config.ReadString("Window/LRC", "PATH", ""), "/l");
  EXPECT_EQ(Config.ReadInteger("Window/Volume", "Value", 0), 100);
}

TEST_F(SettingsTest, FolderPickersWriteTheirKeyAlone) {
  WriteConfig("<EQ ID=\"4\"/>");
  const std::string Lyrics = FHome.File("\xE6\xAD\x8C\xE8\xAF\x8D");  // 歌词
  std::filesystem::create_directories(Lyrics);
  SaveLyricFolder(FData, Lyrics);
  SaveMusicFolder(FData, FHome.File("music"));
  const TXmlConfig Config(ConfigFileName(FData), "MainConfig");
  EXPECT_EQ(Config.ReadString("Window/LRC", "PATH", ""), Lyrics);
  EXPECT_EQ(Config.ReadString("Window/MUSIC", "PATH", ""), FHome.File("music"));
  EXPECT_EQ(Config.ReadInteger("Window/EQ", "ID", 0), 4);
  EXPECT_EQ(Config.ReadString("Window/Volume", "Value", "absent"), "absent");
  EXPECT_EQ(ReadSettings(FData).LyricFolder, Lyrics);
}

TEST_F(SettingsTest, ABrokenFileIsMovedAsideWholeAndAFreshOneWritten) {
  const std::string First = "<MainConfig><Window><EQ ID=\"4\"></Window>";
  const std::string Second = "\x00\x01 not xml at all \xE6\xAD"s;
  FHome.Write("Documents/vemro/Vemro.xml", First);
  std::string Aside;
  TSettings S = ReadSettings(FData, &Aside);
  EXPECT_EQ(Aside, ConfigFileName(FData) + ".bad");
  EXPECT_EQ(ReadFileBytes(Aside), First);
  EXPECT_EQ(S.EqPresetId, 0);
  EXPECT_EQ(S.Volume, 65);
  S.Volume = 20;
  SaveSettings(FData, S);
  EXPECT_EQ(ReadSettings(FData).Volume, 20);

  FHome.Write("Documents/vemro/Vemro.xml", Second);
  Aside.clear();
  EXPECT_EQ(ReadSettings(FData, &Aside).Volume, 65);
  EXPECT_EQ(ReadFileBytes(ConfigFileName(FData) + ".bad"), Second);
  EXPECT_EQ(ReadFileBytes(ConfigFileName(FData) + ".bad.1"), First);

  // Broken again by the time of a save: the save moves it aside too and writes a fresh file.
  FHome.Write("Documents/vemro/Vemro.xml", First);
  SaveMusicFolder(FData, "/m");
  EXPECT_EQ(ReadFileBytes(ConfigFileName(FData) + ".bad"), First);
  EXPECT_EQ(TXmlConfig(ConfigFileName(FData), "MainConfig").ReadString("Window/MUSIC", "PATH", ""), "/m");
}

TEST_F(SettingsTest, AFailedSaveIsReported) {
  FHome.Write("Documents/vemro", "a file where the folder should be");
  EXPECT_THROW(SaveSettings(FData, TSettings()), TXmlSaveError);
  EXPECT_THROW(SaveLyricFolder(FData, "/l"), TXmlSaveError);
  EXPECT_NO_THROW(ReadSettings(FData));
}

}  // namespace
}  // namespace vemro
