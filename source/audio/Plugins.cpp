#include "audio/Plugins.h"

#include "audio/Bass.h"
#include "audio/Library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <list>
#include <memory>
#include <mutex>
#include <string>

namespace vemro {
namespace audio {
namespace {

struct TPlugin {
  HPLUGIN Handle = 0;
  std::string Path;
  std::shared_ptr<void> Library;  // dlclose when the last decoder using it is gone
  std::vector<BASS_PLUGINFORM> Forms;
  BASS_PLUGININFO Info{};
  std::vector<TDecoderKind> Kinds;
};

std::mutex PluginLock;
// A list, so a BASS_PLUGININFO handed out stays where it is while others come and go.
std::list<TPlugin> Plugins;
DWORD LastPluginHandle = 0;

std::string ProgramFolder() {
  char Buffer[PATH_MAX];
  const ssize_t N = readlink("/proc/self/exe", Buffer, sizeof Buffer - 1);
  if (N <= 0) return "./";
  const std::string Exe(Buffer, static_cast<size_t>(N));
  return Exe.substr(0, Exe.rfind('/') + 1);
}

// Loads the library and checks its entry point; nullptr with the error code set.
std::shared_ptr<void> OpenAddin(const std::string& Path, const VemroAudioAddinInfo*& Info) {
  // Freeing an add-in takes its formats away but leaves its code mapped: the libraries
  // beneath one (FFmpeg's, TLS) are not made to be unloaded and back again.
  void* Library = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!Library) {
    SetLastError(BASS_ERROR_FILEOPEN);
    return nullptr;
  }
  std::shared_ptr<void> Owner(Library, [](void* L) { dlclose(L); });
  const auto Entry = reinterpret_cast<VemroAudioAddinEntry>(dlsym(Library, VEMRO_AUDIO_ADDIN_ENTRY));
  Info = Entry ? Entry() : nullptr;
  if (!Info || Info->Abi != VEMRO_AUDIO_ADDIN_ABI || (Info->FormatCount && !Info->Formats)) {
    SetLastError(BASS_ERROR_FILEFORM);
    return nullptr;
  }
  return Owner;
}

}  // namespace

std::vector<TDecoderKind> AllDecoderKinds() {
  std::vector<TDecoderKind> Kinds = BuiltInDecoders();
  std::lock_guard Guard(PluginLock);
  for (const auto& Plugin : Plugins) Kinds.insert(Kinds.end(), Plugin.Kinds.begin(), Plugin.Kinds.end());
  return Kinds;
}

}  // namespace audio

using namespace audio;

HPLUGIN BASS_PluginLoad(const char* File, DWORD) {
  if (!File || !*File) {
    SetLastError(BASS_ERROR_ILLPARAM);
    return 0;
  }
  const std::string Path = std::string(File).find('/') == std::string::npos ? ProgramFolder() + File : File;
  std::lock_guard Guard(PluginLock);
  for (const auto& Plugin : Plugins)
    if (Plugin.Path == Path) {
      SetLastError(BASS_ERROR_ALREADY);
      return 0;
    }
  const VemroAudioAddinInfo* Info = nullptr;
  auto Library = OpenAddin(Path, Info);
  if (!Library) return 0;
  TPlugin& Plugin = Plugins.emplace_back();
  Plugin.Handle = 0x20000000u | ++LastPluginHandle;
  Plugin.Path = Path;
  Plugin.Library = Library;
  for (uint32_t I = 0; I < Info->FormatCount; ++I) {
    const VemroDecoderApi& Api = Info->Formats[I];
    Plugin.Forms.push_back({I, Api.Name, Api.Patterns});
    Plugin.Kinds.push_back({Api.Name, Api.Patterns, nullptr, &Api, Library});
  }
  Plugin.Info = {Info->Version, static_cast<DWORD>(Plugin.Forms.size()), Plugin.Forms.data()};
  SetLastError(BASS_OK);
  return Plugin.Handle;
}

const BASS_PLUGININFO* BASS_PluginGetInfo(HPLUGIN Handle) {
  std::lock_guard Guard(PluginLock);
  for (const auto& Plugin : Plugins)
    if (Plugin.Handle == Handle) {
      SetLastError(BASS_OK);
      return &Plugin.Info;
    }
  SetLastError(BASS_ERROR_HANDLE);
  return nullptr;
}

BOOL BASS_PluginFree(HPLUGIN Handle) {
  std::lock_guard Guard(PluginLock);
  const size_t Before = Plugins.size();
  Plugins.remove_if([&](const TPlugin& P) { return Handle == 0 || P.Handle == Handle; });
  const bool Freed = Handle == 0 || Plugins.size() < Before;
  SetLastError(Freed ? BASS_OK : BASS_ERROR_HANDLE);
  return Freed ? 1 : 0;
}

}  // namespace vemro
