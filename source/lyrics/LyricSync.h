#pragma once
// Ties the lyrics to the music, for the main window: when a song starts the store is
// emptied, "..." shown and a lookup started; the lookup's text is loaded (and, when it
// came from the lyrics service, saved into the lyrics folder); every periodic tick
// moves the store to the playing position and shows its line; when a song ends only
// the slogan is left. UI thread only.
//
// The main window owns one of these beside the lyric store and the lyrics service,
// declared after both so that it goes first: a lookup still running then ends before
// the service does.
//
// A lookup stays tied to the entry it was started for: a result arriving while another
// entry is current is neither loaded nor saved, and a lookup for the current entry is
// started instead if it is playing.

#include "function/Dispatcher.h"
#include "lyrics/LrcClass.h"
#include "lyrics/LrcService.h"
#include "lyrics/UntLrcThread.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vemro {

// The playlist entry a lookup is made for. Two entries with the same path, title and
// singer have the same lyrics, so they count as one.
struct TLyricTrack {
  std::string Path;
  std::string Title;
  std::string Singer;
  bool operator==(const TLyricTrack&) const = default;
};

// What the synchronisation asks of the player, on the UI thread.
class ILyricPlayer {
public:
  // The entry at CurrentIndex, nullopt when there is none.
  virtual std::optional<TLyricTrack> CurrentTrack() const = 0;
  // The engine is in STATE_PLAYING.
  virtual bool IsPlaying() const = 0;
  // The engine's GetLength: the playing stream's length in milliseconds.
  virtual int32_t TrackLengthMs() const = 0;
  // The show-lyrics check box.
  virtual bool ShowLyrics() const = 0;
  // The program-wide Online flag: whether the lyrics service may be used.
  virtual bool Online() const = 0;
  // LyricFolder as configured.
  virtual std::string LyricFolder() const = 0;

protected:
  ~ILyricPlayer() = default;
};

// The desktop lyrics window's line.
class ILyricLine {
public:
  virtual void ShowLine(const std::string& Line) = 0;

protected:
  ~ILyricLine() = default;
};

// The file name under which downloaded lyrics of Title and Singer are saved in the
// lyrics folder: title, blank, singer, made safe, at most 100 characters, + ".lrc". A
// later lookup for the same title and singer finds it again. Empty when nothing is left.
std::string LyricFileName(const std::string& Title, const std::string& Singer);

inline constexpr const char* kLookingUpLine = "...";
inline constexpr const char* kBlankLine = ". . .";

class TLyricSync {
public:
  TLyricSync(IDispatcher& Dispatcher, TLrcService& Service, TLrcClass& Store, ILyricLine& Desktop,
             ILyricPlayer& Player);

  // Reaction point "song started": every STATE_PLAYING, a new song or a resumed one.
  void LyricSongStarted();
  // Reaction point "song finished": the end of a song or a failed open.
  void LyricSongFinished();
  // Reaction point "periodic", every 500 ms while the engine is not stopped.
  void LyricTick(int32_t PositionMs);
  bool LookupRunning() const { return FLookup != nullptr; }

private:
  void StartLookup(const TLyricTrack& Track);
  // The completion of the lookup.
  void LyricLookupDone(TLrcTextThread& Lookup);
  void SaveDownloaded(const TLyricTrack& Track, const std::string& Text);

  IDispatcher& FDispatcher;
  TLrcService& FService;
  TLrcClass& FStore;
  ILyricLine& FDesktop;
  ILyricPlayer& FPlayer;
  std::unique_ptr<TLrcTextThread> FLookup;  // last: a running lookup ends first
};

}  // namespace vemro
