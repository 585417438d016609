#pragma once
// The dispatcher of the running program: the Qt event loop of the UI thread.

#include "function/Dispatcher.h"

#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class QSocketNotifier;

namespace vemro {

class TQtDispatcher : public IDispatcher {
public:
  // Must be created on the UI thread, after the application object.
  TQtDispatcher();
  ~TQtDispatcher() override;

  void Post(std::function<void()> Task) override;
  void Send(std::function<void()> Task) override;
  std::unique_ptr<TTimer> CreateTimer() override;
  bool IsUiThread() const override;

private:
  void RunPosted();

  // Posted tasks wait in a queue of our own and an eventfd wakes the loop: nothing the
  // posting thread allocates is handed through Qt's event queue, so the hand-over is
  // ordered by FLock alone (which also lets ThreadSanitizer see it).
  std::thread::id FUiThread;
  std::mutex FLock;
  std::deque<std::function<void()>> FQueue;
  int FWake = -1;
  std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace vemro
