// b_ffmpeg.so: FLAC, Opus and MPEG-4 audio (AAC, ALAC) through FFmpeg's libraries.

#include "audio/AudioAddin.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int IoBufferBytes = 64 * 1024;

struct TFormatRule {
  const char* Containers;  // FFmpeg demuxer names it accepts (any of them, ","-separated)
  AVCodecID Codec;         // AV_CODEC_ID_NONE: any audio codec
};

class TDecoder {
public:
  ~TDecoder() {
    av_frame_free(&FFrame);
    av_packet_free(&FPacket);
    swr_free(&FResampler);
    avcodec_free_context(&FCodec);
    if (FFormat) avformat_close_input(&FFormat);
    if (FIo) {
      av_freep(&FIo->buffer);
      avio_context_free(&FIo);
    }
  }

  bool Open(const VemroByteSource& Source, const TFormatRule& Rule, VemroAudioFormat& Out) {
    FSource = Source;
    auto* Buffer = static_cast<unsigned char*>(av_malloc(IoBufferBytes));
    FIo = avio_alloc_context(Buffer, IoBufferBytes, 0, this, &TDecoder::ReadPacket, nullptr, &TDecoder::SeekIo);
    if (!FIo) return false;
    if (FSource.Streaming) FIo->seekable = 0;
    FFormat = avformat_alloc_context();
    FFormat->pb = FIo;
    FFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&FFormat, nullptr, nullptr, nullptr) < 0) {
      FFormat = nullptr;  // freed by the failed open
      return false;
    }
    if (!ContainerAllowed(Rule.Containers) || avformat_find_stream_info(FFormat, nullptr) < 0) return false;
    FStream = av_find_best_stream(FFormat, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (FStream < 0) return false;
    const AVCodecParameters* Params = FFormat->streams[FStream]->codecpar;
    if (Rule.Codec != AV_CODEC_ID_NONE && Params->codec_id != Rule.Codec) return false;
    const AVCodec* Codec = avcodec_find_decoder(Params->codec_id);
    if (!Codec) return false;
    FCodec = avcodec_alloc_context3(Codec);
    if (!FCodec || avcodec_parameters_to_context(FCodec, Params) < 0 || avcodec_open2(FCodec, Codec, nullptr) < 0)
      return false;
    FChannels = FCodec->ch_layout.nb_channels;
    FRate = FCodec->sample_rate;
    if (FChannels <= 0 || FRate <= 0) return false;
    if (swr_alloc_set_opts2(&FResampler, &FCodec->ch_layout, AV_SAMPLE_FMT_FLT, FRate, &FCodec->ch_layout,
                            FCodec->sample_fmt, FRate, 0, nullptr) < 0 ||
        swr_init(FResampler) < 0)
      return false;
    FFrame = av_frame_alloc();
    FPacket = av_packet_alloc();
    Out = {FRate, FChannels};
    return FFrame && FPacket;
  }

  int64_t Length() const {
    const AVStream* S = FFormat->streams[FStream];
    if (S->duration != AV_NOPTS_VALUE && S->duration > 0)
      return av_rescale_q(S->duration, S->time_base, AVRational{1, FRate});
    if (FFormat->duration != AV_NOPTS_VALUE && FFormat->duration > 0)
      return av_rescale(FFormat->duration, FRate, AV_TIME_BASE);
    return -1;
  }

  int64_t Read(float* Frames, int64_t Count) {
    int64_t Done = 0;
    while (Done < Count) {
      if (FPendingRead < FPending.size()) {
        const size_t N = std::min<size_t>((FPending.size() - FPendingRead) / FChannels, Count - Done);
        std::memcpy(Frames + Done * FChannels, FPending.data() + FPendingRead, N * FChannels * sizeof(float));
        FPendingRead += N * FChannels;
        Done += static_cast<int64_t>(N);
        continue;
      }
      const int Got = NextFrame();
      if (Got < 0) return Done ? Done : -1;
      if (Got == 0) break;
    }
    return Done;
  }

  bool Seek(int64_t Frame) {
    const AVStream* S = FFormat->streams[FStream];
    const int64_t Target = av_rescale_q(Frame, AVRational{1, FRate}, S->time_base);
    if (av_seek_frame(FFormat, FStream, Target, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(FCodec);
    FPending.clear();
    FPendingRead = 0;
    FEnded = false;
    FSkipTo = Frame;
    return true;
  }

private:
  static int ReadPacket(void* Self, uint8_t* Buffer, int Size) {
    auto& Source = static_cast<TDecoder*>(Self)->FSource;
    const int64_t Got = Source.Read(Source.Context, Buffer, Size);
    if (Got < 0) return AVERROR(EIO);
    return Got == 0 ? AVERROR_EOF : static_cast<int>(Got);
  }

  static int64_t SeekIo(void* Self, int64_t Offset, int Whence) {
    auto& Source = static_cast<TDecoder*>(Self)->FSource;
    if (Whence == AVSEEK_SIZE) return Source.Size(Source.Context);
    return Source.Seek(Source.Context, Offset, Whence & ~AVSEEK_FORCE);
  }

  bool ContainerAllowed(const char* Names) const {
    const std::string Wanted = std::string(",") + Names + ",";
    std::string Found = FFormat->iformat->name;
    size_t Start = 0;
    while (Start <= Found.size()) {
      const size_t End = std::min(Found.find(',', Start), Found.size());
      if (Wanted.find("," + Found.substr(Start, End - Start) + ",") != std::string::npos) return true;
      Start = End + 1;
    }
    return false;
  }

  // Decodes the next frame into FPending: 1 when there is one, 0 at the end, -1 on error.
  int NextFrame() {
    for (;;) {
      const int Received = avcodec_receive_frame(FCodec, FFrame);
      if (Received == 0) return TakeFrame() ? 1 : 0;
      if (Received == AVERROR_EOF) return 0;
      if (Received != AVERROR(EAGAIN)) return -1;
      if (FEnded) return 0;
      const int Read = av_read_frame(FFormat, FPacket);
      if (Read < 0) {
        FEnded = true;
        avcodec_send_packet(FCodec, nullptr);  // drain
        continue;
      }
      if (FPacket->stream_index == FStream) avcodec_send_packet(FCodec, FPacket);
      av_packet_unref(FPacket);
    }
  }

  bool TakeFrame() {
    const int Samples = FFrame->nb_samples;
    FPending.resize(static_cast<size_t>(Samples) * FChannels);
    uint8_t* Out[] = {reinterpret_cast<uint8_t*>(FPending.data())};
    const int Converted =
        swr_convert(FResampler, Out, Samples, const_cast<const uint8_t**>(FFrame->extended_data), Samples);
    FPending.resize(static_cast<size_t>(std::max(Converted, 0)) * FChannels);
    FPendingRead = 0;
    if (FSkipTo >= 0 && FFrame->best_effort_timestamp != AV_NOPTS_VALUE) {
      // After a seek, drop what lies before the wanted frame.
      const AVStream* S = FFormat->streams[FStream];
      const int64_t Start = av_rescale_q(FFrame->best_effort_timestamp, S->time_base, AVRational{1, FRate});
      const int64_t Drop = std::clamp<int64_t>(FSkipTo - Start, 0, Converted);
      FPendingRead = static_cast<size_t>(Drop) * FChannels;
      if (Start + Converted >= FSkipTo) FSkipTo = -1;
    }
    av_frame_unref(FFrame);
    return true;
  }

  VemroByteSource FSource{};
  AVIOContext* FIo = nullptr;
  AVFormatContext* FFormat = nullptr;
  AVCodecContext* FCodec = nullptr;
  SwrContext* FResampler = nullptr;
  AVFrame* FFrame = nullptr;
  AVPacket* FPacket = nullptr;
  int FStream = -1;
  int FChannels = 0;
  int FRate = 0;
  bool FEnded = false;
  int64_t FSkipTo = -1;
  std::vector<float> FPending;
  size_t FPendingRead = 0;
};

template <const TFormatRule& Rule>
void* OpenAs(const VemroByteSource* Source, VemroAudioFormat* Format) {
  auto* Decoder = new TDecoder;
  if (Decoder->Open(*Source, Rule, *Format)) return Decoder;
  delete Decoder;
  return nullptr;
}

int64_t ReadFrames(void* D, float* Frames, int64_t Count) { return static_cast<TDecoder*>(D)->Read(Frames, Count); }
int SeekFrame(void* D, int64_t Frame) { return static_cast<TDecoder*>(D)->Seek(Frame) ? 1 : 0; }
int64_t LengthFrames(void* D) { return static_cast<TDecoder*>(D)->Length(); }
void CloseDecoder(void* D) { delete static_cast<TDecoder*>(D); }

constexpr TFormatRule Flac{"flac,ogg", AV_CODEC_ID_FLAC};
constexpr TFormatRule Opus{"ogg,webm,matroska", AV_CODEC_ID_OPUS};
constexpr TFormatRule Mpeg4{"mov,mp4,m4a,3gp,3g2,mj2,aac", AV_CODEC_ID_NONE};

const VemroDecoderApi Formats[] = {
    {"FLAC", "*.flac", &OpenAs<Flac>, &ReadFrames, &SeekFrame, &LengthFrames, &CloseDecoder},
    {"Opus", "*.opus", &OpenAs<Opus>, &ReadFrames, &SeekFrame, &LengthFrames, &CloseDecoder},
    {"MPEG-4 audio", "*.m4a;*.aac;*.mp4", &OpenAs<Mpeg4>, &ReadFrames, &SeekFrame, &LengthFrames, &CloseDecoder},
};

const VemroAudioAddinInfo Info{VEMRO_AUDIO_ADDIN_ABI, 0x0100, sizeof Formats / sizeof Formats[0], Formats};

}  // namespace

extern "C" __attribute__((visibility("default"))) const VemroAudioAddinInfo* VemroAudioAddin(void) {
  av_log_set_level(AV_LOG_QUIET);
  return &Info;
}
