#include "audio/PeakingFilter.h"

#include <cmath>
#include <numbers>

namespace vemro::audio {

void TPeakingFilter::Configure(double SampleRate, double CenterHz, double BandwidthSemitones, double GainDb) {
  FFlat = GainDb == 0.0;
  const double A = std::pow(10.0, GainDb / 40.0);
  const double W0 = 2.0 * std::numbers::pi * CenterHz / SampleRate;
  const double Octaves = BandwidthSemitones / 12.0;
  const double Alpha = std::sin(W0) * std::sinh(std::numbers::ln2 / 2.0 * Octaves * W0 / std::sin(W0));
  const double A0 = 1.0 + Alpha / A;
  FB0 = (1.0 + Alpha * A) / A0;
  FB2 = (1.0 - Alpha * A) / A0;
  FA1 = -2.0 * std::cos(W0) / A0;
  FA2 = (1.0 - Alpha / A) / A0;
}

void TPeakingFilter::FlushDenormals() {
  for (TFrame* S : {&FS1, &FS2})
    for (int C = 0; C < 2; ++C)
      if (std::abs((*S)[C]) < 1e-25) (*S)[C] = 0;
}

// Processors with fused multiply-add get a build of their own.
__attribute__((target_clones("arch=haswell", "default"), optimize("fp-contract=fast")))
void ProcessCascade(std::vector<TPeakingFilter>& Filters, float* Frames, long Count) {
  constexpr size_t MaxActive = 32;
  TPeakingFilter Active[MaxActive];  // local copies keep the states in registers
  TPeakingFilter* Owners[MaxActive];
  size_t N = 0;
  for (auto& Filter : Filters)
    if (!Filter.IsFlat() && N < MaxActive) {
      Owners[N] = &Filter;
      Active[N++] = Filter;
    }
  if (N == 0) return;
  for (long I = 0; I < Count; ++I) {
    TPeakingFilter::TFrame X{Frames[I * 2], Frames[I * 2 + 1]};
    for (size_t F = 0; F < N; ++F) X = Active[F].Step(X);
    Frames[I * 2] = static_cast<float>(X[0]);
    Frames[I * 2 + 1] = static_cast<float>(X[1]);
  }
  for (size_t F = 0; F < N; ++F) {
    Active[F].FlushDenormals();
    *Owners[F] = Active[F];
  }
}

}  // namespace vemro::audio
