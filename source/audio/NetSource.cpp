#include "audio/NetSource.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace vemro::audio {
namespace {

constexpr size_t MaxPlaylistBytes = 1 << 20;
// An endless (or huge) stream keeps this much behind the reading position for
// decoders that look back; a download up to MaxKeptBytes is kept whole for seeking.
constexpr int64_t EndlessWindowBytes = 1 << 20;
constexpr int64_t MaxKeptBytes = int64_t(256) << 20;
constexpr int MaxPlaylistDepth = 3;

std::string LowerAscii(std::string S) {
  for (char& C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return S;
}

std::string Trim(const std::string& S) {
  const size_t First = S.find_first_not_of(" \t\r\n");
  if (First == std::string::npos) return {};
  return S.substr(First, S.find_last_not_of(" \t\r\n") - First + 1);
}

std::string ResolveAgainst(const std::string& Entry, const std::string& Base) {
  if (Entry.find("://") != std::string::npos) return Entry;
  const size_t Query = Base.find_first_of("?#");
  const std::string Path = Base.substr(0, Query);
  if (!Entry.empty() && Entry[0] == '/') {
    const size_t Scheme = Path.find("://");
    const size_t HostEnd = Path.find('/', Scheme == std::string::npos ? 0 : Scheme + 3);
    return Path.substr(0, HostEnd) + Entry;
  }
  return Path.substr(0, Path.rfind('/') + 1) + Entry;
}

void EnsureCurl() {
  static const bool Ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)Ready;
}

}  // namespace

bool IsPlaylistUrl(const std::string& Url) {
  const std::string Path = LowerAscii(Url.substr(0, Url.find_first_of("?#")));
  for (const char* Ext : {".pls", ".m3u", ".m3u8"}) {
    const size_t N = std::strlen(Ext);
    if (Path.size() > N && Path.compare(Path.size() - N, N, Ext) == 0) return true;
  }
  return false;
}

std::string FirstPlaylistEntry(const std::string& Text, const std::string& PlaylistUrl) {
  std::istringstream Lines(Text);
  std::string Line;
  while (std::getline(Lines, Line)) {
    Line = Trim(Line);
    if (Line.empty() || Line[0] == '#' || Line[0] == '[') continue;
    const size_t Eq = Line.find('=');
    if (Eq != std::string::npos && Line.find("://") > Eq) {
      // .pls: "File1=http://..."; other keys (Title1, Length1, NumberOfEntries) are skipped.
      if (LowerAscii(Line.substr(0, 4)) != "file") continue;
      Line = Trim(Line.substr(Eq + 1));
    }
    if (!Line.empty()) return ResolveAgainst(Line, PlaylistUrl);
  }
  return {};
}

TNetSource::TNetSource(DOWNLOADPROC Proc, void* User) : FProc(Proc), FUser(User) {}

TNetSource::~TNetSource() {
  Abort();
  if (FThread.joinable()) FThread.join();
}

std::unique_ptr<TNetSource> TNetSource::Open(const std::string& Url, const TNetOptions& Options, DOWNLOADPROC Proc,
                                             void* User, int& Error) {
  EnsureCurl();
  std::string Target = Url;
  for (int Depth = 0; Options.FollowPlaylists && IsPlaylistUrl(Target) && Depth < MaxPlaylistDepth; ++Depth) {
    std::unique_ptr<TNetSource> List(new TNetSource(nullptr, nullptr));
    if (!List->Start(Target, Options, Error)) return nullptr;
    List->WaitForBytes(MaxPlaylistBytes, Options.TimeoutMs);
    std::string Text;
    {
      std::lock_guard Guard(List->FLock);
      Text = List->FData.substr(0, MaxPlaylistBytes);
    }
    const std::string Entry = FirstPlaylistEntry(Text, Target);
    if (Entry.empty()) {
      Error = BASS_ERROR_FILEFORM;
      return nullptr;
    }
    Target = Entry;
  }
  std::unique_ptr<TNetSource> Source(new TNetSource(Proc, User));
  if (!Source->Start(Target, Options, Error)) return nullptr;
  return Source;
}

bool TNetSource::Start(const std::string& Url, const TNetOptions& Options, int& Error) {
  FThread = std::thread([this, Url, Timeout = Options.TimeoutMs] { Download(Url, Timeout); });
  std::unique_lock Lock(FLock);
  const bool Settled = FChanged.wait_for(Lock, std::chrono::milliseconds(Options.TimeoutMs),
                                         [this] { return FAnswered || FRefused || FDone; });
  if (FAnswered) return true;
  if (!Settled) Error = BASS_ERROR_TIMEOUT;
  else if (FRefused) Error = BASS_ERROR_FILEOPEN;
  else if (FCurlResult == CURLE_COULDNT_CONNECT || FCurlResult == CURLE_COULDNT_RESOLVE_HOST) Error = BASS_ERROR_NONET;
  else if (FCurlResult == CURLE_OPERATION_TIMEDOUT) Error = BASS_ERROR_TIMEOUT;
  else Error = BASS_ERROR_FILEOPEN;
  return false;
}

void TNetSource::Download(std::string Url, int TimeoutMs) {
  CURL* Curl = curl_easy_init();
  if (!Curl) {
    std::lock_guard Guard(FLock);
    FDone = true;
    FCurlResult = CURLE_FAILED_INIT;
    FChanged.notify_all();
    return;
  }
  curl_easy_setopt(Curl, CURLOPT_URL, Url.c_str());
  curl_easy_setopt(Curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(Curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(Curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(Curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(TimeoutMs));
  curl_easy_setopt(Curl, CURLOPT_USERAGENT, "Vemro");
  curl_easy_setopt(Curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(Curl, CURLOPT_HEADERFUNCTION, +[](char* Data, size_t, size_t Size, void* Self) -> size_t {
    auto* Source = static_cast<TNetSource*>(Self);
    // The end of one answer's headers; redirects bring more than one.
    if (Size <= 2 && (Data[0] == '\r' || Data[0] == '\n')) Source->HeadersEnded();
    return Size;
  });
  curl_easy_setopt(Curl, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(Curl, CURLOPT_WRITEFUNCTION, +[](char* Data, size_t, size_t Size, void* Self) -> size_t {
    return static_cast<TNetSource*>(Self)->Arrive(Data, Size);
  });
  curl_easy_setopt(Curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(Curl, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(Curl, CURLOPT_XFERINFOFUNCTION,
                   +[](void* Self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
                     auto* Source = static_cast<TNetSource*>(Self);
                     std::lock_guard Guard(Source->FLock);
                     return Source->FAborted || Source->FRefused ? 1 : 0;
                   });
  FCurl = Curl;
  const CURLcode Result = curl_easy_perform(Curl);
  const bool Delivered = [&] {
    std::lock_guard Guard(FLock);
    FDone = true;
    FCurlResult = Result;
    FChanged.notify_all();
    return FAnswered;
  }();
  curl_easy_cleanup(Curl);
  if (Delivered) Deliver(nullptr, 0);
}

void TNetSource::Deliver(const void* Buffer, size_t Size) {
  std::lock_guard Guard(FProcLock);
  if (FProc && !FProcDetached) FProc(Buffer, static_cast<DWORD>(Size), FUser);
}

void TNetSource::HeadersEnded() {
  long Status = 0;
  curl_easy_getinfo(static_cast<CURL*>(FCurl), CURLINFO_RESPONSE_CODE, &Status);
  if (Status >= 300 && Status < 400) return;  // libcurl follows the redirect
  curl_off_t Length = -1;
  curl_easy_getinfo(static_cast<CURL*>(FCurl), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &Length);
  std::lock_guard Guard(FLock);
  if (Status >= 200 && Status < 300) {
    FAnswered = true;
    FContentLength = Length > 0 ? Length : 0;
  } else {
    FRefused = true;
  }
  FChanged.notify_all();
}

size_t TNetSource::Arrive(const char* Data, size_t Size) {
  {
    std::lock_guard Guard(FLock);
    if (FAborted || !FAnswered) return 0;
    FData.append(Data, Size);
    TrimWindow();
    FChanged.notify_all();
  }
  Deliver(Data, Size);
  return Size;
}

void TNetSource::TrimWindow() {
  if (FContentLength > 0 && FContentLength <= MaxKeptBytes) return;
  const int64_t Behind = FPos - FBase;
  if (Behind > 4 * EndlessWindowBytes) {
    const int64_t Drop = Behind - EndlessWindowBytes;
    FData.erase(0, static_cast<size_t>(Drop));
    FBase += Drop;
  }
}

int64_t TNetSource::Read(void* Buffer, int64_t Size) {
  std::unique_lock Lock(FLock);
  const auto Arrived = [&] { return FDone || FPos < FBase + static_cast<int64_t>(FData.size()); };
  const auto Ready = [&] { return FAborted || FInterrupted || Arrived(); };
  if (FReadTimeoutMs < 0) FChanged.wait(Lock, Ready);
  else if (!FChanged.wait_for(Lock, std::chrono::milliseconds(FReadTimeoutMs), Ready)) return -1;
  if (FAborted || !Arrived()) return -1;
  const int64_t N = std::min<int64_t>(Size, FBase + static_cast<int64_t>(FData.size()) - FPos);
  if (N <= 0) return 0;
  std::memcpy(Buffer, FData.data() + (FPos - FBase), static_cast<size_t>(N));
  FPos += N;
  return N;
}

int64_t TNetSource::Seek(int64_t Offset, int Whence) {
  std::lock_guard Guard(FLock);
  const int64_t Arrived = FBase + static_cast<int64_t>(FData.size());
  int64_t Target;
  if (Whence == SEEK_SET) Target = Offset;
  else if (Whence == SEEK_CUR) Target = FPos + Offset;
  else if (FDone) Target = Arrived + Offset;
  else return -1;
  if (Target < FBase || Target > Arrived) return -1;
  return FPos = Target;
}

int64_t TNetSource::Tell() const {
  std::lock_guard Guard(FLock);
  return FPos;
}

int64_t TNetSource::Size() const {
  std::lock_guard Guard(FLock);
  if (FContentLength > 0) return FContentLength;
  return FDone ? FBase + static_cast<int64_t>(FData.size()) : -1;
}

bool TNetSource::Streaming() const {
  std::lock_guard Guard(FLock);
  return !FDone;
}

int64_t TNetSource::Downloaded() const {
  std::lock_guard Guard(FLock);
  return FBase + static_cast<int64_t>(FData.size());
}

void TNetSource::SetInterrupted(bool On) {
  std::lock_guard Guard(FLock);
  FInterrupted = On;
  FChanged.notify_all();
}

void TNetSource::Abort() {
  {
    std::lock_guard Guard(FLock);
    FAborted = true;
    FChanged.notify_all();
  }
  std::lock_guard Guard(FProcLock);
  FProcDetached = true;
}

void TNetSource::SetReadTimeout(int Ms) {
  std::lock_guard Guard(FLock);
  FReadTimeoutMs = Ms;
}

void TNetSource::WaitForBytes(int64_t Count, int StallMs) {
  std::unique_lock Lock(FLock);
  int64_t Seen = -1;
  while (!FDone && !FAborted && FBase + static_cast<int64_t>(FData.size()) < Count) {
    const int64_t Now = FBase + static_cast<int64_t>(FData.size());
    if (Now == Seen) return;  // nothing arrived for StallMs
    Seen = Now;
    FChanged.wait_for(Lock, std::chrono::milliseconds(StallMs), [&] {
      return FDone || FAborted || FBase + static_cast<int64_t>(FData.size()) >= Count;
    });
  }
}

}  // namespace vemro::audio
