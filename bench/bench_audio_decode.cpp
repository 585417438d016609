// Decoding an MP3 through the library's whole chain with the ten-band equalizer on
// (a preset with every band boosted or cut), as fast as it goes.
// VEMRO_BENCH_MP3 names the file; bench/audio/measure.sh makes a ten-minute one.

#include "audio/Bass.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

using namespace vemro;

// Gain 0 everywhere leaves the equalizer out: the cost of decoding alone.
void DecodeMp3(benchmark::State& State, bool Equalizer) {
  const char* File = std::getenv("VEMRO_BENCH_MP3");
  if (!File || !BASS_Init(0, 44100, 0, nullptr, nullptr)) {
    State.SkipWithError("set VEMRO_BENCH_MP3 to an MP3 file");
    return;
  }
  const float Centers[] = {80, 170, 310, 600, 1000, 3000, 6000, 10000, 12000, 14000};
  const float Gains[] = {5, 4, 2, -1, -2, -1, 2, 4, 5, 5};
  double Seconds = 0;
  std::vector<char> Buffer(1 << 16);
  for (auto _ : State) {
    const HSTREAM Stream = BASS_StreamCreateFile(false, File, 0, 0, BASS_STREAM_DECODE);
    for (int I = 0; I < 10; ++I) {
      const BASS_DX8_PARAMEQ Params{Centers[I], 5, Equalizer ? Gains[I] : 0.0f};
      BASS_FXSetParameters(BASS_ChannelSetFX(Stream, BASS_FX_DX8_PARAMEQ, 1), &Params);
    }
    while (BASS_ChannelGetData(Stream, Buffer.data(), static_cast<DWORD>(Buffer.size())) != DWORD(-1)) {
    }
    Seconds = BASS_ChannelBytes2Seconds(Stream, BASS_ChannelGetLength(Stream, BASS_POS_BYTE));
    BASS_StreamFree(Stream);
  }
  State.counters["audio_s"] = Seconds;
  State.counters["x_realtime"] = benchmark::Counter(Seconds * State.iterations(), benchmark::Counter::kIsRate);
  BASS_Free();
}
void BM_DecodeMp3WithEqualizer(benchmark::State& State) { DecodeMp3(State, true); }
void BM_DecodeMp3Flat(benchmark::State& State) { DecodeMp3(State, false); }
BENCHMARK(BM_DecodeMp3WithEqualizer)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_DecodeMp3Flat)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
