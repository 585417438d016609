#pragma once
// Finding lyrics without blocking the UI: the lookup for a track that starts playing
// (a file beside the track, the best file in the lyrics folder, else the lyrics
// service), the search of the lyrics dialog and its download. Each thread object
// starts working when it is made and then runs its completion handler on the UI thread.
//
// The owner keeps the object while it runs and usually drops it in the handler.
// Destroying a thread object (UI thread) before its handler has run cancels the
// handler and waits for the work to end: at most the service's network timeouts.

#include "function/Dispatcher.h"
#include "lyrics/LrcService.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vemro {

// Similarity 0..100 of two texts: a greedy in-order match of the shorter against the
// longer, byte by byte; 100 only for texts of equal length matching in every byte.
int StrSimilarity(const std::string& A, const std::string& B, bool Fuzzy);
// Byte equality; with Fuzzy, ASCII letters ignore case and the letters of each group
// A E, B P, C Z, D T, F V, G K, I J Y match one another.
bool CharsMatch(char X, char Y, bool Fuzzy);

// The file in LyricsDir whose name without ".lrc" (any letter case) best matches
// Title + " " + Singer: the first scoring 100, else the last scoring 96..99, else empty.
std::string FindLocalLrc(const std::string& LyricsDir, const std::string& Title,
                         const std::string& Singer);
// The LRC file beside a track: its path without the extension plus ".lrc", the exact
// name first, then the same name in any letter case; empty when there is none.
std::string FindLrcBeside(const std::string& TrackPath);
// Searches the service and downloads the best-matching result that has text
// (normalised); empty when none has.
std::string DownloadLrc(TLrcService::TSession& Service, const std::string& Title,
                        const std::string& Singer, const std::string& Extra);
// The text up to its first NUL, every line (the last included) ended by CR LF.
std::string NormalizeLrcText(const std::string& Text);
// True when Text holds nothing but bytes 0..32.
bool IsBlankText(const std::string& Text);

// Runs one piece of work on its own thread, then its completion handler on the UI thread.
class TLyricWorker {
public:
  explicit TLyricWorker(IDispatcher& Dispatcher);
  // Cancels a handler that has not run yet, releases a SendToUi and joins the thread.
  ~TLyricWorker();
  TLyricWorker(const TLyricWorker&) = delete;
  TLyricWorker& operator=(const TLyricWorker&) = delete;

  // Failures of Work end it silently; OnDone runs all the same.
  void Start(std::function<void()> Work, std::function<void()> OnDone);
  // UI thread. Nothing sent by SendToUi runs after this returns.
  void RequestStop();
  bool StopRequested() const;
  // From the work: runs Task on the UI thread and waits for it. Unlike a plain Send it
  // gives up when a stop is requested, so the UI thread can stop and join this worker
  // while it waits. False when Task did not run.
  bool SendToUi(std::function<void()> Task);

private:
  struct TLink;
  IDispatcher& FDispatcher;
  std::shared_ptr<TLink> FLink;
  std::thread FThread;
};

// The lookup for a track that starts playing.
class TLrcTextThread {
public:
  using THandler = std::function<void(TLrcTextThread&)>;
  TLrcTextThread(IDispatcher& Dispatcher, TLrcService& Service, std::string FileName,
                 std::string Title, std::string Singer, std::string Extra, std::string LyricsDir,
                 bool AllowDownload, THandler OnDone);

  const std::string& FileName() const { return FFileName; }
  const std::string& Title() const { return FTitle; }
  const std::string& Singer() const { return FSinger; }
  // Results, for the handler.
  const std::string& LrcText() const { return FLrcText; }
  bool Downloaded() const { return FDownloaded; }

private:
  void FindLyric();

  TLrcService& FService;
  const std::string FFileName, FTitle, FSinger, FExtra, FLyricsDir;
  const bool FAllowDownload;
  std::string FLrcText;
  bool FDownloaded = false;
  TLyricWorker FWorker;  // last: joined before the fields go
};

// Receives the rows of a search on the UI thread; Number counts from 1, and
// Result.Id is what TGetLrcTextThread downloads for that row.
class ILrcRowSink {
public:
  virtual void AddRow(int32_t Number, const TLrcResult& Result) = 0;

protected:
  ~ILrcRowSink() = default;
};

// The dialog's search: one row per service result.
class TLrcListThread {
public:
  using THandler = std::function<void(TLrcListThread&)>;
  // Sink may be null (rows are dropped); it must outlive the thread object.
  TLrcListThread(IDispatcher& Dispatcher, TLrcService& Service, ILrcRowSink* Sink,
                 std::string Title, std::string Singer, std::string Extra, THandler OnDone);
  // UI thread: the search ends after the row being added, keeping the rows added so
  // far; no row reaches the sink after this returns. The handler still runs.
  void Stop() { FWorker.RequestStop(); }
  int32_t RowsAdded() const { return FRowsAdded; }

private:
  void Search();

  TLrcService& FService;
  ILrcRowSink* const FSink;
  const std::string FTitle, FSinger, FExtra;
  std::atomic<int32_t> FRowsAdded{0};
  TLyricWorker FWorker;
};

// The dialog's download of the result a row stands for.
class TGetLrcTextThread {
public:
  using THandler = std::function<void(TGetLrcTextThread&)>;
  // Id: the row's Result.Id. It stays valid whatever other searches ran meanwhile.
  TGetLrcTextThread(IDispatcher& Dispatcher, TLrcService& Service, int32_t Id, THandler OnDone);
  int32_t Id() const { return FId; }
  const std::string& LrcText() const { return FLrcText; }

private:
  TLrcService& FService;
  const int32_t FId;
  std::string FLrcText;
  TLyricWorker FWorker;
};

}  // namespace vemro
