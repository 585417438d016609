#include "main/Settings.h"

#include "function/SafeFiles.h"
#include "function/Shell.h"
#include "storage/ShlFunc.h"
#include "storage/XmlConfig.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

namespace vemro {
namespace {

constexpr const char* RootName = "MainConfig";
constexpr uint8_t PersonalFolderCode = 133;

// A file that is not well-formed is moved aside and a fresh document started, so that the
// user's file is kept and the program goes on. When it cannot be moved the error stands,
// since saving over it would lose it.
std::unique_ptr<TXmlConfig> OpenConfig(const std::string& DataFolder, std::string* MovedAsideTo) {
  const std::string File = ConfigFileName(DataFolder);
  try {
    return std::make_unique<TXmlConfig>(File, RootName);
  } catch (const TXmlParseError&) {
    const std::string Aside = MoveAsideBroken(File);
    if (Aside.empty()) throw;
    if (MovedAsideTo) *MovedAsideTo = Aside;
    return std::make_unique<TXmlConfig>(File, RootName);
  }
}

std::string ExistingFolderOr(const std::string& Configured, const std::string& Fallback) {
  if (ForceFolder(Configured, false)) return Configured;
  ForceFolder(Fallback, true);
  return Fallback;
}

TPlayMode ToPlayMode(int32_t Pattern) {
  return Pattern >= 0 && Pattern <= 2 ? static_cast<TPlayMode>(Pattern) : TPlayMode::Sequential;
}

void SaveOneKey(const std::string& DataFolder, const std::string& Path, const std::string& Value) {
  const auto Config = OpenConfig(DataFolder, nullptr);
  Config->WriteString(Path, "PATH", Value);
  Config->Save();
}

// The keys of the settings save, in their order.
void WriteSettingsKeys(TXmlConfig& Config, const TSettings& Settings) {
  Config.WriteInteger("Window/Volume", "Value", Settings.Volume);
  Config.WriteString("Window/PLIST", "PATH", Settings.PlayListPath);
  Config.WriteInteger("Window/PLAY", "PATTERN", static_cast<int32_t>(Settings.PlayMode));
  Config.WriteBool("Window/DESKTOPLRC", "SHOW", Settings.ShowDesktopLrc);
  Config.WriteBool("Window/AUTORUN", "Value", Settings.AutoRun);
  Config.WriteBool("Window/RUNJM", "Value", false);
  Config.WriteInteger("Window/EQ", "ID", Settings.EqPresetId);
  Config.WriteString("Window/SKIN", "NAME", "");
}

}  // namespace

std::string GetDataFolder() { return GetSpecialFolderPath(PersonalFolderCode, false) + "vemro/"; }

std::string ConfigFileName(const std::string& DataFolder) { return DataFolder + "Vemro.xml"; }

TSettings ReadSettings(const std::string& DataFolder, std::string* MovedAsideTo) {
  std::unique_ptr<TXmlConfig> Config;
  try {
    Config = OpenConfig(DataFolder, MovedAsideTo);
  } catch (const TXmlParseError&) {
    Config = std::make_unique<TXmlConfig>("", RootName);
  }
  TSettings S;
  S.PlayMode = ToPlayMode(Config->ReadInteger("Window/PLAY", "PATTERN", 0));
  S.LyricFolder = ExistingFolderOr(Config->ReadString("Window/LRC", "PATH", DataFolder + "lrc"), DataFolder + "lrc/");
  S.MusicFolder =
      ExistingFolderOr(Config->ReadString("Window/MUSIC", "PATH", DataFolder + "music"), DataFolder + "music/");
  S.PlayListPath = Config->ReadString("Window/PLIST", "PATH", DataFolder + "Default.pls");
  std::error_code Error;
  if (!std::filesystem::is_regular_file(S.PlayListPath, Error)) S.PlayListPath = DataFolder + "Default.pls";
  S.EqPresetId = Config->ReadInteger("Window/EQ", "ID", 0);
  S.AutoRun = Config->ReadBool("Window/AUTORUN", "Value", true);
  if (S.AutoRun) SetAutoRun(true);
  S.ShowDesktopLrc = Config->ReadBool("Window/DESKTOPLRC", "SHOW", true);
  S.Volume = std::clamp(Config->ReadInteger("Window/Volume", "Value", 65), 0, 100);
  return S;
}

void SaveSettings(const std::string& DataFolder, const TSettings& Settings) {
  const auto Config = OpenConfig(DataFolder, nullptr);
  WriteSettingsKeys(*Config, Settings);
  Config->Save();
}

std::string SettingsBytes(const std::string& DataFolder, const TSettings& Settings) {
  const auto Config = OpenConfig(DataFolder, nullptr);
  WriteSettingsKeys(*Config, Settings);
  Config->DiscardChanges();
  return Config->Bytes();
}

void SaveLyricFolder(const std::string& DataFolder, const std::string& Folder) {
  SaveOneKey(DataFolder, "Window/LRC", Folder);
}

void SaveMusicFolder(const std::string& DataFolder, const std::string& Folder) {
  SaveOneKey(DataFolder, "Window/MUSIC", Folder);
}

}  // namespace vemro
