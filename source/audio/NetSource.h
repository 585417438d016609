#pragma once
// A byte source fed by an HTTP download on a thread of its own (libcurl). Everything
// that arrives is kept, so decoders can look back and seeks work within what has
// arrived; an endless stream, or one beyond 256 MB, keeps only a window behind the
// reading position.

#include "audio/AudioDecoder.h"
#include "audio/Bass.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vemro::audio {

struct TNetOptions {
  int TimeoutMs = 5000;
  bool FollowPlaylists = false;
};

class TNetSource : public IByteSource {
public:
  // Starts the download of Url (after following a playlist URL when asked) and waits
  // for the server's answer. nullptr with Error (a BASS_ERROR_ code) on failure.
  // Proc gets every block on the download thread, then a null block when it ends.
  static std::unique_ptr<TNetSource> Open(const std::string& Url, const TNetOptions& Options, DOWNLOADPROC Proc,
                                          void* User, int& Error);
  ~TNetSource() override;

  int64_t Read(void* Buffer, int64_t Size) override;
  int64_t Seek(int64_t Offset, int Whence) override;
  int64_t Tell() const override;
  // Content-Length, or everything once an endless download has ended; -1 unknown.
  int64_t Size() const override;
  bool Streaming() const override;
  int64_t Available() const override { return Downloaded(); }
  void SetInterrupted(bool On) override;
  void Abort() override;

  // Content-Length; 0 when the server named none (an endless stream).
  int64_t ContentLength() const { return FContentLength; }
  int64_t Downloaded() const;
  // Reads give up (-1) after waiting this long for data; -1 waits as long as it takes.
  void SetReadTimeout(int Ms);
  // Waits until Count bytes have arrived, the download ended, or nothing came for StallMs.
  void WaitForBytes(int64_t Count, int StallMs);

private:
  TNetSource(DOWNLOADPROC Proc, void* User);
  bool Start(const std::string& Url, const TNetOptions& Options, int& Error);
  void Download(std::string Url, int TimeoutMs);
  size_t Arrive(const char* Data, size_t Size);
  void HeadersEnded();
  void TrimWindow();
  void Deliver(const void* Buffer, size_t Size);

  // Held while FProc runs: once Abort has returned, FProc is not called any more.
  std::mutex FProcLock;
  bool FProcDetached = false;
  DOWNLOADPROC FProc;
  void* FUser;
  std::thread FThread;
  void* FCurl = nullptr;  // the download thread's handle, for its header callback

  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::string FData;     // bytes from offset FBase on
  int64_t FBase = 0;
  int64_t FPos = 0;
  int64_t FContentLength = 0;
  bool FAnswered = false;  // the final answer's headers are in and its status is good
  bool FRefused = false;   // the server answered with an error status
  bool FDone = false;
  int FCurlResult = 0;
  bool FAborted = false;
  bool FInterrupted = false;
  int FReadTimeoutMs = -1;
};

// The first entry of a .pls or .m3u/.m3u8 playlist text, resolved against its URL; empty if none.
std::string FirstPlaylistEntry(const std::string& Text, const std::string& PlaylistUrl);
bool IsPlaylistUrl(const std::string& Url);

}  // namespace vemro::audio
