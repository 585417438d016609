#include "lyrics/UntLrcThread.h"

#include "function/TextEncoding.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

namespace vemro {
namespace fs = std::filesystem;

namespace {

constexpr int kGoodMatch = 96;
constexpr int kPerfectMatch = 100;

char UpperAscii(char C) { return (C >= 'a' && C <= 'z') ? char(C - 32) : C; }
char LowerAscii(char C) { return (C >= 'A' && C <= 'Z') ? char(C + 32) : C; }

std::string LowerAscii(std::string S) {
  std::transform(S.begin(), S.end(), S.begin(), [](char C) { return LowerAscii(C); });
  return S;
}

bool SameIgnoringCase(const std::string& A, const std::string& B) {
  return A.size() == B.size() && LowerAscii(A) == LowerAscii(B);
}

bool HasLrcExtension(const std::string& Name) {
  return Name.size() >= 4 && SameIgnoringCase(Name.substr(Name.size() - 4), ".lrc");
}

bool IsFile(const fs::path& Path) {
  std::error_code Error;
  return fs::is_regular_file(Path, Error);
}

// The file's text decoded to UTF-8, empty when it cannot be read.
std::string ReadLrcFile(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  if (!In) return {};
  std::string Bytes{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  return DecodeTextBytes(Bytes);
}

}  // namespace

bool CharsMatch(char X, char Y, bool Fuzzy) {
  if (X == Y) return true;
  if (!Fuzzy) return false;
  X = UpperAscii(X);
  Y = UpperAscii(Y);
  if (X == Y) return true;
  static constexpr std::string_view Groups[] = {"AE", "BP", "CZ", "DT", "FV", "GK", "IJY"};
  for (std::string_view Group : Groups)
    if (Group.find(X) != std::string_view::npos) return Group.find(Y) != std::string_view::npos;
  return false;
}

int StrSimilarity(const std::string& A, const std::string& B, bool Fuzzy) {
  if (A.empty() || B.empty()) return 0;
  const std::string& Long = A.size() >= B.size() ? A : B;
  const std::string& Short = A.size() >= B.size() ? B : A;
  const size_t N = Long.size(), M = Short.size();
  const size_t Window = N / 3 + (N - M);
  std::vector<bool> Taken(N + 1, false);  // positions count from 1
  size_t I = 1, J = 1, Hits = 0;
  auto Distance = [](size_t X, size_t Y) { return X > Y ? X - Y : Y - X; };
  while (J <= M) {
    if (!Taken[I] && CharsMatch(Long[I - 1], Short[J - 1], Fuzzy) && Distance(I, J) <= Window) {
      Taken[I] = true;
      ++Hits;
      ++J;
      if (++I > N) I = 1;
    } else if (++I > N) {
      // Give Short[J] up and go on from the last match.
      I = 1;
      for (size_t K = N; K >= 2; --K)
        if (Taken[K]) {
          I = K;
          break;
        }
      ++J;
    }
  }
  return static_cast<int>(Hits * 100 / N);
}

std::string FindLocalLrc(const std::string& LyricsDir, const std::string& Title,
                         const std::string& Singer) {
  const std::string Key = LowerAscii(Title + " " + Singer);
  std::string Best;
  std::error_code Error;
  for (fs::directory_iterator It(LyricsDir, Error), End; !Error && It != End;
       It.increment(Error)) {
    std::string Name = It->path().filename().string();
    if (!HasLrcExtension(Name) || !It->is_regular_file(Error)) continue;
    int Score = StrSimilarity(LowerAscii(Name.substr(0, Name.size() - 4)), Key, true);
    if (Score < kGoodMatch) continue;
    Best = It->path().string();
    if (Score >= kPerfectMatch) break;
  }
  return Best;
}

std::string FindLrcBeside(const std::string& TrackPath) {
  // A network stream has nothing beside it.
  if (TrackPath.empty() || TrackPath.find("://") != std::string::npos) return {};
  fs::path Wanted = fs::path(TrackPath).replace_extension(".lrc");
  if (IsFile(Wanted)) return Wanted.string();
  const std::string WantedName = Wanted.filename().string();
  fs::path Folder = Wanted.parent_path();
  std::error_code Error;
  for (fs::directory_iterator It(Folder.empty() ? fs::path(".") : Folder, Error), End;
       !Error && It != End; It.increment(Error)) {
    if (SameIgnoringCase(It->path().filename().string(), WantedName) && IsFile(It->path()))
      return It->path().string();
  }
  return {};
}

std::string NormalizeLrcText(const std::string& Text) {
  std::string_view S(Text.data(), std::min(Text.find('\0'), Text.size()));
  std::string Result;
  Result.reserve(S.size() + S.size() / 16);
  size_t Start = 0;
  while (Start < S.size()) {
    size_t End = S.find_first_of("\r\n", Start);
    if (End == std::string_view::npos) End = S.size();
    Result.append(S.substr(Start, End - Start)).append("\r\n");
    if (End + 1 < S.size() && S[End] == '\r' && S[End + 1] == '\n') ++End;
    Start = End + 1;
  }
  return Result;
}

bool IsBlankText(const std::string& Text) {
  return std::all_of(Text.begin(), Text.end(), [](char C) { return (unsigned char)C <= 32; });
}

std::string DownloadLrc(TLrcService::TSession& Service, const std::string& Title,
                        const std::string& Singer, const std::string& Extra) {
  Service.Clear();
  Service.Search(Title, Singer, Extra);
  const int32_t Count = Service.Count();
  if (Count <= 0) return {};
  // Only results that raise the best score so far are candidates, best first.
  const std::string Key = LowerAscii(Title + Singer);
  int Best = 0;
  std::array<std::optional<int32_t>, kPerfectMatch + 1> IdOfScore;
  for (int32_t K = 0; K < Count; ++K) {
    std::optional<TLrcResult> Result = Service.GetItem(K);
    if (!Result) continue;
    int Score = StrSimilarity(LowerAscii(Result->Title + Result->Singer), Key, true);
    if (Score > Best) {
      Best = Score;
      IdOfScore[Score] = Result->Id;
    }
  }
  for (int Score = Best; Score >= 0; --Score) {
    if (!IdOfScore[Score]) continue;
    std::string Text = NormalizeLrcText(Service.Download(*IdOfScore[Score]));
    if (!IsBlankText(Text)) return Text;
  }
  return {};
}

struct TLyricWorker::TLink {
  std::mutex Lock;
  std::condition_variable Changed;
  std::atomic<bool> Stop{false};
  std::atomic<bool> Cancelled{false};
};

TLyricWorker::TLyricWorker(IDispatcher& Dispatcher)
    : FDispatcher(Dispatcher), FLink(std::make_shared<TLink>()) {}

TLyricWorker::~TLyricWorker() {
  FLink->Cancelled = true;
  RequestStop();
  if (FThread.joinable()) FThread.join();
}

void TLyricWorker::Start(std::function<void()> Work, std::function<void()> OnDone) {
  FThread = std::thread([&Dispatcher = FDispatcher, Link = FLink, Work = std::move(Work),
                         OnDone = std::move(OnDone)] {
    try {
      Work();
    } catch (...) {
      // A failed lookup is an empty result.
    }
    Dispatcher.Post([Link, OnDone] {
      if (!Link->Cancelled) OnDone();
    });
  });
}

void TLyricWorker::RequestStop() {
  {
    std::lock_guard<std::mutex> Hold(FLink->Lock);
    FLink->Stop = true;
  }
  FLink->Changed.notify_all();
}

bool TLyricWorker::StopRequested() const { return FLink->Stop; }

bool TLyricWorker::SendToUi(std::function<void()> Task) {
  auto Ran = std::make_shared<bool>(false);
  FDispatcher.Post([Link = FLink, Ran, Task = std::move(Task)] {
    // Stop is requested on the UI thread, so this test cannot race it.
    if (Link->Stop) return;
    // The worker goes on even when Task throws.
    struct TRelease {
      TLink& Link;
      bool& Ran;
      ~TRelease() {
        {
          std::lock_guard<std::mutex> Hold(Link.Lock);
          Ran = true;
        }
        Link.Changed.notify_all();
      }
    } Release{*Link, *Ran};
    Task();
  });
  std::unique_lock<std::mutex> Hold(FLink->Lock);
  FLink->Changed.wait(Hold, [&] { return *Ran || FLink->Stop; });
  return *Ran;
}

TLrcTextThread::TLrcTextThread(IDispatcher& Dispatcher, TLrcService& Service,
                               std::string FileName, std::string Title, std::string Singer,
                               std::string Extra, std::string LyricsDir, bool AllowDownload,
                               THandler OnDone)
    : FService(Service),
      FFileName(std::move(FileName)),
      FTitle(std::move(Title)),
      FSinger(std::move(Singer)),
      FExtra(std::move(Extra)),
      FLyricsDir(std::move(LyricsDir)),
      FAllowDownload(AllowDownload),
      FWorker(Dispatcher) {
  FWorker.Start([this] { FindLyric(); }, [this, OnDone = std::move(OnDone)] { OnDone(*this); });
}

void TLrcTextThread::FindLyric() {
  std::error_code Error;
  std::string Best;
  if (!FLyricsDir.empty() && fs::is_directory(FLyricsDir, Error))
    Best = FindLocalLrc(FLyricsDir, FTitle, FSinger);
  std::string Beside = FindLrcBeside(FFileName);
  std::string Text;
  if (!Beside.empty()) {
    Text = ReadLrcFile(Beside);
  } else if (!Best.empty() && IsFile(Best)) {
    Text = ReadLrcFile(Best);
  } else if (FAllowDownload) {
    FDownloaded = true;
    TLrcService::TSession Session = FService.Session();
    Text = DownloadLrc(Session, FTitle, FSinger, FExtra);
  }
  FLrcText = NormalizeLrcText(Text);
}

TLrcListThread::TLrcListThread(IDispatcher& Dispatcher, TLrcService& Service, ILrcRowSink* Sink,
                               std::string Title, std::string Singer, std::string Extra,
                               THandler OnDone)
    : FService(Service),
      FSink(Sink),
      FTitle(std::move(Title)),
      FSinger(std::move(Singer)),
      FExtra(std::move(Extra)),
      FWorker(Dispatcher) {
  FWorker.Start([this] { Search(); }, [this, OnDone = std::move(OnDone)] { OnDone(*this); });
}

void TLrcListThread::Search() {
  std::vector<TLrcResult> Results;
  {
    // The rows are sent after the session, so that the service is not held while
    // the UI thread is busy.
    TLrcService::TSession Session = FService.Session();
    Session.Clear();
    Session.Search(FTitle, FSinger, FExtra);
    const int32_t Count = Session.Count();
    for (int32_t K = 0; K < Count; ++K) {
      std::optional<TLrcResult> Result = Session.GetItem(K);
      if (!Result) break;
      Results.push_back(std::move(*Result));
    }
  }
  for (size_t K = 0; K < Results.size() && !FWorker.StopRequested(); ++K) {
    const int32_t Number = static_cast<int32_t>(K) + 1;
    bool Sent = FWorker.SendToUi([this, Number, &Result = Results[K]] {
      if (FSink) FSink->AddRow(Number, Result);
      ++FRowsAdded;
    });
    if (!Sent) break;
  }
}

TGetLrcTextThread::TGetLrcTextThread(IDispatcher& Dispatcher, TLrcService& Service, int32_t Id,
                                     THandler OnDone)
    : FService(Service), FId(Id), FWorker(Dispatcher) {
  FWorker.Start([this] { FLrcText = FService.Session().Download(FId); },
                [this, OnDone = std::move(OnDone)] { OnDone(*this); });
}

}  // namespace vemro
