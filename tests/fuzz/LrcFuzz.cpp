// Feeds arbitrary bytes to the LRC parser and walks the store over them.
#include "lyrics/LrcClass.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace vemro;
  // The first eight bytes steer the walk; the rest is the text.
  int32_t Steer[2] = {0, 0};
  size_t SteerBytes = Size < sizeof(Steer) ? Size : sizeof(Steer);
  std::memcpy(Steer, Data, SteerBytes);
  std::string Text(reinterpret_cast<const char*>(Data) + SteerBytes, Size - SteerBytes);

  TLrcClass Store;
  Store.LoadText(Text);
  const TLyricHandle& Lyric = Store.Lyric();
  for (int32_t I = 1; I < Lyric.Count(); ++I)
    if (Lyric.GetItem(I - 1).Time > Lyric.GetItem(I).Time) __builtin_trap();
  Store.AddSlogan(Steer[0]);
  Store.SetOffset(Steer[1]);
  // At and just past the due times of up to 64 lines spread over the list: each walk
  // costs the whole list, and the fuzzer should spend its time on the texts.
  const int32_t Step = Lyric.Count() / 64 + 1;
  for (int32_t I = 0; I < Lyric.Count(); I += Step) {
    Store.SetPosition(Lyric.GetItem(I).Time);
    Store.SetPosition(Lyric.GetItem(I).Time + 1);
  }
  Store.SetPosition(Steer[0]);
  if (Lyric.Count() > 0 && Store.CurrentLine().size() > Text.size() &&
      Store.CurrentLine() != kLyricSlogan)
    __builtin_trap();
  return 0;
}
