#pragma once
// The seam between worker threads and the UI thread. Worker threads never touch
// UI-owned state: they Post (fire and forget) or Send (run on the UI thread and wait).
// Timers run their handler on the UI thread. The program installs the Qt event loop
// behind this interface; tests install a virtual clock.

#include <cstdint>
#include <functional>
#include <memory>

namespace vemro {

class TTimer {
public:
  virtual ~TTimer() = default;
  // Changing the interval of an enabled timer restarts its count.
  virtual void SetInterval(int32_t Ms) = 0;
  virtual int32_t Interval() const = 0;
  virtual void SetEnabled(bool Enabled) = 0;
  virtual bool Enabled() const = 0;
  virtual void SetHandler(std::function<void()> OnTimer) = 0;
};

class IDispatcher {
public:
  virtual ~IDispatcher() = default;
  // Thread-safe. Tasks run on the UI thread in the order they were posted.
  virtual void Post(std::function<void()> Task) = 0;
  // Thread-safe. Runs Task on the UI thread and returns when it has run; on the UI
  // thread itself it runs at once. The caller must not hold anything the UI thread
  // may wait for (a UI thread joining this very worker would deadlock).
  virtual void Send(std::function<void()> Task) = 0;
  // UI thread only. The timer is disabled until SetEnabled(true); destroying it stops it.
  virtual std::unique_ptr<TTimer> CreateTimer() = 0;
  virtual bool IsUiThread() const = 0;
};

}  // namespace vemro
