#include "lyrics/LyricSync.h"

#include "function/FastStrings.h"
#include "function/SafeFiles.h"
#include "function/TextEncoding.h"

#include <filesystem>
#include <stdexcept>

namespace vemro {
namespace {
constexpr size_t kMaxNameChars = 100;
const std::string kLrcExtension = ".lrc";
}  // namespace

std::string LyricFileName(const std::string& Title, const std::string& Singer) {
  const std::string Stem = FirstUtf8Chars(SafeFileName(Title + " " + Singer), kMaxNameChars);
  return IsBlankText(Stem) ? std::string() : SafeFileName(Stem, kLrcExtension);
}

TLyricSync::TLyricSync(IDispatcher& Dispatcher, TLrcService& Service, TLrcClass& Store,
                       ILyricLine& Desktop, ILyricPlayer& Player)
    : FDispatcher(Dispatcher), FService(Service), FStore(Store), FDesktop(Desktop), FPlayer(Player) {}

void TLyricSync::LyricSongStarted() {
  FStore.LoadText("");
  FDesktop.ShowLine(kLookingUpLine);
  // A lookup from an earlier song is left to end; its handler starts this song's.
  if (FLookup) return;
  if (std::optional<TLyricTrack> Track = FPlayer.CurrentTrack()) StartLookup(*Track);
}

void TLyricSync::LyricSongFinished() {
  FStore.LoadText("");
  FStore.AddSlogan(0);
}

void TLyricSync::LyricTick(int32_t PositionMs) {
  if (!FPlayer.ShowLyrics()) return;
  FStore.SetPosition(PositionMs);
  const std::string& Line = FStore.CurrentLine();
  FDesktop.ShowLine(IsBlankText(Line) ? kBlankLine : Line);
}

void TLyricSync::StartLookup(const TLyricTrack& Track) {
  FLookup = std::make_unique<TLrcTextThread>(
      FDispatcher, FService, Track.Path, Track.Title, Track.Singer, "", FPlayer.LyricFolder(),
      FPlayer.Online(), [this](TLrcTextThread& Lookup) { LyricLookupDone(Lookup); });
}

void TLyricSync::LyricLookupDone(TLrcTextThread& Lookup) {
  const TLyricTrack Track{Lookup.FileName(), Lookup.Title(), Lookup.Singer()};
  const std::string Text = Lookup.LrcText();
  const bool Downloaded = Lookup.Downloaded();
  FLookup.reset();  // Lookup is gone from here on

  std::optional<TLyricTrack> Current = FPlayer.CurrentTrack();
  if (Current != Track) {
    if (Current && FPlayer.IsPlaying()) StartLookup(*Current);
    return;
  }
  FStore.LoadText(Text);
  FStore.AddSlogan(FPlayer.TrackLengthMs());
  if (Downloaded && !IsBlankText(Text)) SaveDownloaded(Track, Text);
}

void TLyricSync::SaveDownloaded(const TLyricTrack& Track, const std::string& Text) {
  const std::string Folder = FPlayer.LyricFolder();
  const std::string Name = LyricFileName(Track.Title, Track.Singer);
  std::error_code Error;
  if (Name.empty() || Folder.empty() || !std::filesystem::is_directory(Folder, Error)) return;
  try {
    WriteFileAtomically((std::filesystem::path(Folder) / Name).string(), NormalizeLrcText(Text));
  } catch (const std::runtime_error&) {
    // Not reported: the lyrics are loaded all the same.
  }
}

}  // namespace vemro
