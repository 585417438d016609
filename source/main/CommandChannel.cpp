#include "main/CommandChannel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vemro {
namespace {

constexpr size_t kMaxPeers = 32;

[[noreturn]] void Fail(const std::string& What) {
  throw std::runtime_error(What + ": " + std::strerror(errno));
}

void PutLittleEndian(unsigned char* Out, int32_t Value) {
  const auto U = static_cast<uint32_t>(Value);
  for (int I = 0; I < 4; ++I) Out[I] = static_cast<unsigned char>(U >> (8 * I));
}

int32_t GetLittleEndian(const unsigned char* In) {
  uint32_t U = 0;
  for (int I = 0; I < 4; ++I) U |= static_cast<uint32_t>(In[I]) << (8 * I);
  return static_cast<int32_t>(U);
}

sockaddr_un SocketAddress(const std::string& Path) {
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  if (Path.size() >= sizeof(Address.sun_path)) {
    errno = ENAMETOOLONG;
    Fail("command socket path " + Path);
  }
  std::memcpy(Address.sun_path, Path.c_str(), Path.size() + 1);
  return Address;
}

// Makes Folder (mode 0700) or checks that the existing one is a real folder of this
// user that nobody else can enter; in /tmp anyone could have made it first.
void EnsurePrivateFolder(const std::string& Folder) {
  if (mkdir(Folder.c_str(), 0700) != 0 && errno != EEXIST) Fail("cannot create " + Folder);
  struct stat Info {};
  if (lstat(Folder.c_str(), &Info) != 0) Fail("cannot inspect " + Folder);
  if (!S_ISDIR(Info.st_mode) || Info.st_uid != getuid()) {
    errno = EPERM;
    Fail(Folder + " is not a folder of this user");
  }
  if ((Info.st_mode & 0777) != 0700 && chmod(Folder.c_str(), 0700) != 0)
    Fail("cannot restrict " + Folder);
}

bool WriteAll(int Fd, const unsigned char* Bytes, size_t Length) {
  while (Length > 0) {
    const ssize_t Done = send(Fd, Bytes, Length, MSG_NOSIGNAL);
    if (Done < 0 && errno == EINTR) continue;
    if (Done <= 0) return false;
    Bytes += Done;
    Length -= static_cast<size_t>(Done);
  }
  return true;
}

}  // namespace

std::array<unsigned char, kFrameSize> EncodeFrame(const TMessageFrame& Frame) {
  std::array<unsigned char, kFrameSize> Bytes{};
  PutLittleEndian(Bytes.data(), Frame.Msg);
  PutLittleEndian(Bytes.data() + 4, Frame.WParam);
  PutLittleEndian(Bytes.data() + 8, Frame.LParam);
  return Bytes;
}

TMessageFrame DecodeFrame(const unsigned char* Bytes) {
  return {GetLittleEndian(Bytes), GetLittleEndian(Bytes + 4), GetLittleEndian(Bytes + 8)};
}

std::string InstanceFolder() {
  const char* Runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string Folder = Runtime && *Runtime ? std::string(Runtime) + "/vemro"
                                           : "/tmp/vemro-" + std::to_string(getuid());
  EnsurePrivateFolder(Folder);
  return Folder + "/";
}

std::string CommandSocketPath(const std::string& Folder) { return Folder + "command.sock"; }

std::unique_ptr<TInstanceLock> TInstanceLock::TryAcquire(const std::string& Folder) {
  const std::string Path = Folder + "instance.lock";
  const int Fd = open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (Fd < 0) return nullptr;
  if (flock(Fd, LOCK_EX | LOCK_NB) != 0) {
    close(Fd);
    return nullptr;
  }
  return std::unique_ptr<TInstanceLock>(new TInstanceLock(Fd));
}

TInstanceLock::~TInstanceLock() { close(FFd); }

struct TCommandServer::TPeer {
  std::unique_ptr<QSocketNotifier> Notifier;
  std::vector<unsigned char> Pending;
};

TCommandServer::TCommandServer(const std::string& SocketPath, THandler Handler)
    : FPath(SocketPath), FHandler(std::move(Handler)) {
  const sockaddr_un Address = SocketAddress(FPath);
  FListenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (FListenFd < 0) Fail("cannot create the command socket");
  unlink(FPath.c_str());
  // The socket file is created with the rights the umask leaves; none but the user's.
  const mode_t OldMask = umask(0177);
  const int Bound = bind(FListenFd, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address));
  umask(OldMask);
  if (Bound != 0 || listen(FListenFd, 64) != 0) {
    const int Error = errno;
    close(FListenFd);
    errno = Error;
    Fail("cannot listen on " + FPath);
  }
  FListenNotifier = std::make_unique<QSocketNotifier>(FListenFd, QSocketNotifier::Read);
  QObject::connect(FListenNotifier.get(), &QSocketNotifier::activated, [this] { Accept(); });
}

TCommandServer::~TCommandServer() {
  for (auto& [Fd, Peer] : FPeers) {
    Peer->Notifier.reset();
    close(Fd);
  }
  FListenNotifier.reset();
  close(FListenFd);
  unlink(FPath.c_str());
}

void TCommandServer::Accept() {
  for (;;) {
    const int Fd = accept4(FListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (Fd < 0) return;
    ucred Peer{};
    socklen_t Size = sizeof(Peer);
    const bool SameUser = getsockopt(Fd, SOL_SOCKET, SO_PEERCRED, &Peer, &Size) == 0 &&
                          Peer.uid == getuid();
    if (!SameUser || FPeers.size() >= kMaxPeers) {
      close(Fd);
      continue;
    }
    auto Entry = std::make_unique<TPeer>();
    Entry->Notifier = std::make_unique<QSocketNotifier>(Fd, QSocketNotifier::Read);
    QObject::connect(Entry->Notifier.get(), &QSocketNotifier::activated, [this, Fd] { Serve(Fd); });
    FPeers.emplace(Fd, std::move(Entry));
  }
}

void TCommandServer::Serve(int Fd) {
  TPeer& Peer = *FPeers.at(Fd);
  unsigned char Buffer[4096];
  const ssize_t Got = recv(Fd, Buffer, sizeof(Buffer), 0);
  if (Got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (Got <= 0) {
    Drop(Fd);
    return;
  }
  Peer.Pending.insert(Peer.Pending.end(), Buffer, Buffer + Got);
  // A handler may run a nested event loop; this peer waits until its frames are done.
  Peer.Notifier->setEnabled(false);
  size_t Used = 0;
  bool Broken = false;
  for (; !Broken && Peer.Pending.size() - Used >= kFrameSize; Used += kFrameSize) {
    const TMessageFrame Frame = DecodeFrame(Peer.Pending.data() + Used);
    const int32_t Result = FHandler(Frame);
    if (Frame.Msg == WMCMDPLAY) {
      unsigned char Answer[4];
      PutLittleEndian(Answer, Result);
      Broken = !WriteAll(Fd, Answer, sizeof(Answer));
    }
  }
  if (Broken) {
    Drop(Fd);
    return;
  }
  Peer.Pending.erase(Peer.Pending.begin(), Peer.Pending.begin() + static_cast<ptrdiff_t>(Used));
  Peer.Notifier->setEnabled(true);
}

void TCommandServer::Drop(int Fd) {
  FPeers.erase(Fd);
  close(Fd);
}

std::unique_ptr<TCommandClient> TCommandClient::Connect(const std::string& SocketPath) {
  sockaddr_un Address{};
  try {
    Address = SocketAddress(SocketPath);
  } catch (const std::runtime_error&) {
    return nullptr;
  }
  const int Fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0) return nullptr;
  if (connect(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address)) != 0) {
    close(Fd);
    return nullptr;
  }
  return std::unique_ptr<TCommandClient>(new TCommandClient(Fd));
}

TCommandClient::~TCommandClient() { close(FFd); }

bool TCommandClient::Post(const TMessageFrame& Frame) {
  const auto Bytes = EncodeFrame(Frame);
  return WriteAll(FFd, Bytes.data(), Bytes.size());
}

std::optional<int32_t> TCommandClient::Send(const TMessageFrame& Frame, int TimeoutMs) {
  if (!Post(Frame)) return std::nullopt;
  unsigned char Answer[4];
  size_t Got = 0;
  while (Got < sizeof(Answer)) {
    pollfd Wait{FFd, POLLIN, 0};
    const int Ready = poll(&Wait, 1, TimeoutMs);
    if (Ready < 0 && errno == EINTR) continue;
    if (Ready <= 0) return std::nullopt;
    const ssize_t Done = recv(FFd, Answer + Got, sizeof(Answer) - Got, 0);
    if (Done < 0 && errno == EINTR) continue;
    if (Done <= 0) return std::nullopt;
    Got += static_cast<size_t>(Done);
  }
  return GetLittleEndian(Answer);
}

}  // namespace vemro
