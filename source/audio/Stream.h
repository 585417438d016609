#pragma once
// One stream of the audio library: a decoder, the processing chain (channels to
// stereo, resampling to the output rate, effects) and, for a played stream, the ring
// buffer its decoding thread fills ahead of the output callback.

#include "audio/AudioDecoder.h"
#include "audio/Bass.h"
#include "audio/PeakingFilter.h"

#include <soxr.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vemro::audio {

constexpr int32_t OutputRate = 44100;

// Single producer (the decoding thread), single consumer (the output callback).
class TFrameRing {
public:
  explicit TFrameRing(size_t Frames) : FData(Frames * 2) {}
  size_t Capacity() const { return FData.size() / 2; }
  size_t Available() const { return FWrite.load(std::memory_order_acquire) - FRead.load(std::memory_order_acquire); }
  size_t Free() const { return Capacity() - Available(); }
  void Write(const float* Frames, size_t Count);
  size_t Read(float* Frames, size_t Count);
  // Only while neither side runs.
  size_t WriteCount() const { return FWrite.load(std::memory_order_acquire); }
  // Consumer side: forget what was written before the producer's count Written.
  void DropBefore(size_t Written);

private:
  std::vector<float> FData;
  std::atomic<size_t> FWrite{0};
  std::atomic<size_t> FRead{0};
};

struct TFx {
  HFX Handle;
  int Priority;
  BASS_DX8_PARAMEQ Params;
};

class TStream {
public:
  TStream(DWORD Handle, DWORD Flags, std::unique_ptr<IByteSource> Source, std::unique_ptr<IAudioDecoder> Decoder);
  ~TStream();

  DWORD Handle() const { return FHandle; }
  DWORD Flags() const { return FFlags; }
  bool IsDecodeChannel() const { return FFlags & BASS_STREAM_DECODE; }
  IByteSource& Source() { return *FSource; }
  TAudioFormat Format() const { return FFormat; }
  // In bytes of the stream's own format; -1 when unknown.
  int64_t LengthBytes() const;
  int64_t PositionBytes() const;
  bool SetPositionBytes(int64_t Bytes);
  int BytesPerFrame() const { return FFormat.Channels * 2; }

  // Playback, for streams that are not decoding channels.
  void Play(bool Restart);
  void Pause();
  void Stop();
  DWORD Activity() const;
  void SetVolume(float Volume) { FVolume.store(Volume); }
  float Volume() const { return FVolume.load(); }
  // Output callback: adds this stream's next Count frames into Mix, times the volume.
  void MixInto(float* Mix, float* Scratch, size_t Count);
  // The last Bytes (16-bit stereo) the output took from this stream.
  void RecentOutput(int16_t* Samples, size_t Bytes) const;
  // Stops the decoding thread; the stream makes no more sound and fires no more syncs.
  void Shutdown();

  // Decoding channels: the next Count frames of processed sound; 0 once ended.
  int64_t Pull(float* Frames, int64_t Count);

  HFX AddFx(HFX Handle, int Priority);
  bool RemoveFx(HFX Handle);
  bool SetFx(HFX Handle, const BASS_DX8_PARAMEQ& Params);
  bool GetFx(HFX Handle, BASS_DX8_PARAMEQ& Params) const;

  // Runs when playback reaches the end, on the decoding thread.
  void SetEndHandler(std::function<void()> OnEnd) { FOnEnd = std::move(OnEnd); }

private:
  enum TPlayState { Stopped, Playing, Paused };
  static constexpr size_t Block = 2048;
  static constexpr size_t HistoryFrames = 2048;

  int64_t Produce(float* Out, int64_t Count);
  bool Refill();
  bool DecodeIntoPending();
  void ApplyFx(float* Frames, int64_t Count);
  void ResetChain();
  void DecodeLoop();
  void StartThread();

  const DWORD FHandle;
  const DWORD FFlags;
  std::unique_ptr<IByteSource> FSource;
  std::unique_ptr<IAudioDecoder> FDecoder;
  const TAudioFormat FFormat;
  const int64_t FLengthFrames;

  // The chain, guarded by FDecodeLock.
  mutable std::mutex FDecodeLock;
  soxr_t FResampler = nullptr;
  std::vector<float> FDecoded, FStereo, FPending;
  size_t FPendingRead = 0;
  bool FDecoderDone = false;  // the decoder and the resampler gave everything
  int64_t FProducedFrames = 0;  // output frames made since the last seek (decoding channels)
  std::atomic<bool> FInterrupt{false};

  mutable std::mutex FFxLock;
  std::vector<TFx> FFx;
  TPeakingCascade FEqualizer;  // the decode side's copy of FFx, rebuilt when FFxChanged
  std::atomic<bool> FFxChanged{false};

  // Playback.
  TFrameRing FRing;
  std::atomic<int> FState{Stopped};
  std::atomic<bool> FDrained{false};  // everything decoded went out
  std::atomic<float> FVolume{1.0f};
  std::atomic<int64_t> FBaseFrame{0};     // source frame at the last seek
  std::atomic<int64_t> FPlayedFrames{0};  // output frames played since then
  std::atomic<size_t> FFlushBefore{0};  // the callback drops ring frames written before this
  std::atomic<bool> FFlushPending{false};
  mutable std::atomic_flag FHistoryLock = ATOMIC_FLAG_INIT;
  std::vector<int16_t> FHistory;
  size_t FHistoryPos = 0;

  std::function<void()> FOnEnd;
  std::thread FThread;
  std::mutex FWakeLock;
  std::condition_variable FWake;
  std::atomic<bool> FQuit{false};
};

}  // namespace vemro::audio
