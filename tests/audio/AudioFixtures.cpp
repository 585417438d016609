#include "AudioFixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace vemro::test {
namespace {

void Run(const std::string& Command) {
  if (std::system((Command + " >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("fixture command failed: " + Command);
}

std::string Quote(const std::string& S) { return "'" + S + "'"; }

std::string Extension(const std::string& Name) { return Name.substr(Name.rfind('.') + 1); }

// MPEG-1 Layer I, 32 kbit/s, 44100 Hz, mono: a header and all-zero allocations
// decode as silence, 384 samples a frame.
std::string SilentMp1(double Seconds) {
  const int Frames = static_cast<int>(Seconds * 44100 / 384);
  const int FrameBytes = 12 * 32000 / 44100 * 4;
  std::string Frame(FrameBytes, '\0');
  Frame[0] = '\xFF';
  Frame[1] = '\xFF';
  Frame[2] = '\x10';
  Frame[3] = '\xC0';
  std::string Out;
  for (int I = 0; I < Frames; ++I) Out += Frame;
  return Out;
}

// A four-channel ProTracker module: one square-wave sample played on row 0, speed 1
// (20 ms a row), and a pattern break after Rows rows, which ends the song.
std::string TrackerModule(double Seconds) {
  const int Rows = std::max(2, static_cast<int>(Seconds / 0.02));
  std::string Mod(20, '\0');
  Mod.replace(0, 9, "vemrotest");
  const int SampleWords = 32;
  for (int S = 0; S < 31; ++S) {
    std::string Header(30, '\0');
    if (S == 0) {
      Header.replace(0, 6, "square");
      Header[22] = 0;
      Header[23] = SampleWords;  // length in words
      Header[25] = 64;           // volume
      Header[28] = 0;
      Header[29] = SampleWords;  // loops over the whole sample
      Header[27] = 0;
    }
    Mod += Header;
  }
  Mod += static_cast<char>(1);  // song length: one pattern
  Mod += static_cast<char>(127);
  Mod += std::string(128, '\0');  // order list: pattern 0
  Mod += "M.K.";
  std::string Pattern(64 * 4 * 4, '\0');
  const auto Cell = [&](int Row, int Channel) { return static_cast<size_t>((Row * 4 + Channel) * 4); };
  // Row 0: sample 1 at period 428 (C-3), effect F01 (speed 1).
  Pattern[Cell(0, 0)] = 0x01;
  Pattern[Cell(0, 0) + 1] = static_cast<char>(0xAC);
  Pattern[Cell(0, 0) + 2] = 0x1F;
  Pattern[Cell(0, 0) + 3] = 0x01;
  // Pattern break on the last row wanted.
  Pattern[Cell(Rows - 1, 1) + 2] = 0x0D;
  Mod += Pattern;
  for (int I = 0; I < SampleWords * 2; ++I) Mod += static_cast<char>(I < SampleWords ? 100 : -100);
  return Mod;
}

}  // namespace

std::unique_ptr<THttpTestServer> ServeAlways(const std::function<void(THttpResponse&)>& Shape) {
  THttpResponse Response;
  Shape(Response);
  return std::make_unique<THttpTestServer>([Response](const THttpRequest&) { return Response; });
}

void UseDummyAudioDriver() { setenv("SDL_AUDIODRIVER", "dummy", 0); }

std::string MakeTone(const TTempDir& Dir, const std::string& Name, const TToneSpec& Spec) {
  const std::string Ext = Extension(Name);
  const std::string Path = Dir.File(Name);
  if (Ext == "mp1") return Dir.Write(Name, SilentMp1(Spec.Seconds));
  if (Ext == "mod") return Dir.Write(Name, TrackerModule(Spec.Seconds));
  const std::string Synth = " -r " + std::to_string(Spec.Rate) + " -c " + std::to_string(Spec.Channels) + " ";
  const std::string Tone = " synth " + std::to_string(Spec.Seconds) + " sine " + std::to_string(Spec.Frequency) +
                           " vol " + std::to_string(Spec.Volume);
  if (Ext == "wav" || Ext == "aif" || Ext == "aiff" || Ext == "ogg" || Ext == "flac") {
    Run("sox -n" + Synth + "-b 16 " + Quote(Path) + Tone);
    return Path;
  }
  const std::string Wav = Path + ".src.wav";
  Run("sox -n" + Synth + "-b 16 " + Quote(Wav) + Tone);
  if (Ext == "mp3") Run("lame --quiet -b 128 " + Quote(Wav) + " " + Quote(Path));
  else if (Ext == "mp2" || Ext == "opus" || Ext == "m4a") {
    const std::string Codec = Ext == "mp2" ? "mp2" : Ext == "opus" ? "libopus" : "aac";
    Run("mpv --no-config --really-quiet --o=" + Quote(Path) + " --oac=" + Codec + " " + Quote(Wav));
  } else {
    throw std::runtime_error("no fixture for " + Name);
  }
  std::remove(Wav.c_str());
  return Path;
}

}  // namespace vemro::test
