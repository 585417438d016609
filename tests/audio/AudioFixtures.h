#pragma once
// Sound files for the audio tests, made at test time with the real encoders (sox,
// lame, mpv) or written byte by byte where no encoder exists here.

#include "HttpTestServer.h"
#include "TempDir.h"

#include <functional>
#include <memory>

#include <string>

namespace vemro::test {

struct TToneSpec {
  double Seconds = 0.5;
  int Rate = 44100;
  int Channels = 2;
  int Frequency = 440;
  double Volume = 0.5;  // peak amplitude, 1 is full scale
};

// Tests run without a sound card: SDL's dummy driver, unless the environment
// names another driver.
void UseDummyAudioDriver();

// A sine tone in the format the name's extension asks for: wav, aif, aiff, ogg,
// flac, mp3, mp2, opus, m4a; mp1 holds silent frames; mod a short tracker module.
std::string MakeTone(const TTempDir& Dir, const std::string& Name, const TToneSpec& Spec = {});

// A server that gives every request the same answer, shaped by Shape.
std::unique_ptr<THttpTestServer> ServeAlways(const std::function<void(THttpResponse&)>& Shape);

}  // namespace vemro::test
