#include "audio/PeakingFilter.h"

#include <cmath>
#include <numbers>

namespace vemro::audio {
namespace {

// Transposed direct form II coefficients; a peaking band has b1 == a1.
struct TCoefficients {
  double B0 = 1, B2 = 0, A1 = 0, A2 = 0;  // the identity by default
};

TCoefficients Peaking(double SampleRate, const TPeakingBand& Band) {
  const double A = std::pow(10.0, Band.GainDb / 40.0);
  const double W0 = 2.0 * std::numbers::pi * Band.CenterHz / SampleRate;
  const double Octaves = Band.BandwidthSemitones / 12.0;
  const double Alpha = std::sin(W0) * std::sinh(std::numbers::ln2 / 2.0 * Octaves * W0 / std::sin(W0));
  const double A0 = 1.0 + Alpha / A;
  return {(1.0 + Alpha * A) / A0, (1.0 - Alpha * A) / A0, -2.0 * std::cos(W0) / A0, (1.0 - Alpha / A) / A0};
}

}  // namespace

void TPeakingCascade::Configure(double SampleRate, const std::vector<TPeakingBand>& Bands) {
  std::vector<TCoefficients> Active;
  for (const auto& Band : Bands)
    if (Band.GainDb != 0.0) Active.push_back(Peaking(SampleRate, Band));
  if (Active.size() % 2) Active.emplace_back();
  if (Active.size() / 2 != FPairs.size()) FPairs.assign(Active.size() / 2, TPair{});
  for (size_t P = 0; P < FPairs.size(); ++P) {
    const TCoefficients& First = Active[P * 2];
    const TCoefficients& Second = Active[P * 2 + 1];
    const auto Lanes = [](double A, double B) {
      return TLanes{static_cast<float>(A), static_cast<float>(A), static_cast<float>(B), static_cast<float>(B)};
    };
    FPairs[P].B0 = Lanes(First.B0, Second.B0);
    FPairs[P].B2 = Lanes(First.B2, Second.B2);
    FPairs[P].A1 = Lanes(First.A1, Second.A1);
    FPairs[P].A2 = Lanes(First.A2, Second.A2);
  }
}

void TPeakingCascade::Reset() {
  for (auto& Pair : FPairs) Pair.S1 = Pair.S2 = Pair.Last = TLanes{};
}

void TPeakingCascade::Process(float* Frames, long Count) {
  const size_t N = FPairs.size();
  if (N == 0) return;
  TPair* Pairs = FPairs.data();
  for (long I = 0; I < Count; ++I) {
    float L = Frames[I * 2], R = Frames[I * 2 + 1];
    for (size_t P = 0; P < N; ++P) {
      TPair& Pair = Pairs[P];
      // The pair's second band takes the frame its first band made one step earlier.
      const TLanes X{L, R, Pair.Last[0], Pair.Last[1]};
      const TLanes Y = Pair.B0 * X + Pair.S1;
      Pair.S1 = Pair.A1 * (X - Y) + Pair.S2;
      Pair.S2 = Pair.B2 * X - Pair.A2 * Y;
      Pair.Last = Y;
      L = Y[2];
      R = Y[3];
    }
    Frames[I * 2] = L;
    Frames[I * 2 + 1] = R;
  }
  // A decaying tail must not turn denormal and slow everything down.
  for (auto& Pair : FPairs)
    for (TLanes* S : {&Pair.S1, &Pair.S2, &Pair.Last})
      for (int Lane = 0; Lane < 4; ++Lane)
        if (std::abs((*S)[Lane]) < 1e-20f) (*S)[Lane] = 0;
}

}  // namespace vemro::audio
