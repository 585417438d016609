#include "LrcLibFixture.h"
#include "TempDir.h"
#include "VirtualDispatcher.h"
#include "function/TextEncoding.h"
#include "lyrics/LyricSync.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vemro {
namespace {

using test::TFixtureSong;
using test::THttpRequest;
using test::THttpResponse;
using test::THttpTestServer;

class TPlayer : public ILyricPlayer {
public:
  std::optional<TLyricTrack> CurrentTrack() const override { return Current; }
  bool IsPlaying() const override { return Playing; }
  int32_t TrackLengthMs() const override { return LengthMs; }
  bool ShowLyrics() const override { return Show; }
  bool Online() const override { return IsOnline; }
  std::string LyricFolder() const override { return Folder; }

  std::optional<TLyricTrack> Current;
  bool Playing = true;
  int32_t LengthMs = 200000;
  bool Show = true;
  bool IsOnline = false;
  std::string Folder;
};

class TDesktop : public ILyricLine {
public:
  void ShowLine(const std::string& Line) override { Lines.push_back(Line); }
  std::string Last() const { return Lines.empty() ? "" : Lines.back(); }
  std::vector<std::string> Lines;
};

class LyricSync : public testing::Test {
protected:
  LyricSync() { Player.Folder = LyricsDir.Path().string(); }

  void Play(const std::string& Name, const std::string& Title, const std::string& Singer) {
    Player.Current = TLyricTrack{Music.File(Name), Title, Singer};
    Sync.LyricSongStarted();
  }
  void WaitForLookup() { ASSERT_TRUE(Ui.WaitFor([&] { return !Sync.LookupRunning(); })); }
  std::string LineAt(int32_t Ms) {
    Sync.LyricTick(Ms);
    return Desktop.Last();
  }
  size_t SearchesMade() const {
    size_t Count = 0;
    for (const THttpRequest& R : Server.Requests()) Count += R.Path == "/api/search";
    return Count;
  }

  std::vector<TFixtureSong> Songs = {
      {1, "Song", "Band", "", 200, "[00:01.00]online one\n[00:02.00]online two"}};
  int AnswerDelayMs = 0;
  THttpTestServer Server{[this](const THttpRequest& R) {
    THttpResponse Answer = test::AnswerLikeLrcLib(R, Songs);
    Answer.DelayMs = AnswerDelayMs;
    return Answer;
  }};
  std::unique_ptr<TLrcService> Service = test::ServiceAt(Server.BaseUrl());
  test::TVirtualDispatcher Ui;
  test::TTempDir Music, LyricsDir;
  TLrcClass Store;
  TDesktop Desktop;
  TPlayer Player;
  TLyricSync Sync{Ui, *Service, Store, Desktop, Player};
};

TEST_F(LyricSync, LyricsBesideTheSongAreShownAsItPlays) {
  Music.Write("song.lrc", "[00:01.00]one\r\n[00:02.00]two\r\n");
  Store.LoadText("[00:01.00]previous song");
  Play("song.mp3", "Song", "Band");
  EXPECT_EQ(Store.Lyric().Count(), 0);
  EXPECT_EQ(Desktop.Last(), kLookingUpLine);
  EXPECT_TRUE(Sync.LookupRunning());
  WaitForLookup();
  EXPECT_EQ(LineAt(500), "one");
  EXPECT_EQ(LineAt(2500), "two");
  EXPECT_EQ(LineAt(199500), kLyricSlogan);  // only in the last second
  EXPECT_TRUE(std::filesystem::is_empty(LyricsDir.Path()));
}

TEST_F(LyricSync, OfflineWithoutLocalLyricsLeavesTheSlogan) {
  Play("song.mp3", "Song", "Band");
  WaitForLookup();
  EXPECT_EQ(Desktop.Lines, (std::vector<std::string>{kLookingUpLine}));
  EXPECT_EQ(LineAt(1000), kLyricSlogan);
  EXPECT_EQ(Store.Lyric().Count(), 1);
  EXPECT_TRUE(Server.Requests().empty());
}

TEST_F(LyricSync, BlankStoreShowsSpacedDots) {
  Music.Write("song.lrc", "[00:01.00]\r\n[00:02.00]two\r\n");
  Play("song.mp3", "Song", "Band");
  EXPECT_EQ(LineAt(500), kBlankLine);  // while the lookup runs, the store is empty
  WaitForLookup();
  EXPECT_EQ(LineAt(1500), kBlankLine);
  EXPECT_EQ(LineAt(2500), "two");
}

TEST_F(LyricSync, DownloadedLyricsAreSavedAndFoundNextTime) {
  Player.IsOnline = true;
  Play("song.mp3", "Song", "Band");
  WaitForLookup();
  EXPECT_EQ(LineAt(1500), "online one");
  EXPECT_EQ(test::ReadFileBytes(LyricsDir.File("Song Band.lrc")),
            "[00:01.00]online one\r\n[00:02.00]online two\r\n");

  Sync.LyricSongFinished();
  size_t Searches = SearchesMade();
  Play("song.mp3", "Song", "Band");
  WaitForLookup();
  EXPECT_EQ(SearchesMade(), Searches);
  EXPECT_EQ(LineAt(2500), "online two");
}

TEST_F(LyricSync, SavedNamesAreSafeAndShort) {
  Player.IsOnline = true;
  std::string LongTitle;
  for (int K = 0; K < 120; ++K) LongTitle += "歌";
  Songs[0].Track = LongTitle;
  Play("song.mp3", LongTitle + "/x:y?", "Band");
  WaitForLookup();
  std::vector<std::string> Names;
  for (const auto& Entry : std::filesystem::directory_iterator(LyricsDir.Path()))
    Names.push_back(Entry.path().filename().string());
  ASSERT_EQ(Names.size(), 1u);
  EXPECT_EQ(Names[0], LyricFileName(LongTitle + "/x:y?", "Band"));
  EXPECT_LE(Names[0].size(), 255u);
  EXPECT_EQ(Names[0].substr(Names[0].size() - 4), ".lrc");
  EXPECT_TRUE(IsValidUtf8(Names[0]));
}

TEST(LyricFileName, TitleBlankSingerMadeSafe) {
  EXPECT_EQ(LyricFileName("Song", "Band"), "Song Band.lrc");
  EXPECT_EQ(LyricFileName("x/y: z?", "B"), "xy z B.lrc");
  EXPECT_EQ(LyricFileName("", ""), "");
  std::string Long(300, 'a');
  EXPECT_EQ(LyricFileName(Long, "b"), std::string(100, 'a') + ".lrc");
}

TEST_F(LyricSync, EmptyDownloadNeverReplacesAFile) {
  Player.IsOnline = true;
  Songs[0].Synced = std::nullopt;  // listed by no search
  // The name saved for "a:b" / "c" is "ab c.lrc", which the lookup does not take for it.
  LyricsDir.Write("ab c.lrc", "[00:01.00]kept");
  Play("song.mp3", "a:b", "c");
  WaitForLookup();
  EXPECT_EQ(SearchesMade(), 1u);
  EXPECT_EQ(test::ReadFileBytes(LyricsDir.File("ab c.lrc")), "[00:01.00]kept");
  EXPECT_EQ(LineAt(1000), kLyricSlogan);
}

TEST_F(LyricSync, MissingLyricsFolderSavesNothing) {
  Player.IsOnline = true;
  Player.Folder = LyricsDir.File("gone");
  Play("song.mp3", "Song", "Band");
  WaitForLookup();
  EXPECT_EQ(LineAt(1500), "online one");
  EXPECT_FALSE(std::filesystem::exists(Player.Folder));
}

TEST_F(LyricSync, LateResultOfAnotherEntryIsDroppedAndTheCurrentOneLookedUp) {
  Player.IsOnline = true;
  AnswerDelayMs = 300;
  Play("first.mp3", "Song", "Band");
  Music.Write("second.lrc", "[00:01.00]second one\r\n");
  Play("second.mp3", "Second", "Group");  // the first lookup is still running
  // Waits for both: the first one's handler starts the second one's lookup.
  WaitForLookup();
  EXPECT_EQ(SearchesMade(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(LyricsDir.Path()));  // saved under neither name
  EXPECT_EQ(LineAt(1500), "second one");
}

TEST_F(LyricSync, LateResultWhileNotPlayingStartsNothing) {
  Player.IsOnline = true;
  AnswerDelayMs = 300;
  Play("first.mp3", "Song", "Band");
  Player.Current = TLyricTrack{Music.File("second.mp3"), "Second", "Group"};
  Player.Playing = false;
  WaitForLookup();
  EXPECT_FALSE(Sync.LookupRunning());
  EXPECT_EQ(Store.Lyric().Count(), 0);
}

TEST_F(LyricSync, ResumeClearsAndLooksUpAgain) {
  Music.Write("song.lrc", "[00:01.00]one\r\n");
  Play("song.mp3", "Song", "Band");
  WaitForLookup();
  EXPECT_EQ(LineAt(1500), "one");
  Sync.LyricSongStarted();
  EXPECT_EQ(Store.Lyric().Count(), 0);
  EXPECT_EQ(Desktop.Last(), kLookingUpLine);
  EXPECT_TRUE(Sync.LookupRunning());
  WaitForLookup();
  EXPECT_EQ(LineAt(1500), "one");
}

TEST_F(LyricSync, HiddenLyricsSendNothingAndKeepThePosition) {
  Music.Write("song.lrc", "[00:01.00]one\r\n");
  Play("song.mp3", "Song", "Band");
  WaitForLookup();
  Player.Show = false;
  size_t Shown = Desktop.Lines.size();
  Sync.LyricTick(5000);
  EXPECT_EQ(Desktop.Lines.size(), Shown);
  EXPECT_EQ(Store.Position(), 0);
}

TEST_F(LyricSync, FinishedSongLeavesOnlyTheSlogan) {
  Music.Write("song.lrc", "[00:01.00]one\r\n");
  Play("song.mp3", "Song", "Band");
  WaitForLookup();
  Sync.LyricSongFinished();
  EXPECT_EQ(Store.Lyric().Count(), 1);
  EXPECT_EQ(LineAt(0), kLyricSlogan);
  EXPECT_EQ(LineAt(300000), kLyricSlogan);
}

TEST_F(LyricSync, NoEntryStartsNoLookup) {
  Player.Current.reset();
  Sync.LyricSongStarted();
  EXPECT_FALSE(Sync.LookupRunning());
  EXPECT_EQ(Desktop.Last(), kLookingUpLine);
}

}  // namespace
}  // namespace vemro
