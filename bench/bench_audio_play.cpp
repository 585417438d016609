// Plays one file in real time through TAudioEngine, as the player does (50 ms ticks
// on a UI loop, equalizer on), and exits at its end. Measured from outside by
// bench/audio/measure.sh. Usage: bench_audio_play FILE

#include "audio/AudioEngine.h"

#include "VirtualDispatcher.h"

#include <atomic>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  using namespace vemro;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  test::TVirtualDispatcher Ui;
  TAudioEngine Engine(Ui, nullptr, "/nonexistent/");
  std::atomic<bool> Done{false};
  Engine.OnTrackEnd = [&](int32_t) { Done = true; };
  Engine.OnError = [&](int32_t Code, int32_t Detail) {
    std::fprintf(stderr, "error %d %d\n", Code, Detail);
    Done = true;
  };
  int32_t Ticks = 0;
  Engine.OnTick = [&](int32_t, int32_t, int32_t, const TAuxData&, const TWaveData&) { ++Ticks; };
  Engine.SetVolume(80);
  Engine.SetEqualizer({5, 4, 2, -1, -2, -1, 2, 4, 5, 5});
  Engine.Play(argv[1]);
  // The UI loop: posted work at once, the engine's timer every 50 ms.
  while (!Done) {
    Ui.WaitFor([&] { return Done.load(); }, std::chrono::milliseconds(50));
    Ui.Advance(50);
  }
  std::printf("played, %d ticks\n", Ticks);
  return Engine.State() == STATE_ENDED ? 0 : 1;
}
