#include "main/Program.h"

#include "Version.h"
#include "function/Shell.h"
#include "main/CommandChannel.h"
#include "main/CommandRecord.h"
#include "main/FailureHandoff.h"
#include "main/HeadlessView.h"
#include "main/QtDispatcher.h"
#include "main/VemroApplication.h"
#include "main/unt_main.h"

#include <QSocketNotifier>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace vemro {
namespace {

// A running instance may still be setting up its socket; a second start gives it a
// moment rather than losing its file.
constexpr auto kHandOverPatience = std::chrono::seconds(5);

int gSignalPipe[2] = {-1, -1};

void OnCloseSignal(int) {
  const char Byte = 1;
  [[maybe_unused]] const auto Ignored = write(gSignalPipe[1], &Byte, 1);
}

void PrepareEnvironment() {
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (const char* Driver = std::getenv("VEMRO_AUDIO_DRIVER"); Driver && *Driver)
    setenv("SDL_AUDIODRIVER", Driver, 1);
}

void HandOver(TCommandRecord& Record, const std::optional<TCommand>& Command,
              const std::string& Folder) {
  if (!Command) return;
  const auto Deadline = std::chrono::steady_clock::now() + kHandOverPatience;
  std::unique_ptr<TCommandClient> Client;
  while (!(Client = TCommandClient::Connect(CommandSocketPath(Folder))) &&
         std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!Client) return;
  Record.Write(*Command);
  Client->Post({WMCMDRECORD, 1, 1});
}

// SIGTERM and SIGINT close the player as closing its window does.
bool InstallCloseSignals() {
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction Action {};
  Action.sa_handler = OnCloseSignal;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = SA_RESTART;
  return sigaction(SIGTERM, &Action, nullptr) == 0 && sigaction(SIGINT, &Action, nullptr) == 0;
}

int RunFirstInstance(int Argc, char** Argv, TCommandRecord& Record, const std::string& Folder,
                     std::vector<std::string> Args) {
  TVemroApplication App(Argc, Argv);
  QGuiApplication::setApplicationName("Vemro4");
  InstallFailureHandoff(GetAppDir());
  TQtDispatcher Dispatcher;
  THeadlessView View(Dispatcher);
  auto Main = std::make_unique<TPelmarMain>(Dispatcher, View, View, Record,
                                            TStartup{std::move(Args), GetAppDir()});
  TCommandServer Server(CommandSocketPath(Folder),
                        [&Main](const TMessageFrame& Frame) { return Main->HandleMessage(Frame); });

  bool Closed = false;
  QSocketNotifier CloseRequest(gSignalPipe[0], QSocketNotifier::Read);
  QObject::connect(&CloseRequest, &QSocketNotifier::activated, [&] {
    char Drain[16];
    while (read(gSignalPipe[0], Drain, sizeof(Drain)) > 0) {
    }
    if (Closed) return;
    Closed = true;
    Main->FormClose();
    QCoreApplication::quit();
  });
  App.exec();
  Main.reset();
  return 0;
}

}  // namespace

int RunProgram(int Argc, char** Argv) {
  std::vector<std::string> Args(Argv + std::min(Argc, 1), Argv + Argc);
  if (!Args.empty() && Args[0] == "--version") {
    std::cout << "Vemro " << kVersionText << "\n";
    return 0;
  }
  PrepareEnvironment();
  std::unique_ptr<TCommandRecord> Record;
  std::string Folder;
  try {
    Record = std::make_unique<TCommandRecord>(CommandRecordName());
    Record->Clear();
    Folder = InstanceFolder();
  } catch (const std::runtime_error& Error) {
    std::cerr << "vemro: " << Error.what() << "\n";
    return 0;
  }
  auto Lock = TInstanceLock::TryAcquire(Folder);
  if (!Lock) {
    HandOver(*Record, CommandFromArguments(Args), Folder);
    return 0;
  }
  if (!InstallCloseSignals()) {
    std::cerr << "vemro: cannot install the signal handlers: " << std::strerror(errno) << "\n";
    return 0;
  }
  try {
    return RunFirstInstance(Argc, Argv, *Record, Folder, std::move(Args));
  } catch (const std::exception& Error) {
    std::cerr << "vemro: " << Error.what() << "\n";
    return 0;
  }
}

}  // namespace vemro
