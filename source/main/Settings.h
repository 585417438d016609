#pragma once
// The player's settings: the keys of the main configuration file DataFolder + "Vemro.xml"
// (root "MainConfig", every key on an element below "Window"), read once at start and
// written by the settings save and the two folder pickers.

#include <cstdint>
#include <string>

namespace vemro {

enum class TPlayMode : int32_t { Sequential = 0, RepeatList = 1, RepeatOne = 2 };

// What the player holds of its configuration. Defaults are those of a first run, except the
// folders, which ReadSettings fills in.
struct TSettings {
  TPlayMode PlayMode = TPlayMode::Sequential;  // Window/PLAY PATTERN, 0..2
  std::string LyricFolder;                     // Window/LRC PATH; written only by SaveLyricFolder
  std::string MusicFolder;                     // Window/MUSIC PATH; written only by SaveMusicFolder
  std::string PlayListPath;                    // Window/PLIST PATH
  int32_t EqPresetId = 0;                      // Window/EQ ID
  bool AutoRun = true;                         // Window/AUTORUN Value
  bool ShowDesktopLrc = true;                  // Window/DESKTOPLRC SHOW
  int32_t Volume = 65;                         // Window/Volume Value, 0..100
};

// The user's documents folder + "vemro/".
std::string GetDataFolder();
// DataFolder + "Vemro.xml".
std::string ConfigFileName(const std::string& DataFolder);

// The reading at start. A lyric or music folder that does not exist is replaced by
// DataFolder + "lrc/" or "music/", which is created; a play-list file that does not exist by
// DataFolder + "Default.pls". Writes the autostart entry when AutoRun is on. A configuration
// file that is not well-formed is moved aside (its name then goes to MovedAsideTo) and the
// defaults are used. Never throws for the file's sake.
TSettings ReadSettings(const std::string& DataFolder, std::string* MovedAsideTo = nullptr);

// The settings save: Volume, PLIST, PLAY, DESKTOPLRC, AUTORUN, RUNJM (always "0"), EQ and
// SKIN (always "") in that order; the folders are left as they are in the file.
// Throws TXmlSaveError when the file cannot be written (the old one stays).
void SaveSettings(const std::string& DataFolder, const TSettings& Settings);
// The bytes that SaveSettings would write now, without writing them (the copy a crash
// writes back). Throws TXmlError.
std::string SettingsBytes(const std::string& DataFolder, const TSettings& Settings);

// The folder pickers' writes of their one key. Throw TXmlSaveError as SaveSettings.
void SaveLyricFolder(const std::string& DataFolder, const std::string& Folder);
void SaveMusicFolder(const std::string& DataFolder, const std::string& Folder);

}  // namespace vemro
