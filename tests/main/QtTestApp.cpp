#include "QtTestApp.h"

#include <QCoreApplication>
#include <QThread>

namespace vemro::test {

void EnsureQtApp() {
  static int Argc = 1;
  static char Name[] = "main_tests";
  static char* Argv[] = {Name, nullptr};
  static QCoreApplication App(Argc, Argv);
}

bool PumpQtUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (!Done()) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace vemro::test
