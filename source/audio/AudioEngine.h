#pragma once
// TAudioEngine: the player's one owner of sound output. The main window creates it,
// attaches its events, and drives it from the UI thread: Play a file path or URL,
// Pause, Resume, Stop, seek, volume, the ten-band equalizer, and ReadTags for files
// being added to the list. Opening runs on a worker thread, one open at a time.
//
// Threads of the events:
// - UI thread (through the dispatcher): OnTick, OnError, OnStateChange for 1001, 1002,
//   1003 and 1006.
// - the opener thread: OnStateChange(STATE_CONNECTING), when a source did not open as
//   a file and is tried as a URL;
// - the audio library's threads: OnTrackEnd (sync thread) and OnDownload (download
//   thread).
// Handlers called off the UI thread must hand their work to the UI thread with
// IDispatcher::Post, never Send: the UI thread may be waiting for that very thread
// (Play frees the old stream, destruction waits for the opener).
//
// Errors never throw: they arrive as OnError(Code, Detail):
//   (1004, -1)  the audio library has the wrong version (construction)
//   (1001, -2)  the output device failed to initialise (construction)
//   (1004, -3)  Play while an open was in flight; that request was dropped
//   (1006, n)   the source produced no stream; n is the library's error code of the
//               failed URL open (Bass.h), 0 when a Stop discarded the stream.

#include "audio/Bass.h"
#include "function/Dispatcher.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vemro {

constexpr int32_t STATE_STOPPED = 1001;
constexpr int32_t STATE_PLAYING = 1002;
constexpr int32_t STATE_PAUSED = 1003;
constexpr int32_t STATE_ENDED = 1004;
constexpr int32_t STATE_CONNECTING = 1005;
constexpr int32_t STATE_OPEN_FAILED = 1006;

struct TTags {
  std::string Title;
  std::string Artist;
  std::string Album;
  double Length = 0;  // days
};

// What OnTick hands out: AuxData is always zero; the first 2048 bytes of WaveData are
// the playing stream's most recent output (16-bit stereo), all zero when not playing.
using TAuxData = std::array<uint32_t, 1025>;
using TWaveData = std::array<uint32_t, 2049>;

using TEqGains = std::array<int32_t, 10>;

// Progress of a network song's download, shared with the main window's download
// writer: the engine sets DownloadTotal (0 for an endless stream) and resets both at
// each open; the writer advances DownloadDone.
extern std::atomic<int64_t> DownloadTotal;
extern std::atomic<int64_t> DownloadDone;

class TAudioEngine {
public:
  // AppFolder ends in "/"; its b_*.so format add-ins are loaded. WindowHandle is
  // handed to the library and may be null. Failures are kept in StartupError.
  TAudioEngine(IDispatcher& Dispatcher, void* WindowHandle, const std::string& AppFolder);
  // Stops (raising OnStateChange(1001)), waits for an open in flight, frees the library.
  ~TAudioEngine();
  TAudioEngine(const TAudioEngine&) = delete;
  TAudioEngine& operator=(const TAudioEngine&) = delete;

  // The filter text of the original library, kept for add-in authors.
  static std::string FixedFileFilter();

  // Frees the current stream and opens Source (a file path, else a URL) on the
  // opener thread; ends in 1002 or 1006. Refused with (1004, -3) while opening.
  void Play(const std::string& Source);
  void Pause();
  void Resume();
  // Also asks a running open to discard its stream.
  void Stop();
  // Milliseconds; 0 without a stream.
  int32_t GetPosition() const;
  void SetPosition(int32_t Ms);
  int32_t GetLength() const;
  // 0 to 100; kept for the streams opened later.
  void SetVolume(float Value);

  // Gains in dB of the bands at 80, 170, 310, 600, 1000, 3000, 6000, 10000, 12000 and
  // 14000 Hz; kept and applied to every stream opened later.
  void SetEqualizer(const TEqGains& Gains);
  void ResetEqualizer();
  const TEqGains& EqGains() const { return FEqGains; }

  // Title, artist, album and length of a file, read on a separate stream; all empty
  // and 0 when it does not open.
  void ReadTags(const std::string& FileName, TTags& Tags);

  int32_t State() const { return FState.load(); }
  // "所有音乐|*.mp1;...;*.aif" and the patterns of every loaded add-in.
  const std::string& FileFilter() const { return FFileFilter; }
  // 0, or the construction error's detail (-1, -2) that OnError could not yet report.
  int32_t StartupError() const { return FStartupError; }

  std::function<void(int32_t State, int32_t LengthMs, int32_t PositionMs, const TAuxData& AuxData,
                     const TWaveData& WaveData)>
      OnTick;
  std::function<void(int32_t Code, int32_t Detail)> OnError;
  std::function<void(int32_t State)> OnStateChange;
  std::function<void(int32_t State)> OnTrackEnd;
  // Buffer null once the download is complete; User is always null.
  std::function<void(const void* Buffer, uint32_t Length, void* User)> OnDownload;

private:
  struct TOpener;

  void LoadPlugins(const std::string& AppFolder);
  void RunOpener(TOpener& Opener);
  void OpenFinished(const std::shared_ptr<TOpener>& Opener);
  void CreateEqualizer();
  void ApplyEqualizer();
  void TimerTick();
  void SetState(int32_t State);
  void ReportError(int32_t Code, int32_t Detail);
  static void EndSync(HSYNC Sync, DWORD Channel, DWORD Data, void* User);
  static void DownloadProc(const void* Buffer, DWORD Length, void* User);

  IDispatcher& FDispatcher;
  HSTREAM FHandle = 0;
  HPLUGIN FLastPlugin = 0;
  int64_t FLengthBytes = 0;
  std::unique_ptr<TTimer> FTimer;
  void* FWindow;
  std::array<HFX, 10> FEqHandles{};
  static constexpr std::array<int32_t, 10> FEqCenters{80, 170, 310, 600, 1000, 3000, 6000, 10000, 12000, 14000};
  TAuxData FAuxData{};
  TWaveData FWaveData{};
  TEqGains FEqGains{};
  std::atomic<int32_t> FState{STATE_STOPPED};
  std::string FSource;
  float FVolume = 0;
  std::string FFileFilter;
  std::shared_ptr<TOpener> FOpener;
  bool FLibraryReady = false;
  int32_t FStartupError = 0;
  // Tasks the opener posts check it: they may run after the engine is gone.
  std::shared_ptr<int> FLifetime = std::make_shared<int>(0);
};

}  // namespace vemro
