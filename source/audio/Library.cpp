// The audio library's calls: output device, stream table, channels, effects, syncs.

#include "audio/Library.h"
#include "audio/NetSource.h"
#include "audio/Plugins.h"
#include "audio/Stream.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace vemro {
namespace audio {
namespace {

thread_local int LastError = BASS_OK;

template <typename T>
T Fail(int Code, T Result) {
  LastError = Code;
  return Result;
}

template <typename T>
T Succeed(T Result) {
  LastError = BASS_OK;
  return Result;
}

struct TSync {
  HSYNC Handle;
  SYNCPROC Proc;
  void* User;
};

// The SDL device and the mixing callback. The callback holds SDL's device lock while
// it runs; the stream list changes only under that lock.
class TOutput {
public:
  bool Open(int Device) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec Want{};
    Want.freq = OutputRate;
    Want.format = AUDIO_F32SYS;
    Want.channels = 2;
    Want.samples = 1024;
    Want.callback = &TOutput::Callback;
    Want.userdata = this;
    SDL_AudioSpec Have{};
    const char* Name = Device > 0 ? SDL_GetAudioDeviceName(Device - 1, 0) : nullptr;
    if (Device > 0 && !Name) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    FScratch.assign(Want.samples * 2, 0.0f);
    FStreams.reserve(64);
    FDevice = SDL_OpenAudioDevice(Name, 0, &Want, &Have, 0);
    if (FDevice == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    SDL_PauseAudioDevice(FDevice, 0);
    FRunning = true;
    return true;
  }

  void Close() {
    if (!FDevice) return;
    SDL_CloseAudioDevice(FDevice);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    FDevice = 0;
    FStreams.clear();
  }

  bool IsOpen() const { return FDevice != 0; }
  void SetRunning(bool Running) {
    SDL_PauseAudioDevice(FDevice, Running ? 0 : 1);
    FRunning = Running;
  }
  bool Running() const { return FRunning; }

  void Add(TStream* Stream) {
    SDL_LockAudioDevice(FDevice);
    FStreams.push_back(Stream);
    SDL_UnlockAudioDevice(FDevice);
  }
  void Remove(TStream* Stream) {
    if (!FDevice) return;
    SDL_LockAudioDevice(FDevice);
    std::erase(FStreams, Stream);
    SDL_UnlockAudioDevice(FDevice);
  }

private:
  static void Callback(void* Self, Uint8* Bytes, int Length) {
    auto& Output = *static_cast<TOutput*>(Self);
    auto* Mix = reinterpret_cast<float*>(Bytes);
    const size_t Frames = static_cast<size_t>(Length) / (2 * sizeof(float));
    std::fill(Mix, Mix + Frames * 2, 0.0f);
    const size_t Step = Output.FScratch.size() / 2;
    for (size_t Done = 0; Done < Frames; Done += Step) {
      const size_t N = std::min(Step, Frames - Done);
      for (TStream* Stream : Output.FStreams) Stream->MixInto(Mix + Done * 2, Output.FScratch.data(), N);
    }
    for (size_t I = 0; I < Frames * 2; ++I) Mix[I] = std::clamp(Mix[I], -1.0f, 1.0f);
  }

  SDL_AudioDeviceID FDevice = 0;
  bool FRunning = true;
  std::vector<float> FScratch;
  std::vector<TStream*> FStreams;
};

class TLibrary {
public:
  static TLibrary& Get() {
    static TLibrary Library;
    return Library;
  }

  int Init(int Device) {
    std::lock_guard Guard(FLock);
    if (FInitialised) return BASS_ERROR_ALREADY;
    if (Device < -1) return BASS_ERROR_DEVICE;
    if (Device != 0 && !FOutput.Open(Device < 0 ? 0 : Device)) return Device < 0 ? BASS_ERROR_DRIVER : BASS_ERROR_DEVICE;
    FInitialised = true;
    FSyncQuit = false;
    FSyncThread = std::thread([this] { SyncLoop(); });
    return BASS_OK;
  }

  int Free() {
    std::vector<DWORD> Handles;
    {
      std::lock_guard Guard(FLock);
      if (!FInitialised) return BASS_ERROR_INIT;
      for (const auto& [Handle, Stream] : FStreams) Handles.push_back(Handle);
    }
    for (DWORD Handle : Handles) FreeStream(Handle);
    {
      std::lock_guard Guard(FSyncQueueLock);
      FSyncQuit = true;
    }
    FSyncWake.notify_all();
    if (FSyncThread.joinable() && FSyncThread.get_id() != std::this_thread::get_id()) FSyncThread.join();
    std::lock_guard Guard(FLock);
    FOutput.Close();
    FInitialised = false;
    return BASS_OK;
  }

  int SetRunning(bool Running) {
    std::lock_guard Guard(FLock);
    if (!FInitialised) return BASS_ERROR_INIT;
    if (FOutput.IsOpen()) FOutput.SetRunning(Running);
    return BASS_OK;
  }

  bool Initialised() {
    std::lock_guard Guard(FLock);
    return FInitialised;
  }

  HSTREAM AddStream(DWORD Flags, std::unique_ptr<IByteSource> Source, std::unique_ptr<IAudioDecoder> Decoder) {
    std::lock_guard Guard(FLock);
    const DWORD Handle = 0x80000000u | ++FLastHandle;
    auto Stream = std::make_shared<TStream>(Handle, Flags, std::move(Source), std::move(Decoder));
    if (!Stream->IsDecodeChannel()) {
      Stream->SetEndHandler([this, Handle] { QueueEnd(Handle); });
      if (FOutput.IsOpen()) FOutput.Add(Stream.get());
    }
    FStreams.emplace(Handle, std::move(Stream));
    return Handle;
  }

  std::shared_ptr<TStream> Find(DWORD Handle) {
    std::lock_guard Guard(FLock);
    const auto It = FStreams.find(Handle);
    return It == FStreams.end() ? nullptr : It->second;
  }

  std::shared_ptr<TStream> FindByFx(HFX Fx) {
    std::lock_guard Guard(FLock);
    const auto Owner = FFxOwners.find(Fx);
    if (Owner == FFxOwners.end()) return nullptr;
    const auto It = FStreams.find(Owner->second);
    return It == FStreams.end() ? nullptr : It->second;
  }

  bool CanPlay() {
    std::lock_guard Guard(FLock);
    return FOutput.IsOpen();
  }
  bool OutputRunning() {
    std::lock_guard Guard(FLock);
    return FOutput.Running();
  }

  bool FreeStream(DWORD Handle) {
    std::shared_ptr<TStream> Stream;
    {
      std::lock_guard Guard(FLock);
      const auto It = FStreams.find(Handle);
      if (It == FStreams.end()) return false;
      Stream = std::move(It->second);
      FStreams.erase(It);
      FSyncs.erase(Handle);
      std::erase_if(FFxOwners, [&](const auto& Entry) { return Entry.second == Handle; });
      FOutput.Remove(Stream.get());
    }
    Stream->Shutdown();
    // No sync of the stream may run once it is freed, unless it is the caller.
    if (std::this_thread::get_id() != FSyncThread.get_id()) std::lock_guard Wait(FSyncCallLock);
    return true;
  }

  HFX AddFx(DWORD Handle, int Priority) {
    auto Stream = Find(Handle);
    if (!Stream) return 0;
    std::lock_guard Guard(FLock);
    const HFX Fx = 0x40000000u | ++FLastHandle;
    FFxOwners.emplace(Fx, Handle);
    return Stream->AddFx(Fx, Priority);
  }

  void ForgetFx(HFX Fx) {
    std::lock_guard Guard(FLock);
    FFxOwners.erase(Fx);
  }

  HSYNC AddSync(DWORD Handle, SYNCPROC Proc, void* User) {
    std::lock_guard Guard(FLock);
    if (!FStreams.count(Handle)) return 0;
    const HSYNC Sync = 0x10000000u | ++FLastHandle;
    FSyncs[Handle].push_back({Sync, Proc, User});
    return Sync;
  }

  TNetOptions NetOptions() const {
    return {static_cast<int>(FNetTimeout.load()), FNetPlaylist.load() != 0};
  }
  std::atomic<DWORD> FNetTimeout{5000};
  std::atomic<DWORD> FNetBuffer{5000};
  std::atomic<DWORD> FNetPrebuf{75};
  std::atomic<DWORD> FNetPlaylist{0};

private:
  void QueueEnd(DWORD Handle) {
    {
      std::lock_guard Guard(FSyncQueueLock);
      FSyncQueue.push_back(Handle);
    }
    FSyncWake.notify_all();
  }

  void SyncLoop() {
    for (;;) {
      DWORD Handle;
      {
        std::unique_lock Lock(FSyncQueueLock);
        FSyncWake.wait(Lock, [this] { return FSyncQuit || !FSyncQueue.empty(); });
        if (FSyncQueue.empty()) return;
        Handle = FSyncQueue.front();
        FSyncQueue.pop_front();
      }
      std::lock_guard Running(FSyncCallLock);
      std::vector<TSync> Syncs;
      {
        std::lock_guard Guard(FLock);
        const auto It = FSyncs.find(Handle);
        if (It != FSyncs.end()) Syncs = It->second;
      }
      for (const TSync& Sync : Syncs) Sync.Proc(Sync.Handle, Handle, 0, Sync.User);
    }
  }

  std::mutex FLock;
  bool FInitialised = false;
  TOutput FOutput;
  DWORD FLastHandle = 0;
  std::map<DWORD, std::shared_ptr<TStream>> FStreams;
  std::map<HFX, DWORD> FFxOwners;
  std::map<DWORD, std::vector<TSync>> FSyncs;

  std::thread FSyncThread;
  std::mutex FSyncQueueLock;
  std::condition_variable FSyncWake;
  std::deque<DWORD> FSyncQueue;
  bool FSyncQuit = false;
  std::mutex FSyncCallLock;  // held while sync procedures run
};

TLibrary& Library() { return TLibrary::Get(); }

std::string PathPart(const std::string& Url) { return Url.substr(0, Url.find_first_of("?#")); }

// Kinds whose patterns claim the name come first and alone; a name no kind claims
// (a radio URL, a file without extension) tries every kind in order.
std::unique_ptr<IAudioDecoder> OpenDecoder(IByteSource& Source, const std::string& Name) {
  const std::vector<TDecoderKind> Kinds = AllDecoderKinds();
  std::vector<const TDecoderKind*> Candidates;
  for (const auto& Kind : Kinds)
    if (MatchesPatterns(Name, Kind.Patterns)) Candidates.push_back(&Kind);
  if (Candidates.empty())
    for (const auto& Kind : Kinds) Candidates.push_back(&Kind);
  for (const TDecoderKind* Kind : Candidates) {
    if (Source.Seek(0, SEEK_SET) != 0) return nullptr;
    auto Decoder = Kind->Open ? Kind->Open(Source) : OpenAddinDecoder(*Kind, Source);
    if (Decoder) return Decoder;
  }
  return nullptr;
}

HSTREAM CreateStream(std::unique_ptr<IByteSource> Source, const std::string& Name, DWORD Flags) {
  auto Decoder = OpenDecoder(*Source, Name);
  if (!Decoder) return Fail(BASS_ERROR_FILEFORM, 0u);
  return Succeed(Library().AddStream(Flags, std::move(Source), std::move(Decoder)));
}

// Waits for the pre-buffer: a percentage of the network buffer, whose length in
// bytes follows from the stream's byte rate (Content-Length over duration).
void PreBuffer(TNetSource& Source, const IAudioDecoder& Decoder) {
  const DWORD Percent = std::min<DWORD>(Library().FNetPrebuf, 100);
  if (Percent == 0) return;
  const TAudioFormat Format = Decoder.Format();
  double BytesPerSecond = 16000;  // 128 kbit/s when the rate cannot be told
  if (Source.ContentLength() > 0 && Decoder.Length() > 0)
    BytesPerSecond = static_cast<double>(Source.ContentLength()) * Format.Rate / static_cast<double>(Decoder.Length());
  const double Want = BytesPerSecond * Library().FNetBuffer / 1000.0 * Percent / 100.0;
  Source.WaitForBytes(static_cast<int64_t>(Want), static_cast<int>(Library().FNetTimeout));
}

// The stream of a call, or nullptr with BASS_ERROR_HANDLE.
std::shared_ptr<TStream> Channel(DWORD Handle) {
  auto Stream = Library().Find(Handle);
  if (!Stream) LastError = BASS_ERROR_HANDLE;
  return Stream;
}

}  // namespace

void SetLastError(int Code) { LastError = Code; }

std::string StreamFileName(DWORD Handle) {
  auto Stream = Library().Find(Handle);
  return Stream ? Stream->Source().FileName() : std::string();
}

}  // namespace audio

using namespace audio;

DWORD BASS_GetVersion() { return Succeed((BASSVERSION << 16) | 0x0100); }
int BASS_ErrorGetCode() { return LastError; }

BOOL BASS_Init(int Device, DWORD, DWORD, void*, const void*) {
  const int Error = Library().Init(Device);
  return Error ? Fail(Error, 0) : Succeed(1);
}

BOOL BASS_Free() {
  const int Error = Library().Free();
  return Error ? Fail(Error, 0) : Succeed(1);
}

BOOL BASS_Start() {
  const int Error = Library().SetRunning(true);
  return Error ? Fail(Error, 0) : Succeed(1);
}

BOOL BASS_Stop() {
  const int Error = Library().SetRunning(false);
  return Error ? Fail(Error, 0) : Succeed(1);
}

BOOL BASS_SetConfig(DWORD Option, DWORD Value) {
  auto& L = Library();
  switch (Option) {
    case BASS_CONFIG_NET_TIMEOUT: L.FNetTimeout = Value; break;
    case BASS_CONFIG_NET_BUFFER: L.FNetBuffer = Value; break;
    case BASS_CONFIG_NET_PREBUF: L.FNetPrebuf = Value; break;
    case BASS_CONFIG_NET_PLAYLIST: L.FNetPlaylist = Value; break;
    default: return Fail(BASS_ERROR_ILLTYPE, 0);
  }
  return Succeed(1);
}

DWORD BASS_GetConfig(DWORD Option) {
  auto& L = Library();
  switch (Option) {
    case BASS_CONFIG_NET_TIMEOUT: return Succeed(L.FNetTimeout.load());
    case BASS_CONFIG_NET_BUFFER: return Succeed(L.FNetBuffer.load());
    case BASS_CONFIG_NET_PREBUF: return Succeed(L.FNetPrebuf.load());
    case BASS_CONFIG_NET_PLAYLIST: return Succeed(L.FNetPlaylist.load());
    default: return Fail(BASS_ERROR_ILLTYPE, DWORD(-1));
  }
}

HSTREAM BASS_StreamCreateFile(BOOL Mem, const void* File, QWORD Offset, QWORD Length, DWORD Flags) {
  if (!Library().Initialised()) return Fail(BASS_ERROR_INIT, 0u);
  if (!File) return Fail(BASS_ERROR_ILLPARAM, 0u);
  if (Mem) {
    if (Length == 0) return Fail(BASS_ERROR_ILLPARAM, 0u);
    return CreateStream(OpenMemorySource(static_cast<const char*>(File) + Offset, static_cast<int64_t>(Length)), "",
                        Flags);
  }
  if (Offset != 0 || Length != 0) return Fail(BASS_ERROR_ILLPARAM, 0u);
  const std::string Name = static_cast<const char*>(File);
  auto Source = OpenFileSource(Name);
  if (!Source) return Fail(BASS_ERROR_FILEOPEN, 0u);
  return CreateStream(std::move(Source), Name, Flags);
}

HSTREAM BASS_StreamCreateURL(const char* Url, DWORD Offset, DWORD Flags, DOWNLOADPROC Proc, void* User) {
  if (!Library().Initialised()) return Fail(BASS_ERROR_INIT, 0u);
  if (!Url || !*Url || Offset != 0) return Fail(BASS_ERROR_ILLPARAM, 0u);
  const std::string Text = Url;
  if (Text.find("://") == std::string::npos) return Fail(BASS_ERROR_FILEOPEN, 0u);
  int Error = BASS_OK;
  const TNetOptions Options = Library().NetOptions();
  auto Source = TNetSource::Open(Text, Options, Proc, User, Error);
  if (!Source) return Fail(Error, 0u);
  Source->SetReadTimeout(Options.TimeoutMs);
  auto Decoder = OpenDecoder(*Source, PathPart(Text));
  if (!Decoder) return Fail(BASS_ERROR_FILEFORM, 0u);
  Source->SetReadTimeout(-1);
  PreBuffer(*Source, *Decoder);
  return Succeed(Library().AddStream(Flags, std::move(Source), std::move(Decoder)));
}

QWORD BASS_StreamGetFilePosition(HSTREAM Handle, DWORD Mode) {
  auto Stream = Channel(Handle);
  if (!Stream) return QWORD(-1);
  IByteSource& Source = Stream->Source();
  const auto* Net = dynamic_cast<const TNetSource*>(&Source);
  switch (Mode) {
    case BASS_FILEPOS_CURRENT: return Succeed(static_cast<QWORD>(Source.Tell()));
    case BASS_FILEPOS_DOWNLOAD: return Succeed(static_cast<QWORD>(Net ? Net->Downloaded() : Source.Size()));
    case BASS_FILEPOS_END: return Succeed(static_cast<QWORD>(Net ? Net->ContentLength() : Source.Size()));
    default: return Fail(BASS_ERROR_ILLPARAM, QWORD(-1));
  }
}

BOOL BASS_StreamFree(HSTREAM Handle) {
  return Library().FreeStream(Handle) ? Succeed(1) : Fail(BASS_ERROR_HANDLE, 0);
}

QWORD BASS_ChannelGetLength(DWORD Handle, DWORD Mode) {
  auto Stream = Channel(Handle);
  if (!Stream) return QWORD(-1);
  if (Mode != BASS_POS_BYTE) return Fail(BASS_ERROR_ILLPARAM, QWORD(-1));
  const int64_t Bytes = Stream->LengthBytes();
  return Bytes < 0 ? Fail(BASS_ERROR_NOTAVAIL, QWORD(-1)) : Succeed(static_cast<QWORD>(Bytes));
}

double BASS_ChannelBytes2Seconds(DWORD Handle, QWORD Pos) {
  auto Stream = Channel(Handle);
  if (!Stream) return -1;
  const TAudioFormat F = Stream->Format();
  return Succeed(static_cast<double>(Pos / static_cast<QWORD>(Stream->BytesPerFrame())) / F.Rate);
}

QWORD BASS_ChannelSeconds2Bytes(DWORD Handle, double Pos) {
  auto Stream = Channel(Handle);
  if (!Stream) return QWORD(-1);
  if (!(Pos >= 0)) return Fail(BASS_ERROR_ILLPARAM, QWORD(-1));
  // The small margin keeps a frame count that went through a float on its frame.
  const auto Frames = static_cast<QWORD>(std::floor(Pos * Stream->Format().Rate + 1e-6));
  return Succeed(Frames * static_cast<QWORD>(Stream->BytesPerFrame()));
}

QWORD BASS_ChannelGetPosition(DWORD Handle, DWORD Mode) {
  auto Stream = Channel(Handle);
  if (!Stream) return QWORD(-1);
  if (Mode != BASS_POS_BYTE) return Fail(BASS_ERROR_ILLPARAM, QWORD(-1));
  return Succeed(static_cast<QWORD>(Stream->PositionBytes()));
}

BOOL BASS_ChannelSetPosition(DWORD Handle, QWORD Pos, DWORD Mode) {
  auto Stream = Channel(Handle);
  if (!Stream) return 0;
  if (Mode != BASS_POS_BYTE) return Fail(BASS_ERROR_ILLPARAM, 0);
  if (Pos > static_cast<QWORD>(INT64_MAX)) return Fail(BASS_ERROR_POSITION, 0);
  return Stream->SetPositionBytes(static_cast<int64_t>(Pos)) ? Succeed(1) : Fail(BASS_ERROR_POSITION, 0);
}

BOOL BASS_ChannelPlay(DWORD Handle, BOOL Restart) {
  auto Stream = Channel(Handle);
  if (!Stream) return 0;
  if (Stream->IsDecodeChannel()) return Fail(BASS_ERROR_DECODE, 0);
  if (!Library().CanPlay()) return Fail(BASS_ERROR_NOPLAY, 0);
  if (!Library().OutputRunning()) return Fail(BASS_ERROR_START, 0);
  Stream->Play(Restart != 0);
  return Succeed(1);
}

BOOL BASS_ChannelPause(DWORD Handle) {
  auto Stream = Channel(Handle);
  if (!Stream) return 0;
  if (Stream->Activity() == BASS_ACTIVE_STOPPED) return Fail(BASS_ERROR_NOPLAY, 0);
  Stream->Pause();
  return Succeed(1);
}

BOOL BASS_ChannelStop(DWORD Handle) {
  auto Stream = Channel(Handle);
  if (!Stream) return 0;
  Stream->Stop();
  return Succeed(1);
}

DWORD BASS_ChannelIsActive(DWORD Handle) {
  auto Stream = Channel(Handle);
  return Stream ? Succeed(Stream->Activity()) : BASS_ACTIVE_STOPPED;
}

BOOL BASS_ChannelSetAttribute(DWORD Handle, DWORD Attrib, float Value) {
  auto Stream = Channel(Handle);
  if (!Stream) return 0;
  if (Attrib != BASS_ATTRIB_VOL) return Fail(BASS_ERROR_ILLTYPE, 0);
  if (!(Value >= 0)) return Fail(BASS_ERROR_ILLPARAM, 0);
  Stream->SetVolume(std::min(Value, 1.0f));
  return Succeed(1);
}

BOOL BASS_ChannelGetAttribute(DWORD Handle, DWORD Attrib, float* Value) {
  auto Stream = Channel(Handle);
  if (!Stream) return 0;
  if (Attrib != BASS_ATTRIB_VOL || !Value) return Fail(BASS_ERROR_ILLTYPE, 0);
  *Value = Stream->Volume();
  return Succeed(1);
}

HSYNC BASS_ChannelSetSync(DWORD Handle, DWORD Type, QWORD, SYNCPROC Proc, void* User) {
  if (!Channel(Handle)) return 0;
  if (Type != BASS_SYNC_END) return Fail(BASS_ERROR_ILLTYPE, 0u);
  if (!Proc) return Fail(BASS_ERROR_ILLPARAM, 0u);
  const HSYNC Sync = Library().AddSync(Handle, Proc, User);
  return Sync ? Succeed(Sync) : Fail(BASS_ERROR_HANDLE, 0u);
}

DWORD BASS_ChannelGetData(DWORD Handle, void* Buffer, DWORD Length) {
  auto Stream = Channel(Handle);
  if (!Stream) return DWORD(-1);
  if (!Buffer) return Fail(BASS_ERROR_ILLPARAM, DWORD(-1));
  if (!Stream->IsDecodeChannel()) {
    Length = std::min<DWORD>(Length, 8192) & ~3u;
    Stream->RecentOutput(static_cast<int16_t*>(Buffer), Length);
    return Succeed(Length);
  }
  thread_local std::vector<float> Frames;
  const bool Float = Stream->Flags() & BASS_SAMPLE_FLOAT;
  const size_t FrameBytes = Float ? 8 : 4;
  Frames.resize(Length / FrameBytes * 2);
  const int64_t Got = Stream->Pull(Frames.data(), static_cast<int64_t>(Length / FrameBytes));
  if (Got == 0 && Length >= FrameBytes) return Fail(BASS_ERROR_ENDED, DWORD(-1));
  if (Float) {
    std::memcpy(Buffer, Frames.data(), static_cast<size_t>(Got) * FrameBytes);
    return Succeed(static_cast<DWORD>(Got * 8));
  }
  auto* Out = static_cast<int16_t*>(Buffer);
  for (int64_t I = 0; I < Got * 2; ++I)
    Out[I] = static_cast<int16_t>(std::lrint(std::clamp(Frames[I], -1.0f, 1.0f) * 32767.0f));
  return Succeed(static_cast<DWORD>(Got * 4));
}

HFX BASS_ChannelSetFX(DWORD Handle, DWORD Type, int Priority) {
  if (!Channel(Handle)) return 0;
  if (Type != BASS_FX_DX8_PARAMEQ) return Fail(BASS_ERROR_ILLTYPE, 0u);
  const HFX Fx = Library().AddFx(Handle, Priority);
  return Fx ? Succeed(Fx) : Fail(BASS_ERROR_HANDLE, 0u);
}

BOOL BASS_ChannelRemoveFX(DWORD Handle, HFX Fx) {
  auto Stream = Channel(Handle);
  if (!Stream) return 0;
  if (!Stream->RemoveFx(Fx)) return Fail(BASS_ERROR_HANDLE, 0);
  Library().ForgetFx(Fx);
  return Succeed(1);
}

BOOL BASS_FXSetParameters(HFX Handle, const void* Params) {
  auto Stream = Library().FindByFx(Handle);
  if (!Stream) return Fail(BASS_ERROR_HANDLE, 0);
  if (!Params) return Fail(BASS_ERROR_ILLPARAM, 0);
  BASS_DX8_PARAMEQ Eq;
  std::memcpy(&Eq, Params, sizeof Eq);
  const bool Valid = Eq.fCenter >= 80 && Eq.fCenter <= 16000 && Eq.fCenter < OutputRate / 2.0f &&
                     Eq.fBandwidth >= 1 && Eq.fBandwidth <= 36 && Eq.fGain >= -15 && Eq.fGain <= 15;
  if (!Valid) return Fail(BASS_ERROR_ILLPARAM, 0);
  return Stream->SetFx(Handle, Eq) ? Succeed(1) : Fail(BASS_ERROR_HANDLE, 0);
}

BOOL BASS_FXGetParameters(HFX Handle, void* Params) {
  auto Stream = Library().FindByFx(Handle);
  if (!Stream) return Fail(BASS_ERROR_HANDLE, 0);
  if (!Params) return Fail(BASS_ERROR_ILLPARAM, 0);
  BASS_DX8_PARAMEQ Eq;
  if (!Stream->GetFx(Handle, Eq)) return Fail(BASS_ERROR_HANDLE, 0);
  std::memcpy(Params, &Eq, sizeof Eq);
  return Succeed(1);
}

}  // namespace vemro
