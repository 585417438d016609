#pragma once
// The peaking equalizer: RBJ "Audio EQ Cookbook" biquads in cascade on interleaved
// stereo floats. Two bands share one four-lane vector, the second working one frame
// behind the first, so the chain's output lags its input by one frame per pair of
// bands (at most a few frames, well under a millisecond).

#include <vector>

namespace vemro::audio {

struct TPeakingBand {
  double CenterHz;
  double BandwidthSemitones;  // between the points of half the boost in dB
  double GainDb;
};

class TPeakingCascade {
public:
  // Bands with no gain are left out; with none left the sound passes bit for bit.
  // The filters' memory is kept when the number of bands in use stays the same.
  void Configure(double SampleRate, const std::vector<TPeakingBand>& Bands);
  void Reset();
  void Process(float* Frames, long Count);

private:
  using TLanes = float __attribute__((vector_size(16)));  // left, right of two bands
  struct TPair {
    TLanes B0, B2, A1, A2;
    TLanes S1{}, S2{};
    TLanes Last{};  // the first band's output of the frame before
  };
  std::vector<TPair> FPairs;
};

}  // namespace vemro::audio
