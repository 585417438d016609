// The player's own figures: start to idle and to first sound (whole processes), adding
// 1,000 tagged files and deleting one entry of 10,000 (in process, real engine and files).
// The peer: mpv playing the same short file to its end on its null output.

#include "MainFixtures.h"
#include "PlayerProcess.h"
#include "TempDir.h"
#include "VirtualDispatcher.h"
#include "main/unt_main.h"
#include "storage/PlaylistFile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/mman.h>
#include <unistd.h>

namespace vemro {
namespace {

namespace fs = std::filesystem;

void BM_StartToIdle(benchmark::State& State) {
  test::TPlayerHome Home;
  for (auto _ : State) {
    const pid_t Pid = Home.Spawn({});
    if (!Home.WaitServed()) State.SkipWithError("never served");
    State.PauseTiming();
    test::TPlayerHome::Terminate(Pid);
    State.ResumeTiming();
  }
}
BENCHMARK(BM_StartToIdle)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// First sound: the first non-zero sample in the output of SDL's disk driver.
void BM_StartToFirstSound(benchmark::State& State) {
  test::TPlayerHome Home;
  const std::string Song = Home.Home().Write("song.wav", test::WavBytes(5));
  const std::string Output = Home.Home().File("sound.raw");
  for (auto _ : State) {
    fs::remove(Output);
    const pid_t Pid = Home.Spawn({Song}, "",
                                 {"VEMRO_AUDIO_DRIVER=disk", "SDL_DISKAUDIOFILE=" + Output});
    bool Heard = false;
    const auto GiveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Heard) {
      if (std::chrono::steady_clock::now() > GiveUp) {
        State.SkipWithError("no sound within 10 s");
        break;
      }
      std::ifstream In(Output, std::ios::binary);
      std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
      Heard = Bytes.find_first_not_of('\0') != std::string::npos;
      if (!Heard) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    State.PauseTiming();
    test::TPlayerHome::Terminate(Pid);
    State.ResumeTiming();
  }
}
BENCHMARK(BM_StartToFirstSound)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_PeerMpvShortFile(benchmark::State& State) {
  test::TTempDir Dir;
  const std::string Song = Dir.Write("song.wav", test::WavBytes(0.1));
  const std::string Command = "mpv --really-quiet --no-config --ao=null " + Song + " >/dev/null 2>&1";
  for (auto _ : State)
    if (std::system(Command.c_str()) != 0) State.SkipWithError("mpv failed");
}
BENCHMARK(BM_PeerMpvShortFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);


void BM_Add1000TaggedFiles(benchmark::State& State) {
  test::TTempDir Songs;
  std::vector<std::string> Files;
  for (int I = 0; I < 1000; ++I)
    Files.push_back(Songs.Write("s" + std::to_string(I) + ".mp3",
                                test::TaggedMp3Bytes(1, "Title " + std::to_string(I), "Singer")));
  for (auto _ : State) {
    State.PauseTiming();
    auto C = std::make_unique<test::TControllerHome>();
    C->Start();
    C->View.FilesToChoose = Files;
    State.ResumeTiming();
    C->Main->lbl_openClick();  // reads the tags, adds, saves, starts the first
    State.PauseTiming();
    if (C->Main->PlayList().size() != 1000) State.SkipWithError("not added");
    C.reset();
    State.ResumeTiming();
  }
}
BENCHMARK(BM_Add1000TaggedFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_DeleteOneOf10000(benchmark::State& State) {
  auto C = std::make_unique<test::TControllerHome>();
  fs::create_directories(C->DataFolder());
  {
    TPlaylistFile File(C->Home.File("Documents/vemro/Default.pls"), "DefaultList");
    for (int I = 0; I < 10000 + 200; ++I)
      File.AddItem("PlayerList/LIST", "歌曲 " + std::to_string(I), "歌手", "0",
                   "/music/song " + std::to_string(I) + ".mp3", 0);
    File.Save();
  }
  C->Start();
  for (auto _ : State) {
    C->Main->lstDefaultMouseMove(5000);
    C->Main->pmdel_delselectClick();  // the fade ends at once in the test view
  }
  State.counters["entries_left"] = static_cast<double>(C->Main->PlayList().size());
}
BENCHMARK(BM_DeleteOneOf10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);

// The floor under a delete: writing the same 10,000 entries with the playlist file alone.
void BM_PeerSave10000Entries(benchmark::State& State) {
  test::TTempDir Dir;
  for (auto _ : State) {
    TPlaylistFile File(Dir.File("Default.pls"), "DefaultList");
    File.ClearList("PlayerList");
    for (int I = 0; I < 10000; ++I)
      File.AddItem("PlayerList/LIST", "歌曲 " + std::to_string(I), "歌手", "0",
                   "/music/song " + std::to_string(I) + ".mp3", 0);
    File.Save();
  }
}
BENCHMARK(BM_PeerSave10000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace
}  // namespace vemro

BENCHMARK_MAIN();
