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
  FB1 = -2.0 * std::cos(W0) / A0;
  FB2 = (1.0 - Alpha * A) / A0;
  FA1 = FB1;
  FA2 = (1.0 - Alpha / A) / A0;
}

void TPeakingFilter::Process(float* Frames, long Count) {
  for (int C = 0; C < 2; ++C) {
    auto& [X1, X2, Y1, Y2] = FState[C];
    for (long I = 0; I < Count; ++I) {
      const double X = Frames[I * 2 + C];
      double Y = FB0 * X + FB1 * X1 + FB2 * X2 - FA1 * Y1 - FA2 * Y2;
      if (std::abs(Y) < 1e-30) Y = 0;  // a decaying tail must not turn denormal and slow
      X2 = X1;
      X1 = X;
      Y2 = Y1;
      Y1 = Y;
      Frames[I * 2 + C] = static_cast<float>(Y);
    }
  }
}

}  // namespace vemro::audio
