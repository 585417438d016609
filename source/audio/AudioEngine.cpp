#include "audio/AudioEngine.h"

#include <glob.h>

#include <cmath>
#include <limits>
#include <thread>

namespace vemro {

std::atomic<int64_t> DownloadTotal{0};
std::atomic<int64_t> DownloadDone{0};

namespace {

constexpr const char* BaseFileFilter = "所有音乐|*.mp1;*.mp2;*.mp3;*.wav;*.ogg;*.mod;*.s3m;*.it;*.umx;*.mo3;*.mtm;*.xm;*.aif";
constexpr int32_t EqPriority = 1;
constexpr float EqBandwidth = 5.0f;

// Seconds to whole milliseconds in 32-bit float, truncated; errors and negatives give 0.
int32_t SecondsToMs(double Seconds) {
  const float Ms = static_cast<float>(Seconds) * 1000.0f;
  if (!(Ms > 0)) return 0;
  if (Ms >= static_cast<float>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(Ms);
}

}  // namespace

struct TAudioEngine::TOpener {
  std::string Source;
  std::atomic<bool> StopRequested{false};
  HSTREAM Stream = 0;
  int32_t Error = 0;
  std::thread Thread;
};

TAudioEngine::TAudioEngine(IDispatcher& Dispatcher, void* WindowHandle, const std::string& AppFolder)
    : FDispatcher(Dispatcher), FWindow(WindowHandle) {
  if ((BASS_GetVersion() >> 16) != BASSVERSION) {
    FStartupError = -1;
    ReportError(STATE_ENDED, -1);
  } else if (!BASS_Init(-1, 44100, 0, FWindow, nullptr)) {
    FStartupError = -2;
    ReportError(State(), -2);
  } else {
    FLibraryReady = true;
    FFileFilter = BaseFileFilter;
    LoadPlugins(AppFolder);
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
    BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
    BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 2000);
    BASS_Start();
  }
  FTimer = FDispatcher.CreateTimer();
  FTimer->SetInterval(50);
  FTimer->SetHandler([this] { TimerTick(); });
  FTimer->SetEnabled(true);
}

TAudioEngine::~TAudioEngine() {
  FTimer.reset();
  if (FOpener) {
    FOpener->StopRequested = true;
    FOpener->Thread.join();
    // An open that completed but whose completion has not run yet.
    BASS_StreamFree(FOpener->Stream);
    FOpener->Stream = 0;
  }
  Stop();
  BASS_StreamFree(FHandle);
  if (FLibraryReady) {
    BASS_PluginFree(FLastPlugin);
    BASS_Stop();
    BASS_Free();
  }
}

std::string TAudioEngine::FixedFileFilter() {
  return "mp1/mp2/mp3/wav/ogg/mod/s3m/it/umx/mo3/mtm/xm|*.mp1;*.mp2;*.mp3;*.wav;*.ogg;*.mod;*.s3m;*.it;*.umx;*.mo3;"
         "*.mtm;*.xm|Streams (mp1/mp2/mp3/wav/ogg)|*.mp1;*.mp2;*.mp3;*.wav;*.ogg|Trackers "
         "(mod/s3m/it/umx/mo3/mtm/xm)|*.mod;*.s3m;*.it;*.umx;*.mo3;*.mtm;*.xm";
}

void TAudioEngine::LoadPlugins(const std::string& AppFolder) {
  glob_t Found{};
  if (glob((AppFolder + "b_*.so").c_str(), 0, nullptr, &Found) == 0) {
    for (size_t I = 0; I < Found.gl_pathc; ++I) {
      FLastPlugin = BASS_PluginLoad(Found.gl_pathv[I], 0);
      const BASS_PLUGININFO* Info = FLastPlugin ? BASS_PluginGetInfo(FLastPlugin) : nullptr;
      for (DWORD F = 0; Info && F < Info->formatc; ++F) FFileFilter += std::string(";") + Info->formats[F].exts;
    }
  }
  globfree(&Found);
}

void TAudioEngine::Play(const std::string& Source) {
  if (FOpener) {
    ReportError(STATE_ENDED, -3);
    return;
  }
  FSource = Source;
  BASS_StreamFree(FHandle);
  auto Opener = std::make_shared<TOpener>();
  Opener->Source = FSource;
  FOpener = Opener;
  Opener->Thread = std::thread([this, Opener, Alive = std::weak_ptr<int>(FLifetime)] {
    RunOpener(*Opener);
    FDispatcher.Post([this, Opener, Alive] {
      if (Alive.expired()) {
        BASS_StreamFree(Opener->Stream);
        return;
      }
      OpenFinished(Opener);
    });
  });
}

void TAudioEngine::RunOpener(TOpener& Opener) {
  DownloadTotal = 0;
  DownloadDone = 0;
  HSTREAM Stream = BASS_StreamCreateFile(false, Opener.Source.c_str(), 0, 0, 0);
  if (!Stream) {
    SetState(STATE_CONNECTING);
    if (OnStateChange) OnStateChange(STATE_CONNECTING);
    Stream = BASS_StreamCreateURL(Opener.Source.c_str(), 0, 0, &TAudioEngine::DownloadProc, this);
    if (Stream) DownloadTotal = static_cast<int64_t>(BASS_StreamGetFilePosition(Stream, BASS_FILEPOS_END));
    else Opener.Error = BASS_ErrorGetCode();
  }
  if (Opener.StopRequested && Stream) {
    BASS_StreamFree(Stream);
    Stream = 0;
  }
  Opener.Stream = Stream;
}

void TAudioEngine::OpenFinished(const std::shared_ptr<TOpener>& Opener) {
  Opener->Thread.join();
  // Cleared before the events, so that a handler may start the next open.
  FOpener.reset();
  FHandle = Opener->Stream;
  if (!FHandle) {
    SetState(STATE_OPEN_FAILED);
    ReportError(STATE_OPEN_FAILED, Opener->Error);
    return;
  }
  const QWORD Length = BASS_ChannelGetLength(FHandle, BASS_POS_BYTE);
  FLengthBytes = Length == QWORD(-1) ? 0 : static_cast<int64_t>(Length);
  CreateEqualizer();
  ApplyEqualizer();
  BASS_ChannelSetAttribute(FHandle, BASS_ATTRIB_VOL, FVolume / 100.0f);
  // The sync goes in before playback starts, so that no end can slip past it.
  BASS_ChannelSetSync(FHandle, BASS_SYNC_END, 0, &TAudioEngine::EndSync, this);
  BASS_ChannelPlay(FHandle, false);
  SetState(STATE_PLAYING);
  if (OnStateChange) OnStateChange(STATE_PLAYING);
}

void TAudioEngine::Pause() {
  BASS_ChannelPause(FHandle);
  SetState(STATE_PAUSED);
  if (OnStateChange) OnStateChange(STATE_PAUSED);
}

void TAudioEngine::Resume() {
  BASS_ChannelPlay(FHandle, false);
  SetState(STATE_PLAYING);
  if (OnStateChange) OnStateChange(STATE_PLAYING);
}

void TAudioEngine::Stop() {
  if (FOpener) FOpener->StopRequested = true;
  BASS_ChannelStop(FHandle);
  SetState(STATE_STOPPED);
  if (OnStateChange) OnStateChange(STATE_STOPPED);
}

int32_t TAudioEngine::GetPosition() const {
  const QWORD Bytes = BASS_ChannelGetPosition(FHandle, BASS_POS_BYTE);
  if (Bytes == QWORD(-1)) return 0;
  return SecondsToMs(BASS_ChannelBytes2Seconds(FHandle, Bytes));
}

void TAudioEngine::SetPosition(int32_t Ms) {
  const QWORD Bytes = BASS_ChannelSeconds2Bytes(FHandle, static_cast<float>(Ms) / 1000.0f);
  if (Bytes != QWORD(-1)) BASS_ChannelSetPosition(FHandle, Bytes, BASS_POS_BYTE);
}

int32_t TAudioEngine::GetLength() const {
  if (FLengthBytes <= 0) return 0;
  return SecondsToMs(BASS_ChannelBytes2Seconds(FHandle, static_cast<QWORD>(FLengthBytes)));
}

void TAudioEngine::SetVolume(float Value) {
  FVolume = Value;
  BASS_ChannelSetAttribute(FHandle, BASS_ATTRIB_VOL, FVolume / 100.0f);
}

void TAudioEngine::CreateEqualizer() {
  for (size_t I = 0; I < FEqHandles.size(); ++I) {
    FEqHandles[I] = BASS_ChannelSetFX(FHandle, BASS_FX_DX8_PARAMEQ, EqPriority);
    const BASS_DX8_PARAMEQ Params{static_cast<float>(FEqCenters[I]), EqBandwidth, 0.0f};
    BASS_FXSetParameters(FEqHandles[I], &Params);
  }
}

void TAudioEngine::ApplyEqualizer() { SetEqualizer(FEqGains); }

void TAudioEngine::SetEqualizer(const TEqGains& Gains) {
  FEqGains = Gains;
  for (size_t I = 0; I < FEqHandles.size(); ++I) {
    BASS_DX8_PARAMEQ Params{};
    BASS_FXGetParameters(FEqHandles[I], &Params);
    Params.fGain = static_cast<float>(Gains[I]);
    BASS_FXSetParameters(FEqHandles[I], &Params);
  }
}

void TAudioEngine::ResetEqualizer() { SetEqualizer(TEqGains{}); }

void TAudioEngine::ReadTags(const std::string& FileName, TTags& Tags) {
  Tags = TTags{};
  // A decoding stream never reaches the output, so the playing one is undisturbed.
  const HSTREAM Stream = BASS_StreamCreateFile(false, FileName.c_str(), 0, 0, BASS_STREAM_DECODE);
  if (!Stream) return;
  const QWORD Bytes = BASS_ChannelGetLength(Stream, BASS_POS_BYTE);
  const float Days = Bytes == QWORD(-1) ? 0.0f : static_cast<float>(BASS_ChannelBytes2Seconds(Stream, Bytes)) / 86400.0f;
  Tags.Length = std::isnan(Days) || Days < 0 ? 0.0 : Days;
  Tags.Title = TAGS_Read(Stream, "%TITL");
  Tags.Artist = TAGS_Read(Stream, "%ARTI");
  Tags.Album = TAGS_Read(Stream, "%ALBM");
  BASS_StreamFree(Stream);
}

void TAudioEngine::TimerTick() {
  const int32_t Now = State();
  if (!OnTick || Now == STATE_STOPPED) return;
  const int32_t PositionMs = GetPosition();
  FWaveData.fill(0);
  if (Now == STATE_PLAYING) BASS_ChannelGetData(FHandle, FWaveData.data(), 2048);
  OnTick(Now, GetLength(), PositionMs, FAuxData, FWaveData);
}

void TAudioEngine::SetState(int32_t State) { FState = State; }

void TAudioEngine::ReportError(int32_t Code, int32_t Detail) {
  if (OnError) OnError(Code, Detail);
}

void TAudioEngine::EndSync(HSYNC, DWORD, DWORD, void* User) {
  auto& Engine = *static_cast<TAudioEngine*>(User);
  Engine.SetState(STATE_ENDED);
  if (Engine.OnTrackEnd) Engine.OnTrackEnd(STATE_ENDED);
}

void TAudioEngine::DownloadProc(const void* Buffer, DWORD Length, void* User) {
  auto& Engine = *static_cast<TAudioEngine*>(User);
  try {
    if (Engine.OnDownload) Engine.OnDownload(Buffer, Length, nullptr);
  } catch (...) {
    // The download goes on whatever the handler met.
  }
}

}  // namespace vemro
