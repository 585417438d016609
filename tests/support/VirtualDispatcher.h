#pragma once
// A dispatcher whose clock moves only when the test says so. The thread that
// creates it is the UI thread. Worker threads are real; the test pumps what they
// post with RunPending, WaitFor or Advance.

#include "function/Dispatcher.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vemro::test {

class TVirtualDispatcher : public IDispatcher {
public:
  TVirtualDispatcher();
  ~TVirtualDispatcher() override;

  void Post(std::function<void()> Task) override;
  void Send(std::function<void()> Task) override;
  std::unique_ptr<TTimer> CreateTimer() override;
  bool IsUiThread() const override;

  int64_t Now() const { return FNow; }
  // Runs every task posted so far (and those they post). Returns how many ran.
  int RunPending();
  // Moves the clock by Ms, firing due timers in time order (ties in creation
  // order) and running posted tasks before each timer and at the end.
  void Advance(int64_t Ms);
  // Pumps posted tasks in real time until Done() holds or Timeout passes.
  // Virtual time does not move. Returns Done().
  bool WaitFor(const std::function<bool()>& Done,
               std::chrono::milliseconds Timeout = std::chrono::seconds(10));

private:
  class TVirtualTimer;
  friend class TVirtualTimer;
  struct TTimerSlot {
    TVirtualTimer* Timer;
    uint64_t Order;
  };
  bool PopTask(std::function<void()>& Task);
  TVirtualTimer* NextDueTimer(int64_t Until);

  std::thread::id FUiThread;
  int64_t FNow = 0;
  uint64_t FNextOrder = 0;
  std::vector<TTimerSlot> FTimers;
  std::mutex FLock;
  std::condition_variable FArrived;
  std::deque<std::function<void()>> FQueue;
};

}  // namespace vemro::test
