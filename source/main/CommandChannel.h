#pragma once
// How processes reach the running player: a per-user folder holding the instance lock
// and the command socket. Each message is a 12-byte frame (message, wParam, lParam as
// little-endian 32-bit integers); message 1807 is answered with a 4-byte little-endian
// result, every other message goes unanswered. Only peers of the same user are served.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace vemro {

constexpr int32_t WMCMDRECORD = 2734;
constexpr int32_t WMCMDPLAY = 1807;

struct TMessageFrame {
  int32_t Msg = 0;
  int32_t WParam = 0;
  int32_t LParam = 0;
};

constexpr size_t kFrameSize = 12;
std::array<unsigned char, kFrameSize> EncodeFrame(const TMessageFrame& Frame);
TMessageFrame DecodeFrame(const unsigned char* Bytes);

// $XDG_RUNTIME_DIR/vemro/, or /tmp/vemro-<uid>/ without it; created 0700. Throws
// std::runtime_error when it cannot be made or is not this user's private folder.
std::string InstanceFolder();
std::string CommandSocketPath(const std::string& Folder);

// The lock that makes one process the running instance. The kernel releases it when
// the process ends, however it ends.
class TInstanceLock {
public:
  // Null when another process holds the lock or the lock file cannot be opened.
  static std::unique_ptr<TInstanceLock> TryAcquire(const std::string& Folder);
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

private:
  explicit TInstanceLock(int Fd) : FFd(Fd) {}
  int FFd;
};

// Serves the command socket on the event loop of the thread that creates it, one frame
// at a time. Only the holder of the instance lock may create it (it replaces a stale
// socket file).
class TCommandServer {
public:
  using THandler = std::function<int32_t(const TMessageFrame& Frame)>;
  // Throws std::runtime_error when the socket cannot be set up.
  TCommandServer(const std::string& SocketPath, THandler Handler);
  ~TCommandServer();
  TCommandServer(const TCommandServer&) = delete;
  TCommandServer& operator=(const TCommandServer&) = delete;

private:
  struct TPeer;
  void Accept();
  void Serve(int Fd);
  void Drop(int Fd);

  std::string FPath;
  THandler FHandler;
  int FListenFd = -1;
  std::unique_ptr<QSocketNotifier> FListenNotifier;
  std::map<int, std::unique_ptr<TPeer>> FPeers;
};

// A connection to the running instance, as a second start or an outside program uses it.
class TCommandClient {
public:
  // Null when nothing serves SocketPath.
  static std::unique_ptr<TCommandClient> Connect(const std::string& SocketPath);
  ~TCommandClient();
  TCommandClient(const TCommandClient&) = delete;
  TCommandClient& operator=(const TCommandClient&) = delete;

  // False when the frame could not be written.
  bool Post(const TMessageFrame& Frame);
  // Posts the frame and waits for its 4-byte answer; nullopt on failure or timeout.
  std::optional<int32_t> Send(const TMessageFrame& Frame, int TimeoutMs = 5000);

private:
  explicit TCommandClient(int Fd) : FFd(Fd) {}
  int FFd;
};

}  // namespace vemro
