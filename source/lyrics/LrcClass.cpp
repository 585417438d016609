#include "lyrics/LrcClass.h"

namespace vemro {
namespace {
constexpr int32_t kSloganLeadMs = 1000;
}

void TLrcClass::LoadText(const std::string& Text) {
  FSourceText = Text;
  FCurrentLine.clear();
  FLyric.ParseText(FSourceText);
  FOffset = FLyric.Info().Offset;
  FLyric.SortByTime();
}

void TLrcClass::AddSlogan(int32_t TrackLengthMs) {
  TLyricItem Slogan;
  Slogan.Text = kLyricSlogan;
  Slogan.Time = TrackLengthMs > kSloganLeadMs ? TrackLengthMs - kSloganLeadMs : 0;
  FLyric.Add(Slogan);
}

void TLrcClass::SetPosition(int32_t Ms) {
  FPosition = Ms;
  UpdateCurrentLine();
}

void TLrcClass::UpdateCurrentLine() {
  const std::vector<TLyricItem>& Items = FLyric.Items();
  if (Items.empty()) return;
  size_t Passed = 0;
  // 64-bit, so that a large offset cannot overflow the comparison.
  while (Passed < Items.size() && int64_t(Items[Passed].Time) - FOffset < int64_t(FPosition))
    ++Passed;
  FCurrentLine = Items[Passed >= 2 ? Passed - 1 : 0].Text;
}

}  // namespace vemro
