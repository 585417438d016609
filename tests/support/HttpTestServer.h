#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests of the network clients: one thread
// per connection, one request per connection, answers made by the test's handler,
// with the misbehaviours real servers show (slow, silent, cut off, endless).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vemro::test {

struct THttpRequest {
  std::string Method;
  std::string Target;  // as sent: path and query
  std::string Path;    // before "?"
  std::string Query;   // after "?", still encoded
  std::map<std::string, std::string> Headers;  // names in lower case
  // The decoded value of a query parameter, empty when absent.
  std::string Param(const std::string& Name) const;
};

struct THttpResponse {
  int Status = 200;
  std::string ContentType = "text/plain";
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;
  int DelayMs = 0;                 // pause before anything is sent
  bool NeverAnswer = false;        // keep the connection open and silent until Stop
  bool SendContentLength = true;   // false: the body ends when the connection closes
  size_t ChunkBytes = 0;           // send the body in pieces of this size (0: at once)
  int ChunkDelayMs = 0;            // pause between pieces
  bool Endless = false;            // repeat the body until the client leaves or Stop
  size_t CutAfterBytes = std::numeric_limits<size_t>::max();  // close after this many body bytes
};

class THttpTestServer {
public:
  using THandler = std::function<THttpResponse(const THttpRequest&)>;
  explicit THttpTestServer(THandler Handler);
  ~THttpTestServer();
  THttpTestServer(const THttpTestServer&) = delete;
  THttpTestServer& operator=(const THttpTestServer&) = delete;

  int Port() const { return FPort; }
  std::string BaseUrl() const;  // "http://127.0.0.1:<port>"
  std::vector<THttpRequest> Requests() const;
  // Closes the listener and every open connection, and waits for their threads.
  void Stop();

  // A port on 127.0.0.1 where nothing listens, for "the server is down".
  static int UnusedPort();

private:
  void AcceptLoop();
  void Serve(int Socket);
  bool SendAll(int Socket, const char* Data, size_t Size);
  bool Pause(int Ms);  // false when the server is stopping

  THandler FHandler;
  int FListener = -1;
  int FPort = 0;
  std::atomic<bool> FStopping{false};
  mutable std::mutex FLock;
  std::vector<THttpRequest> FRequests;
  std::vector<int> FOpenSockets;
  std::vector<std::thread> FConnections;
  std::thread FAcceptor;
};

}  // namespace vemro::test
