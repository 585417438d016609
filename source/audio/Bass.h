#pragma once
// Vemro's audio library: decoding, resampling, effects and output for local files
// and network streams, with the call set and results of the BASS 2.4 family so the
// engine reads like one. Output is SDL2 audio at 44100 Hz stereo.
//
// Positions and lengths in bytes count 16-bit samples of the stream's own channels
// at the stream's own rate (one second of a 22050 Hz mono file is 44100 bytes), so
// BASS_ChannelBytes2Seconds and BASS_ChannelSeconds2Bytes round-trip.
//
// Threads: every call is thread-safe. Each playing stream decodes ahead on a thread of
// its own; the SDL callback only mixes what is ready. End syncs run on the library's
// one sync thread; download procedures run on the stream's download thread. A call
// that fails records its error for the calling thread (BASS_ErrorGetCode).

#include <cstdint>

namespace vemro {

using DWORD = uint32_t;
using QWORD = uint64_t;
using BOOL = int;
using HSTREAM = DWORD;
using HCHANNEL = DWORD;
using HSYNC = DWORD;
using HFX = DWORD;
using HPLUGIN = DWORD;

// BASS_GetVersion: high word 0x0204.
constexpr DWORD BASSVERSION = 0x0204;

// Error codes (BASS_ErrorGetCode).
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;       // out of memory
constexpr int BASS_ERROR_FILEOPEN = 2;  // the file (or URL) could not be opened
constexpr int BASS_ERROR_DRIVER = 3;    // no output device or driver
constexpr int BASS_ERROR_HANDLE = 5;    // not a valid (or a freed) handle
constexpr int BASS_ERROR_FORMAT = 6;    // sample format not supported
constexpr int BASS_ERROR_POSITION = 7;  // position out of range or not yet downloaded
constexpr int BASS_ERROR_INIT = 8;      // BASS_Init has not succeeded
constexpr int BASS_ERROR_START = 9;     // output paused by BASS_Stop
constexpr int BASS_ERROR_ALREADY = 14;  // already initialised / already playing
constexpr int BASS_ERROR_ILLTYPE = 19;  // unknown effect or attribute type
constexpr int BASS_ERROR_ILLPARAM = 20; // a parameter is out of range
constexpr int BASS_ERROR_DEVICE = 23;   // no such device
constexpr int BASS_ERROR_NOPLAY = 24;   // the channel is not playing
constexpr int BASS_ERROR_NOTFILE = 27;  // not a file stream
constexpr int BASS_ERROR_EMPTY = 31;    // the file holds no sound
constexpr int BASS_ERROR_NONET = 32;    // no connection could be made
constexpr int BASS_ERROR_NOTAVAIL = 37; // the value is not available
constexpr int BASS_ERROR_DECODE = 38;   // the channel is (or is not) a decoding channel
constexpr int BASS_ERROR_TIMEOUT = 40;  // the server did not answer in time
constexpr int BASS_ERROR_FILEFORM = 41; // no decoder recognised the data
constexpr int BASS_ERROR_ENDED = 45;    // a decoding channel has given all its sound
constexpr int BASS_ERROR_UNKNOWN = -1;

// BASS_Init flags: none are needed. Device -1 is the default output device;
// device 0 is "no sound" (only decoding channels work).

// Stream flags.
constexpr DWORD BASS_SAMPLE_FLOAT = 0x100;     // BASS_ChannelGetData of a decoding channel gives floats
constexpr DWORD BASS_STREAM_DECODE = 0x200000; // not played: BASS_ChannelGetData pulls the processed sound

// BASS_SetConfig options.
constexpr DWORD BASS_CONFIG_NET_TIMEOUT = 11;  // ms to wait for a server's answer (default 5000)
constexpr DWORD BASS_CONFIG_NET_BUFFER = 12;   // ms of sound a network stream buffers (default 5000)
constexpr DWORD BASS_CONFIG_NET_PREBUF = 15;   // % of that buffer filled before a URL stream opens
constexpr DWORD BASS_CONFIG_NET_PLAYLIST = 21; // 1: .pls/.m3u/.m3u8 URLs are followed to their first entry

// BASS_StreamGetFilePosition modes.
constexpr DWORD BASS_FILEPOS_CURRENT = 0;  // bytes of the file the decoder has read
constexpr DWORD BASS_FILEPOS_DOWNLOAD = 1; // bytes downloaded so far (network) / file size
constexpr DWORD BASS_FILEPOS_END = 2;      // total size: the file size, Content-Length, 0 when endless

constexpr DWORD BASS_POS_BYTE = 0;
constexpr DWORD BASS_ATTRIB_VOL = 2;
constexpr DWORD BASS_SYNC_END = 2;
constexpr DWORD BASS_FX_DX8_PARAMEQ = 7;

// BASS_ChannelIsActive results.
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_STALLED = 2; // playing, but waiting for data (network)
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

using DOWNLOADPROC = void (*)(const void* Buffer, DWORD Length, void* User);
using SYNCPROC = void (*)(HSYNC Handle, DWORD Channel, DWORD Data, void* User);

// The peaking equalizer's parameters: centre 80 to 16000 Hz (below half the output
// rate), bandwidth 1 to 36 semitones, gain -15 to +15 dB.
struct BASS_DX8_PARAMEQ {
  float fCenter;
  float fBandwidth;
  float fGain;
};

struct BASS_PLUGINFORM {
  DWORD ctype;       // running number of the format within its add-in
  const char* name;  // "FLAC"
  const char* exts;  // "*.flac"
};
struct BASS_PLUGININFO {
  DWORD version;
  DWORD formatc;
  const BASS_PLUGINFORM* formats;
};

DWORD BASS_GetVersion();
int BASS_ErrorGetCode();

BOOL BASS_Init(int Device, DWORD Freq, DWORD Flags, void* Window, const void* ClassId);
BOOL BASS_Free();
BOOL BASS_Start();
BOOL BASS_Stop();
BOOL BASS_SetConfig(DWORD Option, DWORD Value);
DWORD BASS_GetConfig(DWORD Option);

// File is a path (Mem false); a bare name is looked for in the running program's folder.
HPLUGIN BASS_PluginLoad(const char* File, DWORD Flags);
// nullptr for an unknown handle. The record lives as long as the add-in is loaded.
const BASS_PLUGININFO* BASS_PluginGetInfo(HPLUGIN Handle);
// Handle 0 frees every add-in. Streams already open on an add-in keep it loaded.
BOOL BASS_PluginFree(HPLUGIN Handle);

// Mem true: File points at Length bytes that must outlive the stream.
HSTREAM BASS_StreamCreateFile(BOOL Mem, const void* File, QWORD Offset, QWORD Length, DWORD Flags);
// Waits for the server's answer (BASS_CONFIG_NET_TIMEOUT), the pre-buffer and the
// decoder's first look at the data; the download then goes on in the background.
HSTREAM BASS_StreamCreateURL(const char* Url, DWORD Offset, DWORD Flags, DOWNLOADPROC Proc, void* User);
QWORD BASS_StreamGetFilePosition(HSTREAM Handle, DWORD Mode);
// Accepts 0 and stale handles (false, BASS_ERROR_HANDLE). Returns once no sync of the
// stream is running (unless called from that very sync) and no call of its DOWNLOADPROC
// is; the DOWNLOADPROC is not called afterwards, not even for the end of the download.
BOOL BASS_StreamFree(HSTREAM Handle);

// QWORD(-1) when the length is unknown (endless network stream) or on error.
QWORD BASS_ChannelGetLength(DWORD Handle, DWORD Mode);
double BASS_ChannelBytes2Seconds(DWORD Handle, QWORD Pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD Handle, double Pos);
QWORD BASS_ChannelGetPosition(DWORD Handle, DWORD Mode);
// Network streams seek only within what has arrived.
BOOL BASS_ChannelSetPosition(DWORD Handle, QWORD Pos, DWORD Mode);
BOOL BASS_ChannelPlay(DWORD Handle, BOOL Restart);
BOOL BASS_ChannelPause(DWORD Handle);
BOOL BASS_ChannelStop(DWORD Handle);
DWORD BASS_ChannelIsActive(DWORD Handle);
BOOL BASS_ChannelSetAttribute(DWORD Handle, DWORD Attrib, float Value);
BOOL BASS_ChannelGetAttribute(DWORD Handle, DWORD Attrib, float* Value);
HSYNC BASS_ChannelSetSync(DWORD Handle, DWORD Type, QWORD Param, SYNCPROC Proc, void* User);
// Playing channel: the most recent Length bytes (at most 8192) of its output, 16-bit
// stereo at 44100 Hz, zeros before anything played. Decoding channel: the next
// Length bytes of processed sound (floats with BASS_SAMPLE_FLOAT); fewer at the end,
// DWORD(-1) once ended. Returns the bytes written.
DWORD BASS_ChannelGetData(DWORD Handle, void* Buffer, DWORD Length);

// Effects run on the stream's sound, in priority order (higher first), before the volume.
HFX BASS_ChannelSetFX(DWORD Handle, DWORD Type, int Priority);
BOOL BASS_ChannelRemoveFX(DWORD Handle, HFX Fx);
BOOL BASS_FXSetParameters(HFX Handle, const void* Params);
BOOL BASS_FXGetParameters(HFX Handle, void* Params);

// Tags of a file stream: "%TITL", "%ARTI", "%ALBM" (also "%GNRE", "%YEAR", "%CMNT",
// "%TRCK"). The text is UTF-8 in a per-thread buffer, valid until the thread's next
// call; "" when the tag is absent or the handle is not a file stream.
const char* TAGS_Read(DWORD Handle, const char* Format);

}  // namespace vemro
