#include "HttpTestServer.h"
#include "MainFixtures.h"
#include "TempDir.h"
#include "VirtualDispatcher.h"
#include "main/FailureHandoff.h"
#include "main/unt_main.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <sys/mman.h>
#include <unistd.h>

namespace vemro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The controller on the virtual clock, with the real engine on the dummy driver, in a
// home folder of its own.
class PelmarMainTest : public ::testing::Test, protected test::TControllerHome {
protected:
  std::string MusicFolder() const { return DataFolder() + "music/"; }

  std::string Song(const std::string& Name, double Seconds = 30, const std::string& Title = "",
                   const std::string& Artist = "") {
    return Home.Write("songs/" + Name, Name.ends_with(".wav") ? test::WavBytes(Seconds)
                                                              : test::TaggedMp3Bytes(Seconds, Title, Artist));
  }

  // Appends files without playing, as "vemro /l file" does.
  void AddFiles(const std::vector<std::string>& Files) {
    for (const auto& File : Files) Command(cmdAddFile, File);
  }

  void Command(uint8_t Code, const std::string& Text) {
    Record->Write({Code, Text});
    Main->HandleMessage({WMCMDRECORD, 1, 1});
  }

  int32_t Remote(int32_t WParam, int32_t LParam = 0) {
    return Main->HandleMessage({WMCMDPLAY, WParam, LParam});
  }

  bool WaitState(int32_t State, std::chrono::milliseconds Timeout = 15s) {
    return D.WaitFor([&] { return Main->Engine().State() == State; }, Timeout);
  }

  // Plays entry Index from the stopped state.
  void PlayEntry(int32_t Index) {
    Main->ListModel().Hover(Index);
    Main->plst_listItemDblClick();
    ASSERT_TRUE(WaitState(STATE_PLAYING));
    ASSERT_EQ(Main->CurrentIndex(), Index);
  }

  std::string PlayListFile() const { return test::ReadFileBytes(DataFolder() + "Default.pls"); }
};

TEST_F(PelmarMainTest, FirstRunSettlesTheDefaultsOntoTheControls) {
  Start();
  EXPECT_EQ(View.PlayModeIndex, 0);
  EXPECT_EQ(View.Volume, 65);
  EXPECT_TRUE(View.AutoRun);
  EXPECT_TRUE(View.ShowLrc);
  EXPECT_FALSE(View.ListVisible);
  EXPECT_EQ(View.Opacity, 0);
  EXPECT_TRUE(fs::is_directory(DataFolder() + "lrc"));
  EXPECT_TRUE(fs::is_directory(MusicFolder()));
  EXPECT_EQ(Main->CurrentIndex(), 0);
  EXPECT_EQ(Remote(50), 0);
  EXPECT_GE(View.Presets.size(), 3u);
  EXPECT_EQ(View.SelectedPreset, 0);
}

TEST_F(PelmarMainTest, AFaultWritesTheSettingsAsTheyAreInMemory) {
  Start();
  Main->tbrVChange(30);
  Main->modBoxChange(2);
  EXPECT_EXIT(
      {
        InstallFailureHandoff(Home.File("no-reporter") + "/");
        std::raise(SIGSEGV);
      },
      ::testing::ExitedWithCode(0), "");
  const std::string Written = test::ReadFileBytes(DataFolder() + "Vemro.xml");
  EXPECT_NE(Written.find("<Volume Value=\"30\"/>"), std::string::npos) << Written;
  EXPECT_NE(Written.find("<PLAY PATTERN=\"2\"/>"), std::string::npos) << Written;
}

TEST_F(PelmarMainTest, APresetThatDoesNotConvertStopsOnlyThePreset) {
  Home.Write("program/effect.dat",
              "<?xml version=\"1.0\"?><effects><eq name=\"Broken\" id=\"zero\"/>"
              "<eq name=\"Loud\" id=\"1\" q1=\"6\" q2=\"6\" q3=\"6\" q4=\"6\" q5=\"6\" "
              "q6=\"6\" q7=\"6\" q8=\"6\" q9=\"6\" q10=\"6\"/></effects>");
  Start({}, Home.File("program") + "/");
  EXPECT_EQ(View.Presets, (std::vector<std::string>{"Broken", "Loud"}));
  AddFiles({Song("a.mp3", 30, "Title", "Singer")});
  Main->effBoxChange(1);
  PlayEntry(0);
  EXPECT_EQ(View.TitleLine, "Title - Singer");
  EXPECT_EQ(Main->ListModel().Item(0).Marker, 1);
  EXPECT_EQ(View.PlayButton, TPlayButtonImage::Pause);
  EXPECT_EQ(Main->Engine().EqGains(), TEqGains{});
  Main->FormClose();
  EXPECT_NE(test::ReadFileBytes(DataFolder() + "Vemro.xml").find("<EQ ID=\"1\"/>"), std::string::npos);
}

TEST_F(PelmarMainTest, ACommandLineFileIsHandledOnceTheLoopRuns) {
  const std::string File = Song("start.mp3", 30, "Opening", "Band");
  Main = std::make_unique<TPelmarMain>(D, View, View, *Record, TStartup{{File}, "./"});
  EXPECT_EQ(Remote(50), 0);  // nothing happens before the loop
  D.RunPending();
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  EXPECT_EQ(Main->PlayList().at(0).Caption, "Opening - Band");
  EXPECT_EQ(View.TitleLine, "Opening - Band");
  EXPECT_EQ(View.PlayButton, TPlayButtonImage::Pause);
  EXPECT_EQ(Record->Read().Code, cmdNone);
}

TEST_F(PelmarMainTest, Command1AppendsWithTheTagTitleAndPlaysIt11OnlyAppends) {
  Start();
  Command(cmdAddFile, Song("first.mp3", 30, "First", ""));
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);
  PlayEntry(0);

  Command(cmdPlayFile, Song("song.mp3", 30));  // no tag: the file name
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  ASSERT_EQ(Main->PlayList().size(), 2u);
  EXPECT_EQ(Main->PlayList()[1].Caption, "song");
  EXPECT_EQ(Main->CurrentIndex(), 1);
  EXPECT_EQ(Main->ListModel().Item(1).Number, 2);
  EXPECT_EQ(Main->ListModel().Item(1).Marker, 1);
  EXPECT_EQ(Record->Read().Code, cmdNone);

  Command(cmdPlayFile, "");  // names no file
  EXPECT_EQ(Remote(50), 2);
  EXPECT_NE(PlayListFile().find("song.mp3"), std::string::npos);
}

TEST_F(PelmarMainTest, RecordWithAnotherLParamIsLeftAlone) {
  Start();
  Record->Write({cmdAddFile, Song("a.mp3")});
  Main->HandleMessage({WMCMDRECORD, 1, 0});
  EXPECT_EQ(Remote(50), 0);
  EXPECT_EQ(Record->Read().Code, cmdAddFile);
  Record->Write({77, "whatever"});
  Main->HandleMessage({WMCMDRECORD, 1, 1});
  EXPECT_EQ(Remote(50), 0);
  EXPECT_EQ(Record->Read().Code, cmdNone);
}

TEST_F(PelmarMainTest, WhileAStreamConnectsCommand1AppendsWithoutPlaying) {
  test::THttpTestServer Silent([](const test::THttpRequest&) {
    test::THttpResponse R;
    R.NeverAnswer = true;
    return R;
  });
  Start();
  Command(cmdPlayFile, Silent.BaseUrl() + "/stream.mp3");
  ASSERT_TRUE(WaitState(STATE_CONNECTING, 5s));
  Command(cmdPlayFile, Song("later.mp3"));
  EXPECT_EQ(Remote(50), 2);
  EXPECT_EQ(Main->CurrentIndex(), 0);
  Main->plst_listItemDblClick();  // refused as well while connecting
  EXPECT_EQ(Main->CurrentIndex(), 0);
  Main->Engine().Stop();
}

TEST_F(PelmarMainTest, NetworkListsAreDecodedIntoEntries) {
  Start();
  struct TCase {
    std::string Text;
    std::vector<std::array<std::string, 3>> Entries;  // title, singer, path
  };
  const TCase Cases[] = {
      {"", {}},
      {"x", {{"", "", ""}}},  // one character: nothing is removed
      {"0a.mp3|Song-Band_,", {{"Song", "Band", "a.mp3"}}},
      {"0a.mp3|One-Two-Three|more,0b%20c.mp3|Only+Title_,",
       {{"One", "Two", "a.mp3"}, {"Only Title", "", "b c.mp3"}}},
      {"0a.mp3| Spaced - Out &ignored_,", {{"Spaced", "Out", "a.mp3"}}},
      {",,_,", {{"", "", ""}, {"", "", ""}, {"", "", ""}}},
      {"0%E6%AD%8C.mp3|%E6%AD%8C-%E6%89%8B_,", {{"歌", "手", "歌.mp3"}}},
  };
  for (const auto& Case : Cases) {
    const size_t Before = Main->PlayList().size();
    Command(cmdAddNetList, Case.Text);
    ASSERT_EQ(Main->PlayList().size() - Before, Case.Entries.size()) << Case.Text;
    for (size_t I = 0; I < Case.Entries.size(); ++I) {
      const auto& Entry = Main->PlayList()[Before + I];
      EXPECT_EQ(Entry.Title, Case.Entries[I][0]) << Case.Text;
      EXPECT_EQ(Entry.Singer, Case.Entries[I][1]) << Case.Text;
      EXPECT_EQ(Entry.Path, Case.Entries[I][2]) << Case.Text;
      EXPECT_EQ(Main->ListModel().Item(static_cast<int32_t>(Before + I)).Number,
                static_cast<int32_t>(Before + I + 1));
    }
  }
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);  // 22 never plays
}

TEST_F(PelmarMainTest, Command2PlaysTheFirstAddedEntry) {
  Start();
  AddFiles({Song("a.mp3")});
  PlayEntry(0);
  const std::string B = Song("b.mp3"), C = Song("c.mp3");
  Command(cmdPlayNetList, "0" + B + "|Bee-Band,0" + C + "|Sea-Band_,");
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  EXPECT_EQ(Main->CurrentIndex(), 1);
  EXPECT_EQ(View.TitleLine, "Bee - Band");

  Command(cmdPlayNetList, "");  // nothing added: stops and plays nothing
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);
  EXPECT_EQ(Main->CurrentIndex(), 3);
  EXPECT_EQ(Remote(51), 3);
  Main->btn_playClick();  // no entry is current
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);
}

TEST_F(PelmarMainTest, RemoteControlAnswers) {
  Start();
  EXPECT_EQ(Remote(50), 0);
  AddFiles({Song("a.mp3"), Song("b.mp3")});
  struct TCase {
    int32_t WParam, LParam, Result;
  };
  const TCase Cases[] = {{15, 0, 1}, {50, 0, 2}, {51, 0, 0}, {50, 1, -1}, {16, 7, -1},
                         {17, 0, -1}, {0, 0, -1}, {-1, 0, -1}};
  for (const auto& Case : Cases)
    EXPECT_EQ(Remote(Case.WParam, Case.LParam), Case.Result) << Case.WParam << "," << Case.LParam;
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);
  EXPECT_EQ(Remote(16), 1);
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  EXPECT_EQ(Remote(20), 1);
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  EXPECT_EQ(Remote(51), 1);
  EXPECT_EQ(Remote(16), 1);
  EXPECT_EQ(Main->Engine().State(), STATE_PAUSED);
  EXPECT_EQ(View.PlayButton, TPlayButtonImage::Play);
  EXPECT_EQ(Main->HandleMessage({1234, 0, 0}), -1);
}

TEST_F(PelmarMainTest, TheEndOfTheLastSongFollowsThePlayMode) {
  struct TCase {
    TPlayMode Mode;
    int32_t NextIndex;  // -1: nothing further plays
  };
  for (const TCase Case : {TCase{TPlayMode::Sequential, -1}, TCase{TPlayMode::RepeatList, 0},
                           TCase{TPlayMode::RepeatOne, 1}}) {
    SCOPED_TRACE(static_cast<int>(Case.Mode));
    Main.reset();
    fs::remove_all(DataFolder());
    Start();
    AddFiles({Song("long.mp3", 30), Song("short.wav", 0.3)});
    Main->modBoxChange(static_cast<int32_t>(Case.Mode));
    PlayEntry(1);
    ASSERT_TRUE(D.WaitFor([&] { return Main->Engine().State() != STATE_PLAYING; }, 15s));
    if (Case.NextIndex < 0) {
      EXPECT_EQ(Main->Engine().State(), STATE_ENDED);
      EXPECT_EQ(View.PlayButton, TPlayButtonImage::Pause);
      Main->btn_playClick();  // plays the last entry again
      ASSERT_TRUE(WaitState(STATE_PLAYING));
      EXPECT_EQ(Main->CurrentIndex(), 1);
    } else {
      ASSERT_TRUE(WaitState(STATE_PLAYING));
      EXPECT_EQ(Main->CurrentIndex(), Case.NextIndex);
    }
  }
}

TEST_F(PelmarMainTest, PreviousOnTheFirstEntryLeavesNoEntryCurrent) {
  Start();
  AddFiles({Song("short.wav", 0.4), Song("b.mp3")});
  PlayEntry(0);
  Main->btn_previousClick();
  EXPECT_EQ(Main->Engine().State(), STATE_PLAYING);
  EXPECT_EQ(Remote(51), -1);
  Main->btn_playClick();  // can neither pause nor resume
  EXPECT_EQ(Main->Engine().State(), STATE_PLAYING);
  // At the end of the song the first entry is next.
  ASSERT_TRUE(D.WaitFor([&] { return Main->CurrentIndex() == 0; }, 15s));
  ASSERT_TRUE(WaitState(STATE_PLAYING));
}

TEST_F(PelmarMainTest, NextOnTheLastEntryWrapsInEveryMode) {
  Start();
  AddFiles({Song("a.mp3"), Song("b.mp3")});
  for (int32_t Mode = 0; Mode < 3; ++Mode) {
    Main->modBoxChange(Mode);
    PlayEntry(1);
    Main->btn_nextClick();
    ASSERT_TRUE(WaitState(STATE_PLAYING));
    EXPECT_EQ(Main->CurrentIndex(), 0);
    Main->Engine().Stop();
  }
}

TEST_F(PelmarMainTest, FailedOpensAreWalkedOnePerSecond) {
  Start();
  AddFiles({"/nonexistent/a.mp3", "/nonexistent/b.mp3", "/nonexistent/c.mp3"});
  Main->modBoxChange(static_cast<int32_t>(TPlayMode::Sequential));
  Main->btn_playClick();
  for (int32_t Expected : {1, 2, 0, 1}) {
    ASSERT_TRUE(WaitState(STATE_OPEN_FAILED));
    D.Advance(999);
    EXPECT_EQ(Main->CurrentIndex(), Expected == 0 ? 2 : Expected - 1);
    D.Advance(1);
    EXPECT_EQ(Main->CurrentIndex(), Expected);
  }
  // Repeat-one stays on the failing entry.
  ASSERT_TRUE(WaitState(STATE_OPEN_FAILED));
  Main->modBoxChange(static_cast<int32_t>(TPlayMode::RepeatOne));
  D.Advance(1000);
  D.Advance(5000);
  EXPECT_EQ(Main->CurrentIndex(), 1);
  EXPECT_EQ(Main->Engine().State(), STATE_OPEN_FAILED);
}

TEST_F(PelmarMainTest, DeletingAroundTheCurrentEntry) {
  Start();
  std::vector<std::string> Files;
  for (char C = 'a'; C <= 'e'; ++C) Files.push_back(Song(std::string(1, C) + ".mp3"));
  AddFiles(Files);
  PlayEntry(3);

  Main->lstDefaultMouseMove(1);
  View.PopupAnswer = kMsgNo;
  Main->pmdel_delselectClick();
  EXPECT_EQ(Remote(50), 5);
  View.PopupAnswer = kMsgYes;
  Main->pmdel_delselectClick();
  EXPECT_EQ(View.Popups.back(), "确定要删除当前选择的歌曲吗？");
  EXPECT_EQ(View.FadeMs, 400);
  EXPECT_EQ(Main->CurrentIndex(), 2);
  EXPECT_EQ(Main->Engine().State(), STATE_PLAYING);
  ASSERT_EQ(Main->ListModel().Count(), 4);
  for (int32_t I = 0; I < 4; ++I) EXPECT_EQ(Main->ListModel().Item(I).Number, I + 1);
  EXPECT_EQ(Main->PlayList()[2].Path, Files[3]);
  EXPECT_EQ(PlayListFile().find("b.mp3"), std::string::npos);

  // The playing entry: playback stops, the lyrics go, nothing else starts.
  Main->LyricStore().LoadText("[00:01.00]line");
  Main->lstDefaultMouseMove(2);
  Main->pmdel_delselectClick();
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);
  EXPECT_EQ(Main->LyricStore().SourceText(), "");
  EXPECT_EQ(Main->CurrentIndex(), 2);
  EXPECT_EQ(Main->PlayList()[2].Path, Files[4]);

  // The last entry while current: the index is left past the end.
  PlayEntry(2);
  Main->lstDefaultMouseMove(2);
  Main->pmdel_delselectClick();
  EXPECT_EQ(Main->CurrentIndex(), 2);
  EXPECT_EQ(Remote(50), 2);
  Main->btn_playClick();
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);
  Main->btn_nextClick();
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  EXPECT_EQ(Main->CurrentIndex(), 0);
}

TEST_F(PelmarMainTest, WhileAnItemFadesTheListWaits) {
  Start();
  AddFiles({Song("a.mp3"), Song("b.mp3"), Song("c.mp3")});
  View.FinishFadesAtOnce = false;
  Main->lstDefaultMouseMove(0);
  Main->pmdel_delselectClick();
  ASSERT_TRUE(View.FadeDone);

  Command(cmdAddFile, Song("d.mp3"));  // waits for the fade
  Main->lstDefaultMouseMove(1);
  Main->pmdel_delselectClick();        // refused
  Main->pmdel_clearlistClick();        // refused
  Main->plst_listItemDblClick();       // refused
  EXPECT_EQ(Main->ListModel().Count(), 3);
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);
  EXPECT_EQ(Record->Read().Code, cmdNone);  // the record is free for the next start

  View.FinishFade();
  ASSERT_EQ(Main->ListModel().Count(), 3);
  EXPECT_EQ(Main->PlayList()[0].Caption, "b");
  EXPECT_EQ(Main->PlayList()[2].Caption, "d");
  EXPECT_EQ(Main->ListModel().Item(2).Number, 3);
}

TEST_F(PelmarMainTest, ClearingStopsAndShowsTheHint) {
  Start();
  AddFiles({Song("a.mp3"), Song("b.mp3")});
  PlayEntry(1);
  View.PopupAnswer = kMsgNo;
  Main->pmdel_clearlistClick();
  EXPECT_EQ(Remote(50), 2);
  View.PopupAnswer = kMsgYes;
  Main->pmdel_clearlistClick();
  EXPECT_EQ(View.Popups.back(), "确定要清空当前歌曲列表？");
  EXPECT_EQ(Main->Engine().State(), STATE_STOPPED);
  EXPECT_FALSE(View.ListVisible);
  EXPECT_EQ(Main->CurrentIndex(), 1);
  EXPECT_NE(PlayListFile().find("<PlayerList/>"), std::string::npos) << PlayListFile();
}

TEST_F(PelmarMainTest, AddingFilesNumbersThemAndStartsOnlyAnEmptyList) {
  Start();
  View.FilesToChoose = std::vector<std::string>{Song("one.mp3", 30, "One", "Band"), Song("a b.mp3"),
                                                 Song("three.wav")};
  Main->lbl_openClick();
  EXPECT_NE(View.FileFilter.find("*.mp3"), std::string::npos);
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  EXPECT_EQ(Main->CurrentIndex(), 0);
  EXPECT_TRUE(View.ListVisible);
  EXPECT_EQ(Main->PlayList()[1].Caption, "a b");
  PlayEntry(2);
  View.FilesToChoose = std::vector<std::string>{Song("four.mp3"), Song("five.mp3")};
  Main->lbl_openClick();
  EXPECT_EQ(Main->CurrentIndex(), 2);
  ASSERT_EQ(Main->ListModel().Count(), 5);
  EXPECT_EQ(Main->ListModel().Item(3).Number, 4);
  EXPECT_EQ(Main->ListModel().Item(4).Number, 5);
  View.FilesToChoose.reset();  // cancelled
  Main->lbl_openClick();
  EXPECT_EQ(Remote(50), 5);

  const std::string File = PlayListFile();
  size_t At = 0;
  for (const char* Name : {"one.mp3", "a b.mp3", "three.wav", "four.mp3", "five.mp3"}) {
    At = File.find(Name, At);
    ASSERT_NE(At, std::string::npos) << Name;
  }
  EXPECT_NE(File.find("Url=\"0\" Ltime=\"0\""), std::string::npos) << File;
}

TEST_F(PelmarMainTest, PeriodicWorkEveryTenthTickSeekAndVolume) {
  Start();
  AddFiles({Song("a.wav", 5)});
  PlayEntry(0);
  EXPECT_NEAR(View.ProgressMax, 5000, 50);
  View.Opacity = 0.5;
  D.Advance(500);
  EXPECT_EQ(View.ProgressValue, -1);  // the bar is not fully shown
  View.Opacity = 1;
  D.Advance(450);
  EXPECT_EQ(View.ProgressValue, -1);
  D.Advance(50);
  EXPECT_GE(View.ProgressValue, 0);

  Main->tbrmainMouseDown(150, 200);
  EXPECT_NEAR(Main->Engine().GetPosition(), 3750, 200);
  Main->tbrVChange(30);
  Main->FormClose();
  EXPECT_NE(test::ReadFileBytes(DataFolder() + "Vemro.xml").find("Value=\"30\""), std::string::npos);
}

TEST_F(PelmarMainTest, ABrokenPlayListFileKeepsWhatWasReadAndIsMovedAside) {
  const std::string Good =
      "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<DefaultList><PlayerList>"
      "<LIST Path=\"/m/a.mp3\" Title=\"A\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>"
      "<LIST Path=\"/m/b.mp3\" Title=\"B\" Artist=\"S\" Url=\"0\" Ltime=\"0\"/>"
      "<LIST Path=\"/m/c.mp3\" Title=\"C\" Artist=\"\" Url=\"0\" Ltime=\"soon\"/>"
      "<LIST Path=\"/m/d.mp3\" Title=\"D\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>"
      "</PlayerList></DefaultList>\n";
  struct TCase {
    std::string Content;
    size_t Kept;
  };
  for (const TCase& Case : {TCase{Good, 2}, TCase{"<DefaultList><PlayerList><LIST", 0}}) {
    Main.reset();
    fs::remove_all(DataFolder());
    Home.Write("Documents/vemro/Default.pls", Case.Content);
    Start();
    ASSERT_EQ(Main->PlayList().size(), Case.Kept);
    if (Case.Kept) {
      EXPECT_EQ(Main->PlayList()[1].Caption, "B - S");
    }
    EXPECT_EQ(test::ReadFileBytes(DataFolder() + "Default.pls.bad"), Case.Content);
    EXPECT_FALSE(fs::exists(DataFolder() + "Default.pls"));
    Main->FormClose();
    const std::string Fresh = PlayListFile();
    EXPECT_NE(Fresh.find("<DefaultList"), std::string::npos) << Fresh;
    EXPECT_EQ(Fresh.find("/m/b.mp3") != std::string::npos, Case.Kept > 0) << Fresh;
    EXPECT_EQ(Fresh.find("c.mp3"), std::string::npos);
  }
}

TEST_F(PelmarMainTest, PlugInsHearOfEverySongStartAndEndInOrder) {
  const std::string Log = Home.File("plugins.log");
  setenv("VEMRO_TEST_PLUGIN_LOG", Log.c_str(), 1);
  Start({}, std::string(VEMRO_TEST_PROGRAM_DIR) + "/");
  AddFiles({Song("short.wav", 0.3), Song("b.mp3")});
  PlayEntry(0);
  ASSERT_TRUE(D.WaitFor([&] { return Main->CurrentIndex() == 1; }, 15s));
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  Main->btn_playClick();
  Main->btn_playClick();  // resumed: started once more
  Main.reset();
  unsetenv("VEMRO_TEST_PLUGIN_LOG");
  std::string Heard;
  std::istringstream Lines(test::ReadFileBytes(Log));
  for (std::string Line; std::getline(Lines, Line);)
    if (Line.starts_with("answer5 ")) Heard += Line.substr(8) + " ";
  EXPECT_EQ(Heard, "100 108 109 108 108 101 ");
}

TEST_F(PelmarMainTest, LyricsBesideTheSongFollowPlayback) {
  Start();
  EXPECT_EQ(View.DesktopLines.front(), "Vemro 不一样的音乐体验");
  const std::string File = Song("sung.wav", 5);
  Home.Write("songs/sung.lrc", "[00:00.00]第一行\r\n[00:30.00]later\r\n");
  AddFiles({File});
  PlayEntry(0);
  EXPECT_EQ(View.DesktopLines.back(), "...");
  ASSERT_TRUE(D.WaitFor([&] { return !Main->LyricStore().SourceText().empty(); }, 15s));
  D.Advance(500);
  EXPECT_EQ(View.DesktopLines.back(), "第一行");
  EXPECT_TRUE(fs::is_empty(DataFolder() + "lrc"));  // found locally: nothing saved
  Main->btn_nextClick();  // the only entry again: the lookup starts afresh
  ASSERT_TRUE(WaitState(STATE_PLAYING));
  EXPECT_EQ(View.DesktopLines.back(), "...");
}

// A network song: saved under its caption when every byte arrived, never for an endless
// stream, and only for its own entry.
class NetworkSongTest : public PelmarMainTest {
protected:
  std::string FBody = test::TaggedMp3Bytes(2, "", "");
};

TEST_F(NetworkSongTest, ACompleteDownloadIsSavedBesideTakenNames) {
  test::THttpTestServer Server([this](const test::THttpRequest&) {
    test::THttpResponse R;
    R.Body = FBody;
    return R;
  });
  Start();
  Home.Write("Documents/vemro/music/Song - Band.mp3", "taken");
  Home.Write("Documents/vemro/music/Song - Band(1).mp3", "taken");
  Command(cmdAddNetList, "0" + Server.BaseUrl() + "/s.mp3|Song-Band_,");
  PlayEntry(0);
  const std::string Saved = MusicFolder() + "Song - Band(2).mp3";
  ASSERT_TRUE(D.WaitFor([&] { return Main->PlayList()[0].Path == Saved; }, 15s));
  EXPECT_EQ(test::ReadFileBytes(Saved), FBody);
  EXPECT_FALSE(fs::exists(MusicFolder() + "_temp._mp"));
  Main->FormClose();
  EXPECT_NE(PlayListFile().find("Song - Band(2).mp3"), std::string::npos);
}

TEST_F(NetworkSongTest, AnEndlessStreamWritesNothing) {
  test::THttpTestServer Server([this](const test::THttpRequest&) {
    test::THttpResponse R;
    R.Body = FBody;
    R.SendContentLength = false;
    R.Endless = true;
    return R;
  });
  Start();
  Command(cmdAddNetList, "0" + Server.BaseUrl() + "/radio|Radio-Station_,");
  PlayEntry(0);
  D.Advance(3000);
  D.WaitFor([] { return false; }, 1s);
  Main->Engine().Stop();
  D.WaitFor([] { return false; }, 500ms);
  for (const auto& Entry : fs::directory_iterator(MusicFolder()))
    ADD_FAILURE() << "written: " << Entry.path();
  EXPECT_EQ(Main->PlayList()[0].Path, Server.BaseUrl() + "/radio");
}

TEST_F(NetworkSongTest, ADownloadOfADeletedEntryIsAttachedToNothing) {
  test::THttpTestServer Server([this](const test::THttpRequest&) {
    test::THttpResponse R;
    R.Body = FBody;
    R.ChunkBytes = 512;
    R.ChunkDelayMs = 50;
    return R;
  });
  Start();
  Command(cmdAddFile, Song("local.mp3"));
  Command(cmdAddNetList, "0" + Server.BaseUrl() + "/s.mp3|Song-Band_,");
  PlayEntry(1);
  // Removed from the list while its bytes still arrive; the entry that takes its
  // place must keep its own path.
  View.PopupAnswer = kMsgYes;
  Main->lstDefaultMouseMove(1);
  Main->pmdel_delselectClick();
  Command(cmdAddFile, Song("other.mp3"));
  D.WaitFor([] { return false; }, 3s);
  EXPECT_EQ(Main->PlayList()[1].Caption, "other");
  EXPECT_EQ(Main->PlayList()[1].Path, Home.File("songs/other.mp3"));
  EXPECT_FALSE(fs::exists(MusicFolder() + "Song - Band.mp3"));
}

// Skipping to the next network song while the first still downloads: the first one's
// late blocks and its end must not reach the second one's file.
TEST_F(NetworkSongTest, ASkippedDownloadLeavesTheNextOneIntact) {
  const std::string Second = test::TaggedMp3Bytes(3, "", "");
  test::THttpTestServer Server([&](const test::THttpRequest& Request) {
    test::THttpResponse R;
    // Both arrive in pieces, so that the second is still downloading when it starts.
    const bool First = Request.Path == "/slow.mp3";
    R.Body = First ? FBody : Second;
    R.ChunkBytes = First ? 512 : 2048;
    R.ChunkDelayMs = First ? 50 : 20;
    return R;
  });
  Start();
  Command(cmdAddNetList, "0" + Server.BaseUrl() + "/slow.mp3|First-Band_,");
  Command(cmdAddNetList, "0" + Server.BaseUrl() + "/fast.mp3|Second-Band_,");
  PlayEntry(0);
  Main->btn_nextClick();
  const std::string Saved = MusicFolder() + "Second - Band.mp3";
  ASSERT_TRUE(D.WaitFor([&] { return Main->PlayList()[1].Path == Saved; }, 15s));
  EXPECT_EQ(test::ReadFileBytes(Saved), Second);
  D.WaitFor([] { return false; }, 1s);
  EXPECT_FALSE(fs::exists(MusicFolder() + "First - Band.mp3"));
  EXPECT_FALSE(fs::exists(MusicFolder() + "_temp._mp"));
  EXPECT_EQ(Main->PlayList()[0].Path, Server.BaseUrl() + "/slow.mp3");
}

}  // namespace
}  // namespace vemro
