#include "main/HeadlessView.h"

namespace vemro {

void THeadlessView::FadeOutItem(int32_t, int32_t DurationMs, std::function<void()> Done) {
  FFade = FDispatcher.CreateTimer();
  FFade->SetInterval(DurationMs);
  FFade->SetHandler([this, Done = std::move(Done)] {
    FFade->SetEnabled(false);
    // Done may start the next fade, which replaces this very timer.
    FDispatcher.Post(Done);
  });
  FFade->SetEnabled(true);
}

}  // namespace vemro
