#include "plugins/UPluginFramework.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace vemro {

namespace {

// A plug-in's failure must never take the player with it: whatever its procedure
// throws stays on its side. False when it threw.
bool SendGuarded(TPluginProc Proc, int32_t Msg, void* Data, int32_t Extra, int32_t& Answer) {
  try {
    Answer = Proc(Msg, Data, Extra);
    return true;
  } catch (...) {
    return false;
  }
}

// The library's info record when it describes itself as a plug-in of this
// interface, else nullptr.
TPluginInfo* AskPluginInfo(void* Handle) {
  try {
    auto InfoFunc = reinterpret_cast<TPluginInfoFunc>(dlsym(Handle, VEMRO_PLUGIN_EXPORT_NAME));
    if (!InfoFunc) return nullptr;
    TPluginInfo* Info = InfoFunc(VEMRO_PLUGIN_HOST_VERSION);
    if (!Info || Info->Version != VEMRO_PLUGIN_VERSION ||
        Info->InterfaceVersion != VEMRO_PLUGIN_INTERFACE_VERSION)
      return nullptr;
    return Info;
  } catch (...) {
    return nullptr;
  }
}

std::vector<std::filesystem::path> PluginFiles(const std::string& Folder) {
  std::vector<std::filesystem::path> Files;
  std::error_code Error;
  for (std::filesystem::directory_iterator It(Folder, Error), End; !Error && It != End;
       It.increment(Error)) {
    if (It->path().extension() == ".so") Files.push_back(It->path());
  }
  // Directory order is arbitrary here; name order makes the load order repeatable.
  std::sort(Files.begin(), Files.end());
  return Files;
}

}  // namespace

TUSGeneralPurpose::TUSGeneralPurpose(intptr_t /*WindowHandle*/, const std::string& PluginFolder) {
  LoadFolder(PluginFolder);
}

TUSGeneralPurpose::~TUSGeneralPurpose() { UnloadAll(); }

void TUSGeneralPurpose::LoadFolder(const std::string& Folder) {
  if (Folder.empty()) return;
  for (const auto& File : PluginFiles(Folder)) LoadPlugin(File.string());
}

bool TUSGeneralPurpose::LoadPlugin(const std::string& FileName) {
  std::error_code Error;
  if (FCount == kMaxPlugins || FileName.empty() || !std::filesystem::is_regular_file(FileName, Error))
    return false;
  void* Handle = dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Handle) return false;
  if (IsLoaded(Handle)) {
    dlclose(Handle);
    return false;
  }
  TPluginInfo* Info = AskPluginInfo(Handle);
  if (!Info) {
    dlclose(Handle);
    return false;
  }
  int32_t Ignored;
  if (Info->Proc) SendGuarded(Info->Proc, VEMRO_PLUGIN_MSG_ACCEPTED, nullptr, 0, Ignored);
  FPlugins[FCount] = {Handle, Info};
  ++FCount;
  return true;
}

void TUSGeneralPurpose::UnloadPlugin(uint8_t Index) {
  if (Index >= FCount) return;
  TEntry& Entry = FPlugins[Index];
  int32_t Ignored;
  if (Entry.Info && Entry.Info->Proc)
    SendGuarded(Entry.Info->Proc, VEMRO_PLUGIN_MSG_UNLOADING, nullptr, 0, Ignored);
  Entry.Info = nullptr;
  if (Entry.Handle) dlclose(Entry.Handle);
  Entry.Handle = nullptr;
}

void TUSGeneralPurpose::UnloadAll() {
  for (uint8_t Index = 0; Index < FCount; ++Index) UnloadPlugin(Index);
  FCount = 0;
}

int32_t TUSGeneralPurpose::Notify(int32_t Msg, void* Data, int32_t Extra) {
  int32_t Result = 1;
  for (uint8_t Index = 0; Index < FCount; ++Index) {
    const TPluginInfo* Info = FPlugins[Index].Info;
    if (Info && Info->Proc) SendGuarded(Info->Proc, Msg, Data, Extra, Result);
  }
  return Result;
}

void TUSGeneralPurpose::NotifyTrack(int32_t Msg, const std::string& Path, const std::string& Title,
                                    const std::string& Singer, double LengthDays) {
  TPluginTrackInfo Track{};
  Track.Path = Path.c_str();
  Track.Length = LengthDays;
  Track.Title = Title.c_str();
  Track.TitleLen = static_cast<int32_t>(Title.size());
  Track.Artist = Singer.c_str();
  Track.ArtistLen = static_cast<int32_t>(Singer.size());
  Notify(Msg, &Track, 0);
}

const TPluginInfo* TUSGeneralPurpose::Plugin(uint8_t Index) const {
  return Index < FCount ? FPlugins[Index].Info : nullptr;
}

bool TUSGeneralPurpose::IsLoaded(void* Handle) const {
  return std::any_of(FPlugins.begin(), FPlugins.begin() + FCount,
                     [Handle](const TEntry& Entry) { return Entry.Handle == Handle; });
}

}  // namespace vemro
