#include "MainFixtures.h"

#include "main/CommandRecord.h"
#include "main/unt_main.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

namespace vemro::test {
namespace {

void PutLe(std::string& Out, uint32_t Value, int Bytes) {
  for (int I = 0; I < Bytes; ++I) Out += static_cast<char>((Value >> (8 * I)) & 0xFF);
}

// ID3v2 sizes keep seven bits a byte.
void PutSyncSafe(std::string& Out, uint32_t Value) {
  for (int Shift = 21; Shift >= 0; Shift -= 7) Out += static_cast<char>((Value >> Shift) & 0x7F);
}

std::string TextFrame(const char* Id, const std::string& Utf8) {
  std::string Frame = Id;
  PutSyncSafe(Frame, static_cast<uint32_t>(Utf8.size() + 1));
  Frame += std::string(2, '\0');
  Frame += '\x03';  // UTF-8
  return Frame + Utf8;
}

}  // namespace

std::string WavBytes(double Seconds) {
  const uint32_t Rate = 44100;
  const auto Samples = static_cast<uint32_t>(Seconds * Rate);
  std::string Out = "RIFF";
  PutLe(Out, 36 + Samples * 2, 4);
  Out += "WAVEfmt ";
  PutLe(Out, 16, 4);
  PutLe(Out, 1, 2);  // PCM
  PutLe(Out, 1, 2);  // mono
  PutLe(Out, Rate, 4);
  PutLe(Out, Rate * 2, 4);
  PutLe(Out, 2, 2);
  PutLe(Out, 16, 2);
  Out += "data";
  PutLe(Out, Samples * 2, 4);
  for (uint32_t I = 0; I < Samples; ++I)
    PutLe(Out, static_cast<uint16_t>(static_cast<int16_t>(800 * std::sin(I * 2 * M_PI * 440 / Rate))), 2);
  return Out;
}

std::string TaggedMp3Bytes(double Seconds, const std::string& Title, const std::string& Artist) {
  std::string Out;
  if (!Title.empty() || !Artist.empty()) {
    std::string Frames;
    if (!Title.empty()) Frames += TextFrame("TIT2", Title);
    if (!Artist.empty()) Frames += TextFrame("TPE1", Artist);
    Out = std::string("ID3\x04\x00\x00", 6);
    PutSyncSafe(Out, static_cast<uint32_t>(Frames.size()));
    Out += Frames;
  }
  // MPEG-1 Layer I, 32 kbit/s, 44100 Hz, mono; zero allocations decode as silence.
  std::string Frame(32, '\0');
  Frame[0] = '\xFF';
  Frame[1] = '\xFF';
  Frame[2] = '\x10';
  Frame[3] = '\xC0';
  for (int I = 0, N = static_cast<int>(Seconds * 44100 / 384); I < N; ++I) Out += Frame;
  return Out;
}

TControllerHome::TControllerHome()
    : RecordName("/vemro-test-" + std::to_string(getpid()) + "-" + std::to_string(reinterpret_cast<uintptr_t>(this))) {
  setenv("HOME", Home.Path().c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DOCUMENTS_DIR");
  setenv("XDG_RUNTIME_DIR", Home.Path().c_str(), 1);
  Record = std::make_unique<TCommandRecord>(RecordName);
  Record->Clear();
}

TControllerHome::~TControllerHome() {
  Main.reset();
  shm_unlink(RecordName.c_str());
}

std::string TControllerHome::ProgramFolder() {
  const char* Bin = std::getenv("VEMRO_PROGRAM_DIR");
  return std::string(Bin ? Bin : ".") + "/";
}

void TControllerHome::Start(std::vector<std::string> Args, const std::string& ExeFolder) {
  Main.reset();
  Main = std::make_unique<TPelmarMain>(D, View, View, *Record, TStartup{std::move(Args), ExeFolder});
  D.RunPending();
}

}  // namespace vemro::test
