#include "LrcLibFixture.h"
#include "TempDir.h"
#include "VirtualDispatcher.h"
#include "lyrics/UntLrcThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace vemro {
namespace {

using test::TFixtureSong;
using test::THttpRequest;
using test::THttpTestServer;

TEST(StrSimilarity, Scores) {
  struct TCase {
    const char *A, *B;
    bool Fuzzy;
    int Score;
  };
  const TCase Cases[] = {
      {"", "abc", true, 0},
      {"abc", "", true, 0},
      {"ab", "ba", true, 0},  // window 0 for short texts
      {"hello world", "hello worle", true, 90},
      {"kat", "cat", true, 66},
      {"ts", "ds", true, 100},
      {"ts", "ds", false, 50},
      {"abcdef", "abc", true, 50},
      {"abc", "abcdef", true, 50},
      {"ab cd", "ab cd", true, 100},
      {"ab  cd", "ab cd", true, 83},
      {"AB", "ab", true, 100},
      {"AB", "ab", false, 0},
      {"ss", "zz", true, 0},  // S matches only itself
      {"晴天", "晴天", true, 100},
  };
  for (const TCase& C : Cases)
    EXPECT_EQ(StrSimilarity(C.A, C.B, C.Fuzzy), C.Score) << C.A << " / " << C.B;
}

TEST(StrSimilarity, FuzzyGroups) {
  const std::string Groups[] = {"AE", "BP", "CZ", "DT", "FV", "GK", "IJY"};
  for (const std::string& G : Groups)
    for (char X : G)
      for (char Y : G) {
        EXPECT_TRUE(CharsMatch(X, char(Y + 32), true)) << X << Y;
        EXPECT_EQ(CharsMatch(X, Y, false), X == Y);
      }
  EXPECT_FALSE(CharsMatch('A', 'B', true));
  EXPECT_FALSE(CharsMatch('\xe6', '\xc6', true));
}

TEST(NormalizeLrcText, EndsEveryLineWithCrLf) {
  const std::pair<std::string, std::string> Cases[] = {
      {"", ""},
      {"a", "a\r\n"},
      {"a\r\n", "a\r\n"},
      {"a\rb\nc\r\nd", "a\r\nb\r\nc\r\nd\r\n"},
      {"a\n\nb", "a\r\n\r\nb\r\n"},
      {"\n", "\r\n"},
      {std::string("a\nb\0c\nd", 7), "a\r\nb\r\n"},
  };
  for (const auto& [In, Out] : Cases) EXPECT_EQ(NormalizeLrcText(In), Out) << In;
  EXPECT_TRUE(IsBlankText(NormalizeLrcText(" \r\n\t\n")));
}

TEST(FindLocalLrc, TakesFirstPerfectElseLastGoodMatch) {
  test::TTempDir Dir;
  Dir.Write("ab  cd.lrc", "x");  // 83
  EXPECT_EQ(FindLocalLrc(Dir.Path().string(), "ab", "cd"), "");
  std::string Perfect = Dir.Write("AB CD.LRC", "x");
  Dir.Write("other.txt", "x");
  std::filesystem::create_directory(Dir.File("ab cd.lrc"));  // a folder is no file
  EXPECT_EQ(FindLocalLrc(Dir.Path().string(), "ab", "cd"), Perfect);
  EXPECT_EQ(FindLocalLrc(Dir.Path().string() + "/", "AB", "CD"), Perfect);
  EXPECT_EQ(FindLocalLrc(Dir.File("missing"), "ab", "cd"), "");
}

TEST(FindLocalLrc, GoodMatchesBelowPerfect) {
  test::TTempDir Dir;
  // 33 bytes against the key: one byte missing scores 96.
  const std::string Title = "abcdefghijklmnopqrstuvwxyz012345", Singer = "";
  Dir.Write(Title.substr(0, 31) + "9.lrc", "x");  // 31 of 33 → 93
  EXPECT_EQ(FindLocalLrc(Dir.Path().string(), Title, Singer), "");
  std::string Good = Dir.Write(Title + ".lrc", "x");  // "..345" vs "..345 ": 32/33 = 96
  EXPECT_EQ(FindLocalLrc(Dir.Path().string(), Title, Singer), Good);
}

TEST(FindLrcBeside, SameNameExactThenAnyCase) {
  test::TTempDir Dir;
  Dir.Write("a.mp3", "");
  EXPECT_EQ(FindLrcBeside(Dir.File("a.mp3")), "");
  std::string AnyCase = Dir.Write("A.LRC", "x");
  EXPECT_EQ(FindLrcBeside(Dir.File("a.mp3")), AnyCase);
  std::string Exact = Dir.Write("a.lrc", "x");
  EXPECT_EQ(FindLrcBeside(Dir.File("a.mp3")), Exact);
  std::string Flac = Dir.Write("Song Name.lrc", "x");
  EXPECT_EQ(FindLrcBeside(Dir.File("Song Name.flac")), Flac);
  EXPECT_EQ(FindLrcBeside("http://example.invalid/a.mp3"), "");
  EXPECT_EQ(FindLrcBeside(""), "");
}

// Search results whose title + singer score 50, 30, 70, 70, 90 against "abcdefghij".
std::vector<TFixtureSong> ScoredSongs() {
  return {{1, "abcde#####", "", "", 1, "[00:01.00]fifty"},
          {2, "abc#######", "", "", 1, "[00:01.00]thirty"},
          {3, "abcdefg###", "", "", 1, "[00:01.00]seventy"},
          {4, "abcdefg#!#", "", "", 1, "[00:01.00]seventy too"},
          {5, "abcdefghi#", "", "", 1, "[00:01.00]ninety"}};
}

std::vector<std::string> GetPaths(const THttpTestServer& Server) {
  std::vector<std::string> Paths;
  for (const THttpRequest& R : Server.Requests())
    if (R.Path != "/api/search") Paths.push_back(R.Path);
  return Paths;
}

TEST(DownloadLrc, TriesResultsThatRaisedTheBestScoreBestFirst) {
  // The get answers of 5 and 3 have only blanks: 1 is the one taken.
  std::vector<TFixtureSong> Songs = ScoredSongs();
  std::vector<TFixtureSong> Answers = Songs;
  Answers[4].Synced = " \r\n ";
  Answers[2].Synced = std::nullopt;
  THttpTestServer Server([&](const THttpRequest& R) {
    return test::AnswerLikeLrcLib(R, R.Path == "/api/search" ? Songs : Answers);
  });
  auto Service = test::ServiceAt(Server.BaseUrl());
  TLrcService::TSession Session = Service->Session();
  EXPECT_EQ(DownloadLrc(Session, "ABCDEFGHIJ", "", ""), "[00:01.00]fifty\r\n");
  EXPECT_EQ(GetPaths(Server), (std::vector<std::string>{"/api/get/5", "/api/get/3", "/api/get/1"}));
}

TEST(DownloadLrc, NothingFound) {
  std::vector<TFixtureSong> Songs = ScoredSongs();
  for (TFixtureSong& S : Songs) S.Synced = "[00:01.00]x";
  THttpTestServer Server([&](const THttpRequest& R) {
    test::THttpResponse Answer = test::AnswerLikeLrcLib(R, Songs);
    if (R.Path != "/api/search") Answer.Status = 404;
    return Answer;
  });
  auto Service = test::ServiceAt(Server.BaseUrl());
  TLrcService::TSession Session = Service->Session();
  EXPECT_EQ(DownloadLrc(Session, "qqqq", "", ""), "");  // every result scores 0
  EXPECT_TRUE(GetPaths(Server).empty());
  EXPECT_EQ(DownloadLrc(Session, "abcdefghij", "", ""), "");  // every get fails
  EXPECT_EQ(GetPaths(Server).size(), 3u);
}

class LyricThreads : public testing::Test {
protected:
  std::unique_ptr<TLrcTextThread> Lookup(const std::string& Track, bool AllowDownload) {
    return std::make_unique<TLrcTextThread>(Ui, *Service, Track, "Song", "Band", "",
                                            LyricsDir.Path().string(), AllowDownload,
                                            [this](TLrcTextThread&) { ++Done; });
  }
  void WaitDone(int Count = 1) { ASSERT_TRUE(Ui.WaitFor([&] { return Done == Count; })); }

  std::vector<TFixtureSong> Songs = {{42, "Song", "Band", "Album", 200, "[00:01.00]online"}};
  THttpTestServer Server{[this](const THttpRequest& R) { return test::AnswerLikeLrcLib(R, Songs); }};
  std::unique_ptr<TLrcService> Service = test::ServiceAt(Server.BaseUrl());
  test::TVirtualDispatcher Ui;
  test::TTempDir Music, LyricsDir;
  int Done = 0;
};

TEST_F(LyricThreads, FileBesideTheTrackWinsOverTheLyricsFolder) {
  Music.Write("song.mp3", "");
  Music.Write("song.lrc", "[00:01.00]beside\n[00:02.00]two");
  LyricsDir.Write("Song Band.lrc", "[00:01.00]folder");
  auto Thread = Lookup(Music.File("song.mp3"), true);
  WaitDone();
  EXPECT_EQ(Thread->LrcText(), "[00:01.00]beside\r\n[00:02.00]two\r\n");
  EXPECT_FALSE(Thread->Downloaded());
  EXPECT_TRUE(Server.Requests().empty());
}

TEST_F(LyricThreads, LyricsFolderFileIsDecoded) {
  LyricsDir.Write("song band.lrc", "\xef\xbb\xbf[00:01.00]\xe6\x99\xb4");  // BOM
  auto Thread = Lookup(Music.File("song.mp3"), true);
  WaitDone();
  EXPECT_EQ(Thread->LrcText(), "[00:01.00]\xe6\x99\xb4\r\n");
  EXPECT_FALSE(Thread->Downloaded());
}

TEST_F(LyricThreads, GbkFileIsDecoded) {
  Music.Write("song.lrc", "[00:01.00]\xc7\xe7\xcc\xec");  // 晴天 in GBK
  auto Thread = Lookup(Music.File("song.mp3"), false);
  WaitDone();
  EXPECT_EQ(Thread->LrcText(), "[00:01.00]晴天\r\n");
}

TEST_F(LyricThreads, DownloadsOnlyWhenAllowed) {
  auto Offline = Lookup(Music.File("song.mp3"), false);
  WaitDone();
  EXPECT_EQ(Offline->LrcText(), "");
  EXPECT_FALSE(Offline->Downloaded());
  EXPECT_TRUE(Server.Requests().empty());

  auto Online = Lookup(Music.File("song.mp3"), true);
  WaitDone(2);
  EXPECT_EQ(Online->LrcText(), "[00:01.00]online\r\n");
  EXPECT_TRUE(Online->Downloaded());
}

TEST_F(LyricThreads, HandlerRunsOnTheUiThreadAndMayDropTheThread) {
  std::unique_ptr<TLrcTextThread> Thread;
  bool OnUi = false;
  Thread = std::make_unique<TLrcTextThread>(Ui, *Service, Music.File("x.mp3"), "Song", "Band", "",
                                            "", true, [&](TLrcTextThread& T) {
                                              OnUi = Ui.IsUiThread() && T.Downloaded();
                                              Thread.reset();
                                            });
  ASSERT_TRUE(Ui.WaitFor([&] { return !Thread; }));
  EXPECT_TRUE(OnUi);
}

TEST_F(LyricThreads, DestroyingARunningThreadCancelsItsHandler) {
  Songs[0].Synced = "[00:01.00]late";
  test::THttpTestServer Slow([](const THttpRequest&) {
    test::THttpResponse R;
    R.NeverAnswer = true;
    return R;
  });
  auto SlowService = test::ServiceAt(Slow.BaseUrl());
  auto Thread = std::make_unique<TLrcTextThread>(Ui, *SlowService, Music.File("x.mp3"), "a", "b",
                                                 "", "", true, [&](TLrcTextThread&) { ++Done; });
  Thread.reset();
  Ui.RunPending();
  EXPECT_EQ(Done, 0);
}

class TRows : public ILrcRowSink {
public:
  void AddRow(int32_t Number, const TLrcResult& Result) override {
    Rows.push_back(std::to_string(Number) + " " + Result.Title + "|" + Result.Singer + "|" +
                   Result.SS + "|" + std::to_string(Result.Id));
    if (OnRow) OnRow();
  }
  std::vector<std::string> Rows;
  std::function<void()> OnRow;
};

TEST_F(LyricThreads, SearchAddsOneRowPerResult) {
  Songs.push_back({43, "Song 2", "Other", "", 61, "[00:01.00]b"});
  TRows Sink;
  TLrcListThread Search(Ui, *Service, &Sink, "Song", "Band", "", [&](TLrcListThread&) { ++Done; });
  WaitDone();
  EXPECT_EQ(Sink.Rows, (std::vector<std::string>{"1 Song|Band|Album 3:20|42", "2 Song 2|Other|1:01|43"}));
  EXPECT_EQ(Search.RowsAdded(), 2);
}

TEST_F(LyricThreads, StoppedSearchKeepsRowsAddedSoFar) {
  for (int K = 0; K < 20; ++K) Songs.push_back({100 + K, "S", "B", "", 1, "[00:01.00]x"});
  TRows Sink;
  std::unique_ptr<TLrcListThread> Search;
  Sink.OnRow = [&] {
    if (Sink.Rows.size() == 3) Search->Stop();
  };
  Search = std::make_unique<TLrcListThread>(Ui, *Service, &Sink, "S", "B", "",
                                            [&](TLrcListThread&) { ++Done; });
  WaitDone();
  EXPECT_EQ(Sink.Rows.size(), 3u);
  EXPECT_EQ(Search->RowsAdded(), 3);
}

TEST_F(LyricThreads, UiThreadCanDropASearchWaitingToAddARow) {
  for (int K = 0; K < 5; ++K) Songs.push_back({100 + K, "S", "B", "", 1, "[00:01.00]x"});
  TRows Sink;
  auto Search = std::make_unique<TLrcListThread>(Ui, *Service, &Sink, "S", "B", "",
                                                 [&](TLrcListThread&) { ++Done; });
  // Without pumping, the worker soon waits for the UI thread to add its first row;
  // dropping the search then must not hang (nor, if it has not got there yet, add rows).
  for (int K = 0; K < 1000 && Server.Requests().empty(); ++K)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Search.reset();
  Ui.RunPending();
  EXPECT_TRUE(Sink.Rows.empty());
  EXPECT_EQ(Done, 0);
}

TEST_F(LyricThreads, DownloadOfARowSurvivesAnotherSearch) {
  Songs.push_back({43, "Other", "Band", "", 1, "[00:01.00]other"});
  TRows Sink;
  TLrcListThread Search(Ui, *Service, &Sink, "Song", "Band", "", [&](TLrcListThread&) { ++Done; });
  WaitDone();
  // A track lookup searches in between; the row's id still names its own result.
  auto Lookup = this->Lookup(Music.File("z.mp3"), true);
  WaitDone(2);
  TGetLrcTextThread Download(Ui, *Service, 43, [&](TGetLrcTextThread&) { ++Done; });
  WaitDone(3);
  EXPECT_EQ(Download.LrcText(), "[00:01.00]other");
}

}  // namespace
}  // namespace vemro
