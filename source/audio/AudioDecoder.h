#pragma once
// The decoder seam: every format, built in or from an add-in, is an IAudioDecoder
// reading its data from an IByteSource (a file, memory, or a download in progress).

#include "audio/AudioAddin.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vemro::audio {

class IByteSource {
public:
  virtual ~IByteSource() = default;
  // 0 at the end, -1 on error; may block while a download waits for data.
  virtual int64_t Read(void* Buffer, int64_t Size) = 0;
  // Whence as for fseek; the new offset, or -1.
  virtual int64_t Seek(int64_t Offset, int Whence) = 0;
  virtual int64_t Tell() const = 0;
  // -1 when unknown.
  virtual int64_t Size() const = 0;
  // Bytes from the start that can be read without waiting.
  virtual int64_t Available() const { return Size(); }
  // True while the data is still arriving: decoders must not seek to the end.
  virtual bool Streaming() const { return false; }
  // The file's path, empty for memory and network sources.
  virtual std::string FileName() const { return {}; }
  // Thread-safe. While set, a Read that would have to wait for data returns -1 at once.
  virtual void SetInterrupted(bool) {}
  // Thread-safe. Every Read from now on returns -1 at once.
  virtual void Abort() {}

  // The same source through the add-in interface.
  const VemroByteSource& AsAddinSource();

private:
  VemroByteSource FAddinSource{};
};

std::unique_ptr<IByteSource> OpenFileSource(const std::string& FileName);
// Data must outlive the source.
std::unique_ptr<IByteSource> OpenMemorySource(const void* Data, int64_t Size);

struct TAudioFormat {
  int32_t Rate = 0;
  int32_t Channels = 0;
};

class IAudioDecoder {
public:
  virtual ~IAudioDecoder() = default;
  virtual TAudioFormat Format() const = 0;
  // Length in frames, -1 when unknown.
  virtual int64_t Length() const = 0;
  // Interleaved float frames; 0 at the end, -1 on error.
  virtual int64_t Read(float* Frames, int64_t Count) = 0;
  virtual bool Seek(int64_t Frame) = 0;
};

// One format a decoder understands, with the patterns it claims ("*.mp3;*.mp2").
struct TDecoderKind {
  std::string Name;
  std::string Patterns;
  // nullptr when the data is not this format. The source outlives the decoder.
  std::unique_ptr<IAudioDecoder> (*Open)(IByteSource& Source) = nullptr;
  const VemroDecoderApi* Addin = nullptr;  // set for add-in formats instead of Open
  std::shared_ptr<void> Library;          // keeps an add-in loaded while a decoder lives
};

// mpg123, vorbisfile, libsndfile, libopenmpt, in that order.
const std::vector<TDecoderKind>& BuiltInDecoders();
std::unique_ptr<IAudioDecoder> OpenAddinDecoder(const TDecoderKind& Kind, IByteSource& Source);

// True when the name's extension matches one of the ";"-separated "*.ext" patterns
// (ASCII letter case ignored).
bool MatchesPatterns(const std::string& Name, const std::string& Patterns);

}  // namespace vemro::audio
