#pragma once
// A peaking equalizer band: the RBJ "Audio EQ Cookbook" biquad, run on interleaved
// stereo floats, both channels at once.

#include <vector>

namespace vemro::audio {

class TPeakingFilter {
public:
  // Left and right sample of one frame.
  using TFrame = double __attribute__((vector_size(16)));

  // Bandwidth in semitones between the -3 dB points (of the boost's half gain).
  void Configure(double SampleRate, double CenterHz, double BandwidthSemitones, double GainDb);
  // A band with no gain is left out: the sound passes bit for bit.
  bool IsFlat() const { return FFlat; }
  void Reset() { FS1 = FS2 = TFrame{}; }
  // Transposed direct form II; a peaking band has b1 == a1, which saves a product.
  TFrame Step(TFrame X) {
    const TFrame Y = FB0 * X + FS1;
    FS1 = FA1 * (X - Y) + FS2;
    FS2 = FB2 * X - FA2 * Y;
    return Y;
  }
  // A decaying tail must not turn denormal and slow everything down.
  void FlushDenormals();

private:
  double FB0 = 1, FB2 = 0, FA1 = 0, FA2 = 0;
  bool FFlat = true;
  TFrame FS1{}, FS2{};
};

// Runs the bands that are not flat one after another on interleaved stereo frames,
// frame by frame, so that the bands' work overlaps in the processor.
void ProcessCascade(std::vector<TPeakingFilter>& Filters, float* Frames, long Count);

}  // namespace vemro::audio
