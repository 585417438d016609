// One plug-in source, built into a library per behaviour the host must cope with
// (see CMakeLists.txt). Each logs "<name> <msg>" to $VEMRO_TEST_PLUGIN_LOG.
#include "VemroPlugin.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#ifndef PLUGIN_ANSWER
#define PLUGIN_ANSWER 0
#endif
#ifndef PLUGIN_VERSION
#define PLUGIN_VERSION VEMRO_PLUGIN_VERSION
#endif
#ifndef PLUGIN_INTERFACE_VERSION
#define PLUGIN_INTERFACE_VERSION VEMRO_PLUGIN_INTERFACE_VERSION
#endif

namespace {

void Record(int32_t Msg) {
  const char* LogName = std::getenv("VEMRO_TEST_PLUGIN_LOG");
  if (!LogName) return;
  if (FILE* Log = std::fopen(LogName, "a")) {
    std::fprintf(Log, "%s %d\n", PLUGIN_NAME, static_cast<int>(Msg));
    std::fclose(Log);
  }
}

[[maybe_unused]] int32_t Proc(int32_t Msg, void*, int32_t) {
  Record(Msg);
#ifdef PLUGIN_THROW_IN_PROC
  throw std::runtime_error("plug-in failure");
#endif
  return PLUGIN_ANSWER;
}

#ifdef PLUGIN_NULL_PROC
[[maybe_unused]] TPluginInfo Info = {PLUGIN_VERSION, PLUGIN_INTERFACE_VERSION, {}, nullptr};
#else
[[maybe_unused]] TPluginInfo Info = {PLUGIN_VERSION, PLUGIN_INTERFACE_VERSION, {}, Proc};
#endif

}  // namespace

#ifndef PLUGIN_NO_EXPORT
extern "C" VEMRO_PLUGIN_EXPORT TPluginInfo* USPluginInfo(int32_t) {
#if defined(PLUGIN_THROW_IN_INFO)
  throw std::runtime_error("broken plug-in");
#elif defined(PLUGIN_NULL_RECORD)
  return nullptr;
#else
  return &Info;
#endif
}
#else
extern "C" VEMRO_PLUGIN_EXPORT int SomethingElse() { return Info.Version; }
#endif
