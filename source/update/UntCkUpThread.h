#pragma once
// The once-per-start check against the update server: fetches the descriptor
// http://<host>/soft/cfg.xml on a thread of its own, reads its items and compares
// its version number with the program file's.

#include "function/Dispatcher.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vemro {

struct TUpdateCheckResult {
  bool DescriptorOk = false;  // the descriptor arrived and carries the marker "pelmar"
  bool UpdateFound = false;   // its version number is greater than the program's
  std::string UpdateFile;     // its "file" item: where the update package is
};

// Items the descriptor hands out to the whole program; empty until a check read them.
struct TServerValues {
  std::string MusicUrlPrefix;  // "musicpath": put in front of online track names
  std::string MinBoxValue;
  std::string RndMusicValue;
  std::string PosLrcValue;
  std::string TjValue;
};
// Thread-safe: a check may be writing them.
TServerValues ServerValues();

// A version number in the concatenated form ("423517"): decimal digits only, within
// 32 bits unsigned.
std::optional<uint32_t> ParseVersionNumber(const std::string& Text);

class TCheckUPDate {
public:
  using TTerminateHandler = std::function<void(const TUpdateCheckResult&)>;

  // Starts the check at once and returns. OnTerminate runs on the UI thread after the
  // check has ended, whatever happened. ExeName is the program file whose version
  // note is compared; Host is "name" or "name:port".
  TCheckUPDate(IDispatcher& Dispatcher, const std::string& ExeName, const std::string& Host,
               TTerminateHandler OnTerminate);
  // Never waits for the thread: a check still running then ends on its own, without
  // calling OnTerminate. May be called from OnTerminate.
  ~TCheckUPDate();
  TCheckUPDate(const TCheckUPDate&) = delete;
  TCheckUPDate& operator=(const TCheckUPDate&) = delete;

private:
  struct TState;
  std::shared_ptr<TState> FState;
};

}  // namespace vemro
