#ifndef VEMRO_AUDIO_ADDIN_H
#define VEMRO_AUDIO_ADDIN_H
/* The C interface of a format add-in: a shared library "b_<name>.so" in the program
 * folder that exports VemroAudioAddin. The library calls it once after dlopen and keeps
 * the returned record (static storage in the add-in) until the add-in is freed.
 *
 * A decoder reads the compressed data through a VemroByteSource and hands out
 * interleaved 32-bit float frames at the data's own rate and channel count. Decoders
 * are used from one thread at a time. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VEMRO_AUDIO_ADDIN_ABI 1

typedef struct VemroByteSource {
  void* Context;
  /* Up to Size bytes into Buffer; 0 at the end of the data, -1 on error. May block
   * while a network stream waits for data. */
  int64_t (*Read)(void* Context, void* Buffer, int64_t Size);
  /* Whence as for fseek; returns the new offset or -1 when it cannot seek there. */
  int64_t (*Seek)(void* Context, int64_t Offset, int Whence);
  /* Total size in bytes, -1 when unknown. */
  int64_t (*Size)(void* Context);
  /* Non-zero while the data is still arriving: seek only backwards, never to the end. */
  int Streaming;
} VemroByteSource;

typedef struct VemroAudioFormat {
  int32_t Rate;
  int32_t Channels;
} VemroAudioFormat;

typedef struct VemroDecoderApi {
  const char* Name;     /* "FLAC" */
  const char* Patterns; /* "*.flac", several separated by ";" */
  /* Reads the start of Source; a decoder or NULL when the data is not this format.
   * Source stays valid until Close. */
  void* (*Open)(const VemroByteSource* Source, VemroAudioFormat* Format);
  /* Up to Count frames into Frames; 0 at the end, -1 on error. */
  int64_t (*Read)(void* Decoder, float* Frames, int64_t Count);
  /* Non-zero when the next Read starts at Frame. */
  int (*Seek)(void* Decoder, int64_t Frame);
  /* Length in frames, -1 when unknown. */
  int64_t (*Length)(void* Decoder);
  void (*Close)(void* Decoder);
} VemroDecoderApi;

typedef struct VemroAudioAddinInfo {
  uint32_t Abi; /* VEMRO_AUDIO_ADDIN_ABI */
  uint32_t Version;
  uint32_t FormatCount;
  const VemroDecoderApi* Formats;
} VemroAudioAddinInfo;

typedef const VemroAudioAddinInfo* (*VemroAudioAddinEntry)(void);
#define VEMRO_AUDIO_ADDIN_ENTRY "VemroAudioAddin"

#ifdef __cplusplus
}
#endif
#endif
