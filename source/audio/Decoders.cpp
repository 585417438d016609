// The built-in decoders and the adapter for add-in decoders.

#include "audio/AudioDecoder.h"

#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>
#include <sndfile.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace vemro::audio {
namespace {

// ---- mpg123: mp1, mp2, mp3 ----

class TMpg123Decoder : public IAudioDecoder {
public:
  ~TMpg123Decoder() override {
    if (FHandle) {
      mpg123_close(FHandle);
      mpg123_delete(FHandle);
    }
  }

  static std::unique_ptr<IAudioDecoder> Open(IByteSource& Source) {
    static std::once_flag Once;
    std::call_once(Once, [] { mpg123_init(); });
    auto Decoder = std::unique_ptr<TMpg123Decoder>(new TMpg123Decoder);
    return Decoder->Start(Source) ? std::move(Decoder) : nullptr;
  }

  TAudioFormat Format() const override { return FFormat; }
  int64_t Length() const override {
    const off_t Samples = mpg123_length(FHandle);
    return Samples < 0 ? -1 : Samples;
  }
  int64_t Read(float* Frames, int64_t Count) override {
    size_t Done = 0;
    const size_t Bytes = static_cast<size_t>(Count * FFormat.Channels) * sizeof(float);
    int Result;
    do {
      Result = mpg123_read(FHandle, Frames, Bytes, &Done);
    } while (Result == MPG123_NEW_FORMAT && Done == 0);
    if (Done == 0 && Result != MPG123_OK && Result != MPG123_DONE) return -1;
    return static_cast<int64_t>(Done / sizeof(float) / FFormat.Channels);
  }
  bool Seek(int64_t Frame) override { return mpg123_seek(FHandle, Frame, SEEK_SET) >= 0; }

private:
  TMpg123Decoder() = default;

  bool Start(IByteSource& Source) {
    FHandle = mpg123_new(nullptr, nullptr);
    if (!FHandle) return false;
    mpg123_param(FHandle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT, 0);
    // A download in progress has no end to look at yet.
    if (Source.Streaming()) mpg123_param(FHandle, MPG123_ADD_FLAGS, MPG123_NO_PEEK_END, 0);
    // Random bytes hold frame-like headers; a real stream finds its sync quickly.
    mpg123_param(FHandle, MPG123_RESYNC_LIMIT, 4096, 0);
    mpg123_replace_reader_handle(
        FHandle,
        [](void* S, void* Buffer, size_t Size) -> ssize_t {
          return static_cast<IByteSource*>(S)->Read(Buffer, static_cast<int64_t>(Size));
        },
        [](void* S, off_t Offset, int Whence) -> off_t {
          return static_cast<IByteSource*>(S)->Seek(Offset, Whence);
        },
        nullptr);
    if (mpg123_open_handle(FHandle, &Source) != MPG123_OK) return false;
    if (Source.Size() > 0) mpg123_set_filesize(FHandle, Source.Size());
    long Rate = 0;
    int Channels = 0, Encoding = 0;
    if (mpg123_getformat(FHandle, &Rate, &Channels, &Encoding) != MPG123_OK) return false;
    mpg123_format_none(FHandle);
    mpg123_format(FHandle, Rate, Channels, MPG123_ENC_FLOAT_32);
    FFormat = {static_cast<int32_t>(Rate), Channels};
    return Rate > 0 && Channels > 0;
  }

  mpg123_handle* FHandle = nullptr;
  TAudioFormat FFormat;
};

// ---- vorbisfile: ogg ----

class TVorbisDecoder : public IAudioDecoder {
public:
  ~TVorbisDecoder() override {
    if (FOpen) ov_clear(&FFile);
  }

  static std::unique_ptr<IAudioDecoder> Open(IByteSource& Source) {
    auto Decoder = std::unique_ptr<TVorbisDecoder>(new TVorbisDecoder);
    ov_callbacks Callbacks{};
    Callbacks.read_func = [](void* Buffer, size_t Size, size_t Count, void* S) -> size_t {
      const int64_t Got = static_cast<IByteSource*>(S)->Read(Buffer, static_cast<int64_t>(Size * Count));
      return Got <= 0 ? 0 : static_cast<size_t>(Got) / Size;
    };
    Callbacks.tell_func = [](void* S) -> long { return static_cast<long>(static_cast<IByteSource*>(S)->Tell()); };
    // vorbisfile looks at the end of a seekable file first, which a download lacks.
    if (!Source.Streaming()) {
      Callbacks.seek_func = [](void* S, ogg_int64_t Offset, int Whence) -> int {
        return static_cast<IByteSource*>(S)->Seek(Offset, Whence) < 0 ? -1 : 0;
      };
    }
    if (ov_open_callbacks(&Source, &Decoder->FFile, nullptr, 0, Callbacks) != 0) return nullptr;
    Decoder->FOpen = true;
    const vorbis_info* Info = ov_info(&Decoder->FFile, -1);
    if (!Info || Info->rate <= 0 || Info->channels <= 0) return nullptr;
    Decoder->FFormat = {static_cast<int32_t>(Info->rate), Info->channels};
    return Decoder;
  }

  TAudioFormat Format() const override { return FFormat; }
  int64_t Length() const override {
    const ogg_int64_t Frames = ov_pcm_total(const_cast<OggVorbis_File*>(&FFile), -1);
    return Frames < 0 ? -1 : Frames;
  }
  int64_t Read(float* Frames, int64_t Count) override {
    float** Planes = nullptr;
    int Section = 0;
    long Got;
    do {
      Got = ov_read_float(&FFile, &Planes, static_cast<int>(std::min<int64_t>(Count, 4096)), &Section);
    } while (Got == OV_HOLE);
    if (Got < 0) return -1;
    // A chained stream may change its layout; keep the opened one.
    const int Channels = std::min(ov_info(&FFile, -1)->channels, FFormat.Channels);
    for (long F = 0; F < Got; ++F)
      for (int C = 0; C < FFormat.Channels; ++C)
        Frames[F * FFormat.Channels + C] = C < Channels ? Planes[C][F] : Planes[0][F];
    return Got;
  }
  bool Seek(int64_t Frame) override { return ov_pcm_seek(&FFile, Frame) == 0; }

private:
  TVorbisDecoder() = default;
  OggVorbis_File FFile{};
  bool FOpen = false;
  TAudioFormat FFormat;
};

// ---- libsndfile: wav, aif, aiff ----

class TSndfileDecoder : public IAudioDecoder {
public:
  ~TSndfileDecoder() override {
    if (FFile) sf_close(FFile);
  }

  static std::unique_ptr<IAudioDecoder> Open(IByteSource& Source) {
    static SF_VIRTUAL_IO Io{
        [](void* S) -> sf_count_t { return static_cast<IByteSource*>(S)->Size(); },
        [](sf_count_t Offset, int Whence, void* S) -> sf_count_t {
          return static_cast<IByteSource*>(S)->Seek(Offset, Whence);
        },
        [](void* Buffer, sf_count_t Size, void* S) -> sf_count_t {
          return std::max<int64_t>(0, static_cast<IByteSource*>(S)->Read(Buffer, Size));
        },
        nullptr,
        [](void* S) -> sf_count_t { return static_cast<IByteSource*>(S)->Tell(); }};
    auto Decoder = std::unique_ptr<TSndfileDecoder>(new TSndfileDecoder);
    SF_INFO Info{};
    Decoder->FFile = sf_open_virtual(&Io, SFM_READ, &Info, &Source);
    if (!Decoder->FFile || Info.samplerate <= 0 || Info.channels <= 0) return nullptr;
    Decoder->FFormat = {Info.samplerate, Info.channels};
    Decoder->FLength = Info.frames;
    return Decoder;
  }

  TAudioFormat Format() const override { return FFormat; }
  int64_t Length() const override { return FLength; }
  int64_t Read(float* Frames, int64_t Count) override { return sf_readf_float(FFile, Frames, Count); }
  bool Seek(int64_t Frame) override { return sf_seek(FFile, Frame, SEEK_SET) == Frame; }

private:
  TSndfileDecoder() = default;
  SNDFILE* FFile = nullptr;
  TAudioFormat FFormat;
  int64_t FLength = -1;
};

// ---- libopenmpt: mod, s3m, it, xm, mtm, umx, mo3 ----

class TOpenmptDecoder : public IAudioDecoder {
public:
  static constexpr int32_t Rate = 44100;
  // Modules are small; a bigger "module" is not one.
  static constexpr int64_t MaxModuleBytes = 64 << 20;

  ~TOpenmptDecoder() override {
    if (FModule) openmpt_module_destroy(FModule);
  }

  static std::unique_ptr<IAudioDecoder> Open(IByteSource& Source) {
    std::string Data;
    char Block[65536];
    int64_t Got;
    while ((Got = Source.Read(Block, sizeof Block)) > 0) {
      Data.append(Block, static_cast<size_t>(Got));
      if (static_cast<int64_t>(Data.size()) > MaxModuleBytes) return nullptr;
    }
    if (Data.empty()) return nullptr;
    auto Decoder = std::unique_ptr<TOpenmptDecoder>(new TOpenmptDecoder);
    Decoder->FModule = openmpt_module_create_from_memory2(
        Data.data(), Data.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr,
        nullptr, nullptr, nullptr);
    if (!Decoder->FModule) return nullptr;
    const double Seconds = openmpt_module_get_duration_seconds(Decoder->FModule);
    Decoder->FLength = Seconds > 0 ? static_cast<int64_t>(Seconds * Rate + 0.5) : -1;
    return Decoder;
  }

  TAudioFormat Format() const override { return {Rate, 2}; }
  int64_t Length() const override { return FLength; }
  int64_t Read(float* Frames, int64_t Count) override {
    // libopenmpt renders a little past the duration it reports; the length it
    // reports is the one shown, so playback ends there.
    if (FLength >= 0) Count = std::min(Count, FLength - FPosition);
    if (Count <= 0) return 0;
    const auto Got = static_cast<int64_t>(
        openmpt_module_read_interleaved_float_stereo(FModule, Rate, static_cast<size_t>(Count), Frames));
    FPosition += Got;
    return Got;
  }
  bool Seek(int64_t Frame) override {
    FPosition = static_cast<int64_t>(openmpt_module_set_position_seconds(FModule, static_cast<double>(Frame) / Rate) * Rate + 0.5);
    return true;
  }

private:
  TOpenmptDecoder() = default;
  openmpt_module* FModule = nullptr;
  int64_t FLength = -1;
  int64_t FPosition = 0;
};

// ---- add-in decoders ----

class TAddinDecoder : public IAudioDecoder {
public:
  TAddinDecoder(const VemroDecoderApi& Api, void* Decoder, TAudioFormat Format, std::shared_ptr<void> Library)
      : FApi(Api), FDecoder(Decoder), FFormat(Format), FLibrary(std::move(Library)) {}
  ~TAddinDecoder() override { FApi.Close(FDecoder); }

  TAudioFormat Format() const override { return FFormat; }
  int64_t Length() const override { return FApi.Length(FDecoder); }
  int64_t Read(float* Frames, int64_t Count) override { return FApi.Read(FDecoder, Frames, Count); }
  bool Seek(int64_t Frame) override { return FApi.Seek(FDecoder, Frame) != 0; }

private:
  const VemroDecoderApi& FApi;
  void* FDecoder;
  TAudioFormat FFormat;
  std::shared_ptr<void> FLibrary;  // the add-in's code must outlive its decoder
};

}  // namespace

const std::vector<TDecoderKind>& BuiltInDecoders() {
  static const std::vector<TDecoderKind> Kinds{
      {"MPEG audio", "*.mp1;*.mp2;*.mp3", &TMpg123Decoder::Open, nullptr, nullptr},
      {"Ogg Vorbis", "*.ogg", &TVorbisDecoder::Open, nullptr, nullptr},
      {"WAV/AIFF", "*.wav;*.aif;*.aiff", &TSndfileDecoder::Open, nullptr, nullptr},
      {"Tracker modules", "*.mod;*.s3m;*.it;*.xm;*.mtm;*.umx;*.mo3", &TOpenmptDecoder::Open, nullptr, nullptr},
  };
  return Kinds;
}

std::unique_ptr<IAudioDecoder> OpenAddinDecoder(const TDecoderKind& Kind, IByteSource& Source) {
  VemroAudioFormat Format{};
  void* Decoder = Kind.Addin->Open(&Source.AsAddinSource(), &Format);
  if (!Decoder) return nullptr;
  if (Format.Rate <= 0 || Format.Channels <= 0) {
    Kind.Addin->Close(Decoder);
    return nullptr;
  }
  return std::make_unique<TAddinDecoder>(*Kind.Addin, Decoder, TAudioFormat{Format.Rate, Format.Channels},
                                         Kind.Library);
}

}  // namespace vemro::audio
