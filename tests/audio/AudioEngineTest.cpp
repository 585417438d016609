// TAudioEngine through a virtual-time dispatcher, playing real files and streams
// through SDL's dummy driver.

#include "audio/AudioEngine.h"

#include "AudioFixtures.h"
#include "HttpTestServer.h"
#include "TempDir.h"
#include "VirtualDispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace vemro {
namespace {

using namespace std::chrono_literals;
using test::MakeTone;
using test::TToneSpec;

const std::string BaseFilter = "所有音乐|*.mp1;*.mp2;*.mp3;*.wav;*.ogg;*.mod;*.s3m;*.it;*.umx;*.mo3;*.mtm;*.xm;*.aif";

std::string ProgramDir() {
  const char* Dir = std::getenv("VEMRO_PROGRAM_DIR");
  return Dir ? std::string(Dir) + "/" : "./";
}

class AudioEngineTest : public ::testing::Test {
protected:
  void SetUp() override { test::UseDummyAudioDriver(); }
  void Create(const std::string& AppFolder = ProgramDir()) {
    Engine = std::make_unique<TAudioEngine>(Ui, nullptr, AppFolder);
    Engine->OnStateChange = [this](int32_t State) {
      std::lock_guard Guard(Lock);
      States.push_back(State);
    };
    Engine->OnError = [this](int32_t Code, int32_t Detail) {
      std::lock_guard Guard(Lock);
      Errors.emplace_back(Code, Detail);
    };
    Engine->OnTrackEnd = [this](int32_t State) {
      std::lock_guard Guard(Lock);
      TrackEnds.push_back(State);
    };
    Engine->OnDownload = [this](const void* Buffer, uint32_t Length, void* User) {
      std::lock_guard Guard(Lock);
      EXPECT_EQ(User, nullptr);
      if (Buffer) Downloaded.append(static_cast<const char*>(Buffer), Length);
      else ++DownloadEnds;
    };
  }
  void TearDown() override { Engine.reset(); }

  bool WaitFor(const std::function<bool()>& Done, std::chrono::milliseconds Timeout = 20s) {
    return Ui.WaitFor([&] {
      std::lock_guard Guard(Lock);
      return Done();
    }, Timeout);
  }
  bool WaitForState(int32_t State) {
    return Ui.WaitFor([&] { return Engine->State() == State && !Opening(); }, 20s);
  }
  // The opener's completion is still to run while the last event was not from it.
  bool Opening() {
    std::lock_guard Guard(Lock);
    return !States.empty() && States.back() == STATE_CONNECTING;
  }
  std::vector<int32_t> StatesSeen() {
    std::lock_guard Guard(Lock);
    return States;
  }
  std::vector<std::pair<int32_t, int32_t>> ErrorsSeen() {
    std::lock_guard Guard(Lock);
    return Errors;
  }
  void Clear() {
    std::lock_guard Guard(Lock);
    States.clear();
    Errors.clear();
    TrackEnds.clear();
  }

  test::TVirtualDispatcher Ui;
  test::TTempDir Dir;
  std::unique_ptr<TAudioEngine> Engine;
  std::mutex Lock;
  std::vector<int32_t> States;
  std::vector<std::pair<int32_t, int32_t>> Errors;
  std::vector<int32_t> TrackEnds;
  std::string Downloaded;
  int DownloadEnds = 0;
};

TEST_F(AudioEngineTest, PlaysEveryFormatToItsEndOnce) {
  Create();
  for (const char* Name : {"a.mp3", "a.mp2", "a.mp1", "a.wav", "a.aif", "a.ogg", "a.mod", "a.flac", "a.opus", "a.m4a"}) {
    SCOPED_TRACE(Name);
    Clear();
    const std::string Path = MakeTone(Dir, Name, TToneSpec{.Seconds = 0.5});
    Engine->Play(Path);
    ASSERT_TRUE(WaitFor([&] { return !States.empty(); }));
    EXPECT_EQ(StatesSeen(), std::vector<int32_t>{STATE_PLAYING});
    EXPECT_NEAR(Engine->GetLength(), 500, 30);
    ASSERT_TRUE(WaitFor([&] { return !TrackEnds.empty(); }));
    EXPECT_EQ(Engine->State(), STATE_ENDED);
    EXPECT_NEAR(Engine->GetPosition(), Engine->GetLength(), 30);
    Ui.WaitFor([] { return false; }, 150ms);
    std::lock_guard Guard(Lock);
    EXPECT_EQ(TrackEnds, std::vector<int32_t>{STATE_ENDED});
    EXPECT_TRUE(Errors.empty());
  }
}

TEST_F(AudioEngineTest, FileFilterListsTheAddinPatternsAfterTheBaseText) {
  Create(Dir.Path().string() + "/");
  EXPECT_EQ(Engine->FileFilter(), BaseFilter);
  Engine.reset();
  Create();
  EXPECT_EQ(Engine->FileFilter(), BaseFilter + ";*.flac;*.opus;*.m4a;*.aac;*.mp4");
}

TEST_F(AudioEngineTest, NothingToReportBeforeTheFirstOpen) {
  Create();
  EXPECT_EQ(Engine->State(), STATE_STOPPED);
  EXPECT_EQ(Engine->GetPosition(), 0);
  EXPECT_EQ(Engine->GetLength(), 0);
  Engine->SetPosition(1000);
  int Ticks = 0;
  Engine->OnTick = [&](int32_t, int32_t, int32_t, const TAuxData&, const TWaveData&) { ++Ticks; };
  Ui.Advance(500);
  EXPECT_EQ(Ticks, 0);  // no tick while stopped
  EXPECT_TRUE(ErrorsSeen().empty());
}

TEST_F(AudioEngineTest, TicksCarryStatePositionAndTheCurrentSound) {
  Create();
  Engine->Play(MakeTone(Dir, "tick.wav", TToneSpec{.Seconds = 3.0}));
  ASSERT_TRUE(WaitForState(STATE_PLAYING));
  int32_t LastState = 0, LastLength = 0;
  bool Sound = false;
  Engine->OnTick = [&](int32_t State, int32_t LengthMs, int32_t, const TAuxData& Aux, const TWaveData& Wave) {
    LastState = State;
    LastLength = LengthMs;
    EXPECT_EQ(Aux, TAuxData{});
    Sound = false;
    for (size_t I = 0; I < 512; ++I) Sound |= Wave[I] != 0;
    for (size_t I = 512; I < Wave.size(); ++I) EXPECT_EQ(Wave[I], 0u);
  };
  ASSERT_TRUE(Ui.WaitFor([&] {
    Ui.Advance(50);
    return Sound;
  }));
  EXPECT_EQ(LastState, STATE_PLAYING);
  EXPECT_EQ(LastLength, 3000);
  Engine->Pause();
  Ui.Advance(50);
  EXPECT_EQ(LastState, STATE_PAUSED);
  EXPECT_FALSE(Sound);
  const int32_t Paused = Engine->GetPosition();
  Engine->SetPosition(2000);
  EXPECT_NEAR(Engine->GetPosition(), 2000, 1);
  EXPECT_GT(Paused, 0);
  Engine->Resume();
  EXPECT_EQ(StatesSeen(), (std::vector<int32_t>{STATE_PLAYING, STATE_PAUSED, STATE_PLAYING}));
}

// The loudest sample of the playing sound the ticks hand out over a while.
int LoudestTicked(test::TVirtualDispatcher& Ui, TAudioEngine& Engine) {
  int Loudest = 0;
  Engine.OnTick = [&](int32_t, int32_t, int32_t, const TAuxData&, const TWaveData& Wave) {
    const auto* Samples = reinterpret_cast<const int16_t*>(Wave.data());
    for (int I = 0; I < 1024; ++I) Loudest = std::max(Loudest, std::abs(static_cast<int>(Samples[I])));
  };
  for (int I = 0; I < 10; ++I) {
    Ui.WaitFor([] { return false; }, 30ms);
    Ui.Advance(50);
  }
  Engine.OnTick = nullptr;
  return Loudest;
}

TEST_F(AudioEngineTest, EqualizerAndVolumeSetWhileStoppedReachTheNextStream) {
  Create();
  const std::string Tone = MakeTone(Dir, "khz.wav", TToneSpec{.Seconds = 3.0, .Frequency = 1000, .Volume = 0.1});
  Engine->SetVolume(65);
  Engine->Play(Tone);
  ASSERT_TRUE(WaitForState(STATE_PLAYING));
  const int Flat = LoudestTicked(Ui, *Engine);
  Engine->Stop();
  Engine->SetEqualizer(TEqGains{0, 0, 0, 0, 12, 0, 0, 0, 0, 0});
  Engine->Play(Tone);
  ASSERT_TRUE(WaitForState(STATE_PLAYING));
  const int Boosted = LoudestTicked(Ui, *Engine);
  EXPECT_NEAR(Flat, 3277, 200);  // the tick shows the sound before the volume
  EXPECT_NEAR(20 * std::log10(static_cast<double>(Boosted) / Flat), 12.0, 0.6);
}

TEST_F(AudioEngineTest, NetworkStreamConnectsPlaysAndHandsOverItsBytes) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "net.mp3", TToneSpec{.Seconds = 0.5}));
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.ContentType = "audio/mpeg"; R.Body = Mp3; R.ChunkBytes = 1500; R.ChunkDelayMs = 2; });
  Create();
  Engine->Play(Server->BaseUrl() + "/net.mp3");
  ASSERT_TRUE(WaitForState(STATE_PLAYING));
  EXPECT_EQ(StatesSeen(), (std::vector<int32_t>{STATE_CONNECTING, STATE_PLAYING}));
  EXPECT_EQ(DownloadTotal.load(), static_cast<int64_t>(Mp3.size()));
  ASSERT_TRUE(WaitFor([&] { return DownloadEnds > 0 && !TrackEnds.empty(); }));
  std::lock_guard Guard(Lock);
  EXPECT_EQ(Downloaded, Mp3);
  EXPECT_EQ(DownloadEnds, 1);
  EXPECT_EQ(TrackEnds, std::vector<int32_t>{STATE_ENDED});
}

TEST_F(AudioEngineTest, UnreachableSourceFailsWithTheLibrarysCode) {
  Create();
  Engine->Play("http://127.0.0.1:" + std::to_string(test::THttpTestServer::UnusedPort()) + "/a.mp3");
  ASSERT_TRUE(WaitFor([&] { return !Errors.empty(); }));
  EXPECT_EQ(StatesSeen(), std::vector<int32_t>{STATE_CONNECTING});
  const auto Errors = ErrorsSeen();
  EXPECT_EQ(Errors[0].first, STATE_OPEN_FAILED);
  EXPECT_NE(Errors[0].second, 0);
  EXPECT_EQ(Engine->State(), STATE_OPEN_FAILED);
  EXPECT_EQ(Engine->GetPosition(), 0);
}

TEST_F(AudioEngineTest, StopDuringAnOpenDiscardsTheStream) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "slow.mp3"));
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.Body = Mp3; R.DelayMs = 500; });
  Create();
  Engine->Play(Server->BaseUrl() + "/slow.mp3");
  ASSERT_TRUE(WaitFor([&] { return !States.empty(); }));  // connecting
  Engine->Stop();
  EXPECT_EQ(Engine->State(), STATE_STOPPED);
  EXPECT_EQ(StatesSeen().back(), STATE_STOPPED);
  ASSERT_TRUE(WaitFor([&] { return !Errors.empty(); }));
  EXPECT_EQ(ErrorsSeen(), (std::vector<std::pair<int32_t, int32_t>>{{STATE_OPEN_FAILED, 0}}));
  EXPECT_EQ(Engine->State(), STATE_OPEN_FAILED);
  EXPECT_EQ(StatesSeen(), (std::vector<int32_t>{STATE_CONNECTING, STATE_STOPPED}));
}

TEST_F(AudioEngineTest, SecondPlayWhileOpeningIsRefused) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "slow.mp3"));
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.Body = Mp3; R.DelayMs = 300; });
  Create();
  Engine->Play(Server->BaseUrl() + "/slow.mp3");
  Engine->Play(MakeTone(Dir, "other.wav"));
  EXPECT_EQ(ErrorsSeen(), (std::vector<std::pair<int32_t, int32_t>>{{STATE_ENDED, -3}}));
  ASSERT_TRUE(WaitForState(STATE_PLAYING));
  EXPECT_EQ(StatesSeen(), (std::vector<int32_t>{STATE_CONNECTING, STATE_PLAYING}));
  EXPECT_EQ(Server->Requests().size(), 1u);
}

TEST_F(AudioEngineTest, BadInputEndsInOpenFailed) {
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.NeverAnswer = true; });
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "good.mp3"));
  std::string Random(32 * 1024, '\0');
  uint32_t Seed = 7;
  for (char& C : Random) C = static_cast<char>((Seed = Seed * 1664525u + 1013904223u) >> 24);
  Create();
  for (const std::string& Source :
       {Dir.Write("empty.mp3", ""), Dir.Write("cut.mp3", Mp3.substr(0, 300)), Dir.Write("random.mp3", Random),
        Dir.Path().string(), Dir.File("missing.mp3"), Server->BaseUrl() + "/silent.mp3"}) {
    SCOPED_TRACE(Source);
    Clear();
    Engine->Play(Source);
    ASSERT_TRUE(WaitFor([&] { return !Errors.empty(); }));
    EXPECT_EQ(ErrorsSeen()[0].first, STATE_OPEN_FAILED);
    EXPECT_EQ(Engine->State(), STATE_OPEN_FAILED);
    EXPECT_EQ(Engine->GetLength(), 0);
  }
  Server->Stop();
}

TEST_F(AudioEngineTest, ReadTagsLeavesThePlayingStreamAlone) {
  Create();
  const std::string Song = MakeTone(Dir, "song.wav", TToneSpec{.Seconds = 2.0});
  Engine->Play(Song);
  ASSERT_TRUE(WaitForState(STATE_PLAYING));
  TTags Tags;
  Engine->ReadTags(MakeTone(Dir, "other.ogg", TToneSpec{.Seconds = 1.0}), Tags);
  EXPECT_NEAR(Tags.Length * 86400, 1.0, 0.01);
  Engine->ReadTags(Dir.Write("notes.txt", "just text\n"), Tags);
  EXPECT_EQ(Tags.Title, "");
  EXPECT_EQ(Tags.Artist, "");
  EXPECT_EQ(Tags.Album, "");
  EXPECT_EQ(Tags.Length, 0);
  EXPECT_EQ(Engine->GetLength(), 2000);
  EXPECT_EQ(Engine->State(), STATE_PLAYING);
}

TEST_F(AudioEngineTest, DestructionStopsAndWaitsForAnOpen) {
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.Body = "nothing to play"; R.DelayMs = 300; });
  Create();
  Engine->Play(Server->BaseUrl() + "/a.mp3");
  Engine.reset();
  EXPECT_EQ(StatesSeen().back(), STATE_STOPPED);
  Ui.RunPending();  // the opener's completion finds no engine
  // The library is free again for the next engine.
  Create();
  EXPECT_EQ(Engine->StartupError(), 0);
}

}  // namespace
}  // namespace vemro
