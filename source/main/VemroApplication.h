#pragma once
// The application object. An exception that reaches the event loop is discarded
// without a message and the loop goes on with the next event; Qt would otherwise
// end the program.

#include <QCoreApplication>
#include <QGuiApplication>

namespace vemro {

template <class TQtApplication>
class TExceptionDiscardingApplication : public TQtApplication {
public:
  using TQtApplication::TQtApplication;

  bool notify(QObject* Receiver, QEvent* Event) override {
    try {
      return TQtApplication::notify(Receiver, Event);
    } catch (...) {
      return false;
    }
  }
};

using TVemroApplication = TExceptionDiscardingApplication<QGuiApplication>;

}  // namespace vemro
