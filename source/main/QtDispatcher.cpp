#include "main/QtDispatcher.h"

#include <QThread>
#include <QTimer>

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

TQtDispatcher::TQtDispatcher() = default;
TQtDispatcher::~TQtDispatcher() = default;

void TQtDispatcher::Post(std::function<void()> Task) {
  QMetaObject::invokeMethod(&FContext, std::move(Task), Qt::QueuedConnection);
}

void TQtDispatcher::Send(std::function<void()> Task) {
  if (IsUiThread()) {
    Task();
    return;
  }
  QMetaObject::invokeMethod(&FContext, std::move(Task), Qt::BlockingQueuedConnection);
}

std::unique_ptr<TTimer> TQtDispatcher::CreateTimer() { return std::make_unique<TQtTimer>(); }

bool TQtDispatcher::IsUiThread() const { return QThread::currentThread() == FContext.thread(); }

}  // namespace vemro
