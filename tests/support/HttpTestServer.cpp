#include "HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace vemro::test {
namespace {

int ListenOnLoopback(int& Port) {
  int Socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Socket < 0) throw std::runtime_error("socket failed");
  int On = 1;
  ::setsockopt(Socket, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On);
  sockaddr_in Addr{};
  Addr.sin_family = AF_INET;
  Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(Socket, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr) != 0 ||
      ::listen(Socket, 64) != 0) {
    ::close(Socket);
    throw std::runtime_error("bind/listen failed");
  }
  socklen_t Len = sizeof Addr;
  ::getsockname(Socket, reinterpret_cast<sockaddr*>(&Addr), &Len);
  Port = ntohs(Addr.sin_port);
  return Socket;
}

std::string Lower(std::string S) {
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return std::tolower(C); });
  return S;
}

std::string DecodeComponent(const std::string& S) {
  std::string Out;
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] == '+') {
      Out += ' ';
    } else if (S[I] == '%' && I + 2 < S.size() && std::isxdigit(static_cast<unsigned char>(S[I + 1])) &&
               std::isxdigit(static_cast<unsigned char>(S[I + 2]))) {
      Out += static_cast<char>(std::stoi(S.substr(I + 1, 2), nullptr, 16));
      I += 2;
    } else {
      Out += S[I];
    }
  }
  return Out;
}

bool ParseHead(const std::string& Head, THttpRequest& Request) {
  size_t LineEnd = Head.find("\r\n");
  const std::string First = Head.substr(0, LineEnd);
  const size_t Sp1 = First.find(' ');
  const size_t Sp2 = First.find(' ', Sp1 + 1);
  if (Sp1 == std::string::npos || Sp2 == std::string::npos) return false;
  Request.Method = First.substr(0, Sp1);
  Request.Target = First.substr(Sp1 + 1, Sp2 - Sp1 - 1);
  const size_t Q = Request.Target.find('?');
  Request.Path = Request.Target.substr(0, Q);
  Request.Query = Q == std::string::npos ? "" : Request.Target.substr(Q + 1);
  while (LineEnd != std::string::npos && LineEnd + 2 < Head.size()) {
    const size_t Start = LineEnd + 2;
    LineEnd = Head.find("\r\n", Start);
    const std::string Line = Head.substr(Start, LineEnd - Start);
    const size_t Colon = Line.find(':');
    if (Colon == std::string::npos) continue;
    size_t ValueStart = Line.find_first_not_of(' ', Colon + 1);
    Request.Headers[Lower(Line.substr(0, Colon))] =
        ValueStart == std::string::npos ? "" : Line.substr(ValueStart);
  }
  return true;
}

const char* Reason(int Status) {
  switch (Status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

}  // namespace

std::string THttpRequest::Param(const std::string& Name) const {
  size_t Pos = 0;
  while (Pos <= Query.size()) {
    size_t End = Query.find('&', Pos);
    if (End == std::string::npos) End = Query.size();
    const std::string Pair = Query.substr(Pos, End - Pos);
    const size_t Eq = Pair.find('=');
    if (DecodeComponent(Pair.substr(0, Eq)) == Name)
      return Eq == std::string::npos ? "" : DecodeComponent(Pair.substr(Eq + 1));
    Pos = End + 1;
  }
  return "";
}

THttpTestServer::THttpTestServer(THandler Handler) : FHandler(std::move(Handler)) {
  FListener = ListenOnLoopback(FPort);
  FAcceptor = std::thread([this] { AcceptLoop(); });
}

THttpTestServer::~THttpTestServer() { Stop(); }

std::string THttpTestServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(FPort);
}

std::vector<THttpRequest> THttpTestServer::Requests() const {
  std::lock_guard Guard(FLock);
  return FRequests;
}

int THttpTestServer::UnusedPort() {
  int Port = 0;
  ::close(ListenOnLoopback(Port));
  return Port;
}

void THttpTestServer::Stop() {
  if (FStopping.exchange(true)) return;
  ::shutdown(FListener, SHUT_RDWR);
  if (FAcceptor.joinable()) FAcceptor.join();
  ::close(FListener);
  std::vector<std::thread> Connections;
  {
    std::lock_guard Guard(FLock);
    for (int Socket : FOpenSockets) ::shutdown(Socket, SHUT_RDWR);
    Connections.swap(FConnections);
  }
  for (auto& Connection : Connections) Connection.join();
}

void THttpTestServer::AcceptLoop() {
  while (!FStopping) {
    pollfd Wait{FListener, POLLIN, 0};
    if (::poll(&Wait, 1, 20) <= 0) continue;
    const int Socket = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (Socket < 0) continue;
    std::lock_guard Guard(FLock);
    if (FStopping) {
      ::close(Socket);
      break;
    }
    FOpenSockets.push_back(Socket);
    FConnections.emplace_back([this, Socket] { Serve(Socket); });
  }
}

bool THttpTestServer::Pause(int Ms) {
  const auto Until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
  while (!FStopping && std::chrono::steady_clock::now() < Until)
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(Ms, 10)));
  return !FStopping;
}

bool THttpTestServer::SendAll(int Socket, const char* Data, size_t Size) {
  while (Size > 0 && !FStopping) {
    const ssize_t Sent = ::send(Socket, Data, Size, MSG_NOSIGNAL);
    if (Sent <= 0) return false;
    Data += Sent;
    Size -= static_cast<size_t>(Sent);
  }
  return Size == 0;
}

void THttpTestServer::Serve(int Socket) {
  std::string Head;
  char Buffer[4096];
  while (Head.find("\r\n\r\n") == std::string::npos && Head.size() < 65536 && !FStopping) {
    pollfd Wait{Socket, POLLIN, 0};
    if (::poll(&Wait, 1, 20) <= 0) continue;
    const ssize_t Got = ::recv(Socket, Buffer, sizeof Buffer, 0);
    if (Got <= 0) break;
    Head.append(Buffer, static_cast<size_t>(Got));
  }
  THttpRequest Request;
  if (Head.find("\r\n\r\n") != std::string::npos && ParseHead(Head, Request)) {
    {
      std::lock_guard Guard(FLock);
      FRequests.push_back(Request);
    }
    const THttpResponse Response = FHandler(Request);
    if (Response.NeverAnswer) {
      while (Pause(50)) {
      }
    } else if (Pause(Response.DelayMs)) {
      std::string Out = "HTTP/1.1 " + std::to_string(Response.Status) + " " +
                        Reason(Response.Status) + "\r\nConnection: close\r\n";
      Out += "Content-Type: " + Response.ContentType + "\r\n";
      if (Response.SendContentLength && !Response.Endless)
        Out += "Content-Length: " + std::to_string(Response.Body.size()) + "\r\n";
      for (const auto& [Name, Value] : Response.Headers) Out += Name + ": " + Value + "\r\n";
      Out += "\r\n";
      bool Open = SendAll(Socket, Out.data(), Out.size());
      size_t SentBody = 0;
      do {
        for (size_t Pos = 0; Open && Pos < Response.Body.size();) {
          size_t Piece = Response.ChunkBytes ? Response.ChunkBytes : Response.Body.size();
          Piece = std::min({Piece, Response.Body.size() - Pos, Response.CutAfterBytes - SentBody});
          if (Piece == 0) {
            Open = false;
            break;
          }
          Open = SendAll(Socket, Response.Body.data() + Pos, Piece);
          Pos += Piece;
          SentBody += Piece;
          if (Open && Response.ChunkDelayMs) Open = Pause(Response.ChunkDelayMs);
        }
      } while (Open && Response.Endless && !Response.Body.empty());
    }
  }
  std::lock_guard Guard(FLock);
  std::erase(FOpenSockets, Socket);
  ::shutdown(Socket, SHUT_RDWR);
  ::close(Socket);
}

}  // namespace vemro::test
