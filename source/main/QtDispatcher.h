#pragma once
// The dispatcher of the running program: the Qt event loop of the UI thread.

#include "function/Dispatcher.h"

#include <QObject>

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
  QObject FContext;  // lives on the UI thread; posted tasks run in its thread
};

}  // namespace vemro
