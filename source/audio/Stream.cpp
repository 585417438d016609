#include "audio/Stream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace vemro::audio {

void TFrameRing::Write(const float* Frames, size_t Count) {
  const size_t Cap = Capacity();
  size_t W = FWrite.load(std::memory_order_relaxed);
  for (size_t I = 0; I < Count; ++I, ++W) {
    FData[(W % Cap) * 2] = Frames[I * 2];
    FData[(W % Cap) * 2 + 1] = Frames[I * 2 + 1];
  }
  FWrite.store(W, std::memory_order_release);
}

size_t TFrameRing::Read(float* Frames, size_t Count) {
  const size_t Cap = Capacity();
  size_t R = FRead.load(std::memory_order_relaxed);
  const size_t N = std::min(Count, FWrite.load(std::memory_order_acquire) - R);
  for (size_t I = 0; I < N; ++I, ++R) {
    Frames[I * 2] = FData[(R % Cap) * 2];
    Frames[I * 2 + 1] = FData[(R % Cap) * 2 + 1];
  }
  FRead.store(R, std::memory_order_release);
  return N;
}

void TFrameRing::DropBefore(size_t Written) {
  if (FRead.load(std::memory_order_relaxed) < Written) FRead.store(Written, std::memory_order_release);
}

TStream::TStream(DWORD Handle, DWORD Flags, std::unique_ptr<IByteSource> Source,
                 std::unique_ptr<IAudioDecoder> Decoder)
    : FHandle(Handle),
      FFlags(Flags),
      FSource(std::move(Source)),
      FDecoder(std::move(Decoder)),
      FFormat(FDecoder->Format()),
      FLengthFrames(FDecoder->Length()),
      FRing(Flags & BASS_STREAM_DECODE ? 0 : 8192),
      FHistory(Flags & BASS_STREAM_DECODE ? 0 : HistoryFrames * 2) {
  FDecoded.resize(Block * FFormat.Channels);
  FStereo.resize(Block * 2);
  if (FFormat.Rate != OutputRate) {
    const soxr_quality_spec_t Quality = soxr_quality_spec(SOXR_HQ, 0);
    FResampler = soxr_create(FFormat.Rate, OutputRate, 2, nullptr, nullptr, &Quality, nullptr);
  }
}

TStream::~TStream() {
  Shutdown();
  if (FResampler) soxr_delete(FResampler);
}

int64_t TStream::LengthBytes() const { return FLengthFrames < 0 ? -1 : FLengthFrames * BytesPerFrame(); }

int64_t TStream::PositionBytes() const {
  int64_t Frame = FBaseFrame.load() + FPlayedFrames.load() * FFormat.Rate / OutputRate;
  if (FLengthFrames >= 0) Frame = std::min(Frame, FLengthFrames);
  return Frame * BytesPerFrame();
}

bool TStream::SetPositionBytes(int64_t Bytes) {
  const int64_t Frame = Bytes / BytesPerFrame();
  if (Frame < 0 || (FLengthFrames >= 0 && Frame > FLengthFrames)) return false;
  if (FSource->Streaming() && FLengthFrames > 0 && FSource->Size() > 0) {
    // The file offset of a frame, as far as a constant byte rate tells it.
    const double Needed = static_cast<double>(Frame) / FLengthFrames * FSource->Size();
    if (Needed > FSource->Available()) return false;
  }
  // A decoding thread waiting on a download lets go of the chain.
  FInterrupt = true;
  FSource->SetInterrupted(true);
  std::lock_guard Guard(FDecodeLock);
  // The seek itself must not wait for data that has not arrived.
  const bool Moved = FDecoder->Seek(Frame);
  FSource->SetInterrupted(false);
  FInterrupt = false;
  if (!Moved) {
    // A failed seek may leave the decoder anywhere: put it back where playback is.
    FDecoder->Seek(PositionBytes() / BytesPerFrame());
    ResetChain();
    return false;
  }
  ResetChain();
  FBaseFrame = Frame;
  FPlayedFrames = 0;
  FDrained = false;
  FFlushBefore = FRing.WriteCount();
  FFlushPending = true;
  return true;
}

void TStream::ResetChain() {
  if (FResampler) soxr_clear(FResampler);
  FPending.clear();
  FPendingRead = 0;
  FDecoderDone = false;
  FEqualizer.Reset();
}

// Decodes one block into FPending (stereo at the output rate); sets FDecoderDone at
// the end. False when a seek interrupted the read.
bool TStream::DecodeIntoPending() {
  FPending.clear();
  FPendingRead = 0;
  const int64_t Got = FDecoder->Read(FDecoded.data(), Block);
  if (Got < 0 && FInterrupt) return false;
  const int C = FFormat.Channels;
  for (int64_t F = 0; F < std::max<int64_t>(Got, 0); ++F) {
    const float* In = &FDecoded[F * C];
    if (C == 1) {
      FStereo[F * 2] = FStereo[F * 2 + 1] = In[0];
    } else if (C == 2) {
      FStereo[F * 2] = In[0];
      FStereo[F * 2 + 1] = In[1];
    } else {
      // Even channels fold to the left, odd ones to the right.
      float L = 0, R = 0;
      for (int I = 0; I < C; ++I) (I % 2 ? R : L) += In[I];
      FStereo[F * 2] = L / static_cast<float>((C + 1) / 2);
      FStereo[F * 2 + 1] = R / static_cast<float>(C / 2);
    }
  }
  if (!FResampler) {
    if (Got <= 0) FDecoderDone = true;
    else FPending.assign(FStereo.begin(), FStereo.begin() + Got * 2);
    return true;
  }
  // Got <= 0: the decoder is done; drain what the resampler holds back.
  const size_t InFrames = static_cast<size_t>(std::max<int64_t>(Got, 0));
  size_t Consumed = 0;
  do {
    const size_t Room = (InFrames - Consumed) * OutputRate / FFormat.Rate + 256;
    const size_t Old = FPending.size();
    FPending.resize(Old + Room * 2);
    size_t InDone = 0, OutDone = 0;
    soxr_process(FResampler, InFrames ? FStereo.data() + Consumed * 2 : nullptr, InFrames - Consumed, &InDone,
                 FPending.data() + Old, Room, &OutDone);
    Consumed += InDone;
    FPending.resize(Old + OutDone * 2);
    if (!InFrames && OutDone == 0) FDecoderDone = true;
  } while (InFrames && Consumed < InFrames);
  return true;
}

int64_t TStream::Produce(float* Out, int64_t Count) {
  int64_t Made = 0;
  while (Made < Count) {
    if (FPendingRead * 2 >= FPending.size()) {
      if (FDecoderDone || !DecodeIntoPending()) break;
      continue;
    }
    const size_t N = std::min<size_t>(Count - Made, FPending.size() / 2 - FPendingRead);
    std::memcpy(Out + Made * 2, FPending.data() + FPendingRead * 2, N * 2 * sizeof(float));
    FPendingRead += N;
    Made += static_cast<int64_t>(N);
  }
  ApplyFx(Out, Made);
  return Made;
}

void TStream::ApplyFx(float* Frames, int64_t Count) {
  if (FFxChanged.exchange(false)) {
    std::vector<TPeakingBand> Bands;
    {
      std::lock_guard Guard(FFxLock);
      for (const TFx& Fx : FFx) Bands.push_back({Fx.Params.fCenter, Fx.Params.fBandwidth, Fx.Params.fGain});
    }
    FEqualizer.Configure(OutputRate, Bands);
  }
  FEqualizer.Process(Frames, static_cast<long>(Count));
}

int64_t TStream::Pull(float* Frames, int64_t Count) {
  std::lock_guard Guard(FDecodeLock);
  const int64_t Made = Produce(Frames, Count);
  FPlayedFrames += Made;
  return Made;
}

void TStream::Play(bool Restart) {
  if (Restart || FDrained) SetPositionBytes(0);
  StartThread();
  FState = Playing;
  FWake.notify_all();
}

void TStream::Pause() { FState = Paused; }
void TStream::Stop() { FState = Stopped; }

DWORD TStream::Activity() const {
  switch (FState.load()) {
    case Playing:
      return FRing.Available() == 0 && !FDrained ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
    case Paused:
      return BASS_ACTIVE_PAUSED;
    default:
      return BASS_ACTIVE_STOPPED;
  }
}

void TStream::MixInto(float* Mix, float* Scratch, size_t Count) {
  if (FFlushPending.exchange(false)) {
    FRing.DropBefore(FFlushBefore.load());
    FPlayedFrames = 0;
  }
  if (FState.load(std::memory_order_relaxed) != Playing) return;
  const size_t Got = FRing.Read(Scratch, Count);
  FPlayedFrames.fetch_add(static_cast<int64_t>(Got), std::memory_order_relaxed);
  const float Volume = FVolume.load(std::memory_order_relaxed);
  for (size_t I = 0; I < Got * 2; ++I) Mix[I] += Scratch[I] * Volume;
  while (FHistoryLock.test_and_set(std::memory_order_acquire)) {
  }
  for (size_t I = 0; I < Got * 2; ++I) {
    FHistory[FHistoryPos] = static_cast<int16_t>(std::lrint(std::clamp(Scratch[I], -1.0f, 1.0f) * 32767.0f));
    FHistoryPos = (FHistoryPos + 1) % FHistory.size();
  }
  FHistoryLock.clear(std::memory_order_release);
}

void TStream::RecentOutput(int16_t* Samples, size_t Bytes) const {
  const size_t Count = std::min(Bytes / 2, FHistory.size());
  while (FHistoryLock.test_and_set(std::memory_order_acquire)) {
  }
  size_t From = (FHistoryPos + FHistory.size() - Count) % FHistory.size();
  for (size_t I = 0; I < Count; ++I) Samples[I] = FHistory[(From + I) % FHistory.size()];
  FHistoryLock.clear(std::memory_order_release);
}

void TStream::StartThread() {
  if (!FThread.joinable() && !IsDecodeChannel()) FThread = std::thread([this] { DecodeLoop(); });
}

bool TStream::Refill() {
  std::lock_guard Guard(FDecodeLock);
  float Buffer[Block * 2];
  while (FRing.Free() >= Block && !FQuit) {
    const int64_t Made = Produce(Buffer, Block);
    if (Made > 0) FRing.Write(Buffer, static_cast<size_t>(Made));
    if (Made < static_cast<int64_t>(Block)) break;
  }
  return FDecoderDone && FPendingRead * 2 >= FPending.size();
}

void TStream::DecodeLoop() {
  using namespace std::chrono_literals;
  while (!FQuit) {
    {
      std::unique_lock Lock(FWakeLock);
      FWake.wait_for(Lock, 20ms, [this] { return FQuit.load(); });
    }
    if (FQuit) break;
    if (FState != Playing || FDrained) continue;
    const bool AllDecoded = Refill();
    if (AllDecoded && FRing.Available() == 0 && !FFlushPending && FState == Playing) {
      FDrained = true;
      FState = Stopped;
      if (FOnEnd) FOnEnd();
    }
  }
}

void TStream::Shutdown() {
  FQuit = true;
  FSource->Abort();
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

HFX TStream::AddFx(HFX Handle, int Priority) {
  std::lock_guard Guard(FFxLock);
  const BASS_DX8_PARAMEQ Default{1000.0f, 12.0f, 0.0f};
  // Higher priority first; equal priorities in the order they were set.
  auto Where = std::find_if(FFx.begin(), FFx.end(), [&](const TFx& F) { return F.Priority < Priority; });
  FFx.insert(Where, TFx{Handle, Priority, Default});
  FFxChanged = true;
  return Handle;
}

bool TStream::RemoveFx(HFX Handle) {
  std::lock_guard Guard(FFxLock);
  const auto Removed = std::erase_if(FFx, [&](const TFx& F) { return F.Handle == Handle; });
  FFxChanged = true;
  return Removed > 0;
}

bool TStream::SetFx(HFX Handle, const BASS_DX8_PARAMEQ& Params) {
  std::lock_guard Guard(FFxLock);
  for (auto& F : FFx)
    if (F.Handle == Handle) {
      F.Params = Params;
      FFxChanged = true;
      return true;
    }
  return false;
}

bool TStream::GetFx(HFX Handle, BASS_DX8_PARAMEQ& Params) const {
  std::lock_guard Guard(FFxLock);
  for (const auto& F : FFx)
    if (F.Handle == Handle) {
      Params = F.Params;
      return true;
    }
  return false;
}

}  // namespace vemro::audio
