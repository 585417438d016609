#pragma once
// The host of general-purpose plug-ins: every plugins/*.so that describes itself
// correctly is kept and told about the player's events. Main thread only.

#include "plugins/VemroPlugin.h"

#include <array>
#include <cstdint>
#include <string>

namespace vemro {

class TUSGeneralPurpose {
public:
  static constexpr int kMaxPlugins = 64;

  // WindowHandle is accepted for the interface's sake and not passed on.
  TUSGeneralPurpose(intptr_t WindowHandle, const std::string& PluginFolder);
  ~TUSGeneralPurpose();
  TUSGeneralPurpose(const TUSGeneralPurpose&) = delete;
  TUSGeneralPurpose& operator=(const TUSGeneralPurpose&) = delete;

  // Loads every Folder/*.so in name order; nothing for an empty Folder.
  void LoadFolder(const std::string& Folder);
  // True when the plug-in was added to the table.
  bool LoadPlugin(const std::string& FileName);
  // Sends 101 and unloads the library; the entry stays counted but empty.
  void UnloadPlugin(uint8_t Index);
  void UnloadAll();
  // The last plug-in's answer, or 1 when no plug-in answered.
  int32_t Notify(int32_t Msg, void* Data, int32_t Extra);
  // Notify(Msg, TPluginTrackInfo of the entry, 0), for 108 and 109.
  void NotifyTrack(int32_t Msg, const std::string& Path, const std::string& Title,
                   const std::string& Singer, double LengthDays);

  uint8_t Count() const { return FCount; }
  // The info record of entry Index, or nullptr for an empty or unused entry.
  const TPluginInfo* Plugin(uint8_t Index) const;

private:
  struct TEntry {
    void* Handle = nullptr;
    TPluginInfo* Info = nullptr;
  };
  bool IsLoaded(void* Handle) const;

  uint8_t FCount = 0;
  std::array<TEntry, kMaxPlugins> FPlugins{};
};

}  // namespace vemro
