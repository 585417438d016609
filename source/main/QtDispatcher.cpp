#include "main/QtDispatcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <future>
#include <stdexcept>

#include <sys/eventfd.h>
#include <unistd.h>

namespace vemro {
namespace {

class TQtTimer : public TTimer {
public:
  TQtTimer() {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      if (FHandler) FHandler();
    });
  }
  void SetInterval(int32_t Ms) override { FTimer.setInterval(Ms); }
  int32_t Interval() const override { return FTimer.interval(); }
  void SetEnabled(bool Enabled) override {
    if (Enabled == FTimer.isActive()) return;
    if (Enabled) FTimer.start();
    else FTimer.stop();
  }
  bool Enabled() const override { return FTimer.isActive(); }
  void SetHandler(std::function<void()> OnTimer) override { FHandler = std::move(OnTimer); }

private:
  QTimer FTimer;
  std::function<void()> FHandler;
};

}  // namespace

TQtDispatcher::TQtDispatcher() : FUiThread(std::this_thread::get_id()) {
  FWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (FWake < 0) throw std::runtime_error("cannot create the dispatcher's eventfd");
  FNotifier = std::make_unique<QSocketNotifier>(FWake, QSocketNotifier::Read);
  QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { RunPosted(); });
}

TQtDispatcher::~TQtDispatcher() {
  FNotifier.reset();
  close(FWake);
}

void TQtDispatcher::Post(std::function<void()> Task) {
  bool WasEmpty;
  {
    std::lock_guard Guard(FLock);
    WasEmpty = FQueue.empty();
    FQueue.push_back(std::move(Task));
  }
  if (!WasEmpty) return;
  const uint64_t One = 1;
  [[maybe_unused]] const auto Ignored = write(FWake, &One, sizeof(One));
}

void TQtDispatcher::RunPosted() {
  uint64_t Count;
  [[maybe_unused]] const auto Ignored = read(FWake, &Count, sizeof(Count));
  // One at a time, so that a task that runs a nested event loop keeps the order.
  for (;;) {
    std::function<void()> Task;
    {
      std::lock_guard Guard(FLock);
      if (FQueue.empty()) return;
      Task = std::move(FQueue.front());
      FQueue.pop_front();
    }
    try {
      Task();
    } catch (const std::exception&) {
      // Errors that reach the event loop are discarded; the next task still runs.
    }
  }
}

void TQtDispatcher::Send(std::function<void()> Task) {
  if (IsUiThread()) {
    Task();
    return;
  }
  std::promise<void> Done;
  Post([&] {
    struct TSignal {
      std::promise<void>& P;
      ~TSignal() { P.set_value(); }
    } Signal{Done};
    Task();
  });
  Done.get_future().wait();
}

std::unique_ptr<TTimer> TQtDispatcher::CreateTimer() { return std::make_unique<TQtTimer>(); }

bool TQtDispatcher::IsUiThread() const { return std::this_thread::get_id() == FUiThread; }

}  // namespace vemro
