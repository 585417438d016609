#pragma once
// A peaking equalizer band: the RBJ "Audio EQ Cookbook" biquad, run on interleaved
// stereo floats.

#include <array>

namespace vemro::audio {

class TPeakingFilter {
public:
  // Bandwidth in semitones between the -3 dB points (of the boost's half gain).
  void Configure(double SampleRate, double CenterHz, double BandwidthSemitones, double GainDb);
  // A band with no gain is left out: the sound passes bit for bit.
  bool IsFlat() const { return FFlat; }
  void Process(float* Frames, long Count);
  void Reset() { FState = {}; }

private:
  double FB0 = 1, FB1 = 0, FB2 = 0, FA1 = 0, FA2 = 0;
  bool FFlat = true;
  // x[n-1], x[n-2], y[n-1], y[n-2] per channel
  std::array<std::array<double, 4>, 2> FState{};
};

}  // namespace vemro::audio
