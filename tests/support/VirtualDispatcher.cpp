#include "VirtualDispatcher.h"

#include <algorithm>
#include <future>

namespace vemro::test {

class TVirtualDispatcher::TVirtualTimer : public TTimer {
public:
  explicit TVirtualTimer(TVirtualDispatcher& Owner) : FOwner(Owner) {}
  ~TVirtualTimer() override {
    auto& Timers = FOwner.FTimers;
    std::erase_if(Timers, [this](const TTimerSlot& S) { return S.Timer == this; });
  }
  void SetInterval(int32_t Ms) override {
    FInterval = Ms;
    Restart();
  }
  int32_t Interval() const override { return FInterval; }
  void SetEnabled(bool Enabled) override {
    if (Enabled && !FEnabled) {
      FEnabled = true;
      Restart();
    }
    FEnabled = Enabled;
  }
  bool Enabled() const override { return FEnabled; }
  void SetHandler(std::function<void()> OnTimer) override { FHandler = std::move(OnTimer); }

  int64_t Due() const { return FDue; }
  void Fire() {
    FDue += std::max<int32_t>(FInterval, 1);
    if (FHandler) FHandler();
  }

private:
  void Restart() { FDue = FOwner.FNow + std::max<int32_t>(FInterval, 1); }
  TVirtualDispatcher& FOwner;
  int32_t FInterval = 1000;
  bool FEnabled = false;
  int64_t FDue = 0;
  std::function<void()> FHandler;
};

TVirtualDispatcher::TVirtualDispatcher() : FUiThread(std::this_thread::get_id()) {}

TVirtualDispatcher::~TVirtualDispatcher() = default;

void TVirtualDispatcher::Post(std::function<void()> Task) {
  {
    std::lock_guard Guard(FLock);
    FQueue.push_back(std::move(Task));
  }
  FArrived.notify_all();
}

void TVirtualDispatcher::Send(std::function<void()> Task) {
  if (IsUiThread()) {
    Task();
    return;
  }
  auto Done = std::make_shared<std::promise<void>>();
  auto Finished = Done->get_future();
  Post([Task = std::move(Task), Done] {
    struct TSignal {
      std::shared_ptr<std::promise<void>> P;
      ~TSignal() { P->set_value(); }
    } Signal{Done};
    Task();
  });
  Finished.wait();
}

std::unique_ptr<TTimer> TVirtualDispatcher::CreateTimer() {
  auto Timer = std::make_unique<TVirtualTimer>(*this);
  FTimers.push_back({Timer.get(), FNextOrder++});
  return Timer;
}

bool TVirtualDispatcher::IsUiThread() const { return std::this_thread::get_id() == FUiThread; }

bool TVirtualDispatcher::PopTask(std::function<void()>& Task) {
  std::lock_guard Guard(FLock);
  if (FQueue.empty()) return false;
  Task = std::move(FQueue.front());
  FQueue.pop_front();
  return true;
}

int TVirtualDispatcher::RunPending() {
  int Ran = 0;
  std::function<void()> Task;
  while (PopTask(Task)) {
    Task();
    ++Ran;
  }
  return Ran;
}

TVirtualDispatcher::TVirtualTimer* TVirtualDispatcher::NextDueTimer(int64_t Until) {
  const TTimerSlot* Best = nullptr;
  for (const auto& Slot : FTimers) {
    if (!Slot.Timer->Enabled() || Slot.Timer->Due() > Until) continue;
    if (!Best || Slot.Timer->Due() < Best->Timer->Due() ||
        (Slot.Timer->Due() == Best->Timer->Due() && Slot.Order < Best->Order))
      Best = &Slot;
  }
  return Best ? Best->Timer : nullptr;
}

void TVirtualDispatcher::Advance(int64_t Ms) {
  const int64_t Target = FNow + Ms;
  RunPending();
  while (TVirtualTimer* Timer = NextDueTimer(Target)) {
    FNow = Timer->Due();
    Timer->Fire();
    RunPending();
  }
  FNow = Target;
  RunPending();
}

bool TVirtualDispatcher::WaitFor(const std::function<bool()>& Done,
                                 std::chrono::milliseconds Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (true) {
    RunPending();
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= Deadline) return false;
    // Short slices: Done may turn true without anything being posted.
    std::unique_lock Guard(FLock);
    FArrived.wait_for(Guard, std::chrono::milliseconds(5), [this] { return !FQueue.empty(); });
  }
}

}  // namespace vemro::test
