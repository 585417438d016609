/*
 * A sample plug-in: appends one line per message to the file named by the
 * environment variable VEMRO_SAMPLE_PLUGIN_LOG (nothing when it is unset).
 *
 *   100 accepted
 *   108 started <length in days>|<title>|<artist>|<path>
 *   ...
 *
 * Build: cc -shared -fPIC -fvisibility=hidden -o plugins/sample.so SamplePlugin.c
 */
#include "VemroPlugin.h"

#include <stdio.h>
#include <stdlib.h>

static void Record(int32_t Msg, const char* What, const TPluginTrackInfo* Track) {
  const char* LogName = getenv("VEMRO_SAMPLE_PLUGIN_LOG");
  if (!LogName) return;
  FILE* Log = fopen(LogName, "a");
  if (!Log) return;
  if (Track)
    fprintf(Log, "%d %s %.9f|%.*s|%.*s|%s\n", (int)Msg, What, Track->Length,
            (int)Track->TitleLen, Track->Title, (int)Track->ArtistLen, Track->Artist, Track->Path);
  else
    fprintf(Log, "%d %s\n", (int)Msg, What);
  fclose(Log);
}

static int32_t SampleProc(int32_t Msg, void* Data, int32_t Extra) {
  (void)Extra;
  switch (Msg) {
    case VEMRO_PLUGIN_MSG_ACCEPTED: Record(Msg, "accepted", NULL); break;
    case VEMRO_PLUGIN_MSG_UNLOADING: Record(Msg, "unloading", NULL); break;
    case VEMRO_PLUGIN_MSG_TRACK_STARTED: Record(Msg, "started", (const TPluginTrackInfo*)Data); break;
    case VEMRO_PLUGIN_MSG_TRACK_ENDED: Record(Msg, "ended", (const TPluginTrackInfo*)Data); break;
    default: Record(Msg, "unknown", NULL); break;
  }
  return 0;
}

static TPluginInfo SampleInfo = {VEMRO_PLUGIN_VERSION, VEMRO_PLUGIN_INTERFACE_VERSION, {0}, SampleProc};

VEMRO_PLUGIN_EXPORT TPluginInfo* USPluginInfo(int32_t HostVersion) {
  (void)HostVersion;
  return &SampleInfo;
}
