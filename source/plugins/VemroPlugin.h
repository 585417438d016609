/*
 * Vemro general-purpose plug-in interface. This header is all a plug-in needs.
 *
 * A plug-in is a shared library (plugins/<name>.so in the player's program folder)
 * exporting, with C linkage,
 *
 *     TPluginInfo* USPluginInfo(int32_t HostVersion);
 *
 * The player calls it once after loading the library, passing
 * VEMRO_PLUGIN_HOST_VERSION, and keeps the plug-in only when the returned record
 * carries Version 1 and InterfaceVersion 0x0100. The record belongs to the plug-in
 * and must stay valid until the library is unloaded. The player then calls Proc (when
 * it is not NULL) on its main thread, one message at a time; Proc must return
 * promptly. Every function uses the platform's C calling convention.
 *
 * Messages:
 *   100  accepted: the plug-in has just been taken into the player's table
 *   101  unloading: the library is about to be unloaded
 *   108  track started (or resumed after a pause); Data is a TPluginTrackInfo*
 *   109  track ended; Data is the TPluginTrackInfo* of the entry that is then current
 * Extra is 0 and the answers are not used. A TPluginTrackInfo and the texts it points
 * to are valid only during the call. Texts are NUL-terminated UTF-8.
 *
 * Layout. On a 32-bit build the records are exactly
 *   TPluginInfo:      Version 0 (2), InterfaceVersion 2 (2), plug-in data 4 (520),
 *                     Proc 524 (4); 528 bytes.
 *   TPluginTrackInfo: Path 0, reserved 4, Length 8 (double), Title 16, TitleLen 20,
 *                     Artist 24, ArtistLen 28; 32 bytes.
 * On a 64-bit build pointers take 8 bytes and are 8-aligned, so the records are
 *   TPluginInfo:      Version 0, InterfaceVersion 2, plug-in data 4 (520),
 *                     padding 524 (4), Proc 528 (8); 536 bytes.
 *   TPluginTrackInfo: Path 0 (8), reserved 8 (4), padding 12 (4), Length 16,
 *                     Title 24 (8), TitleLen 32 (4), padding 36 (4), Artist 40 (8),
 *                     ArtistLen 48 (4), padding 52 (4); 56 bytes.
 * Both follow from the plain declarations below; compile them as they stand.
 */
#ifndef VEMRO_PLUGIN_H
#define VEMRO_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VEMRO_PLUGIN_EXPORT_NAME "USPluginInfo"
#define VEMRO_PLUGIN_HOST_VERSION 0x0100
#define VEMRO_PLUGIN_VERSION 1
#define VEMRO_PLUGIN_INTERFACE_VERSION 0x0100

#define VEMRO_PLUGIN_MSG_ACCEPTED 100
#define VEMRO_PLUGIN_MSG_UNLOADING 101
#define VEMRO_PLUGIN_MSG_TRACK_STARTED 108
#define VEMRO_PLUGIN_MSG_TRACK_ENDED 109

/* Marks the export in a library built with -fvisibility=hidden. */
#define VEMRO_PLUGIN_EXPORT __attribute__((visibility("default")))

typedef int32_t (*TPluginProc)(int32_t Msg, void* Data, int32_t Extra);

typedef struct TPluginInfo {
  uint16_t Version;
  uint16_t InterfaceVersion;
  uint8_t PluginData[520]; /* the plug-in's own; the player never reads it */
  TPluginProc Proc;        /* NULL: the plug-in receives no messages */
} TPluginInfo;

typedef struct TPluginTrackInfo {
  const char* Path; /* file path or URL */
  int32_t Reserved; /* 0 */
  double Length;    /* stream length in days (milliseconds / 86400000) */
  const char* Title;
  int32_t TitleLen; /* bytes, without the NUL */
  const char* Artist;
  int32_t ArtistLen; /* bytes, without the NUL */
} TPluginTrackInfo;

typedef TPluginInfo* (*TPluginInfoFunc)(int32_t HostVersion);

#ifdef __cplusplus
#define VEMRO_PLUGIN_LAYOUT_ASSERT(Cond) static_assert(Cond, #Cond)
#else
#define VEMRO_PLUGIN_LAYOUT_ASSERT(Cond) _Static_assert(Cond, #Cond)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginInfo, InterfaceVersion) == 2);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginInfo, Proc) == 524);
VEMRO_PLUGIN_LAYOUT_ASSERT(sizeof(TPluginInfo) == 528);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, Reserved) == 4);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, Length) == 8);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, Title) == 16);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, TitleLen) == 20);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, Artist) == 24);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, ArtistLen) == 28);
VEMRO_PLUGIN_LAYOUT_ASSERT(sizeof(TPluginTrackInfo) == 32);
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginInfo, Proc) == 528);
VEMRO_PLUGIN_LAYOUT_ASSERT(sizeof(TPluginInfo) == 536);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, Length) == 16);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, Title) == 24);
VEMRO_PLUGIN_LAYOUT_ASSERT(offsetof(TPluginTrackInfo, Artist) == 40);
VEMRO_PLUGIN_LAYOUT_ASSERT(sizeof(TPluginTrackInfo) == 56);
#endif

#undef VEMRO_PLUGIN_LAYOUT_ASSERT

#ifdef __cplusplus
}
#endif

#endif /* VEMRO_PLUGIN_H */
