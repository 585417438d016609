#include "main/FailureHandoff.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <atomic>
#include <cstdlib>
#include <memory>

extern char** environ;

namespace vemro {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
// Room for the handler and its calls on top of what the kernel pushes.
constexpr size_t kFaultStackSize = 64 * 1024;

struct TCrashCopy {
  std::string FileName;
  std::string TempName;
  std::string Bytes;
};

// Published with a lock-free exchange; a copy that the handler may be reading is
// never freed (see SetCrashCopy).
std::array<std::atomic<const TCrashCopy*>, 2> gCopies{};
std::atomic<const std::string*> gReporter{nullptr};
std::atomic<bool> gCrashing{false};
std::unique_ptr<TFaultStack> gMainFaultStack;

bool WriteAll(int File, const char* Data, size_t Size) {
  while (Size > 0) {
    const ssize_t Written = write(File, Data, Size);
    if (Written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    Data += Written;
    Size -= static_cast<size_t>(Written);
  }
  return true;
}

// Async-signal-safe calls only from here on.
void WriteOut(const TCrashCopy& Copy) {
  const int File = open(Copy.TempName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (File < 0) return;
  const bool Written = WriteAll(File, Copy.Bytes.data(), Copy.Bytes.size()) && fsync(File) == 0;
  close(File);
  if (!Written || rename(Copy.TempName.c_str(), Copy.FileName.c_str()) != 0)
    unlink(Copy.TempName.c_str());
}

void StartReporter(const char* Reporter) {
  if (_Fork() != 0) return;
  // The reporter inherits nothing but the environment: no blocked signals, no open
  // files (the instance lock among them), its own session.
  sigset_t Nothing;
  sigemptyset(&Nothing);
  sigprocmask(SIG_SETMASK, &Nothing, nullptr);
  close_range(3, ~0u, 0);
  setsid();
  char* const Arguments[] = {const_cast<char*>(Reporter), const_cast<char*>("-os"), nullptr};
  execve(Reporter, Arguments, environ);
  _exit(127);
}

void OnFatalException(int, siginfo_t*, void*) {
  static std::atomic<bool> Entered{false};
  // A second faulting thread waits for the first to end the process.
  if (Entered.exchange(true)) {
    for (;;) pause();
  }
  gCrashing.store(true);
  for (const auto& Slot : gCopies) {
    if (const TCrashCopy* Copy = Slot.load()) WriteOut(*Copy);
  }
  if (const std::string* Reporter = gReporter.load()) StartReporter(Reporter->c_str());
  _exit(0);
}

}  // namespace

TFaultStack::TFaultStack()
    : FStack(mmap(nullptr, kFaultStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) {
  if (FStack == MAP_FAILED) return;
  stack_t Stack{};
  Stack.ss_sp = FStack;
  Stack.ss_size = kFaultStackSize;
  FInstalled = sigaltstack(&Stack, nullptr) == 0;
}

TFaultStack::~TFaultStack() {
  if (FInstalled) {
    stack_t Off{};
    Off.ss_flags = SS_DISABLE;
    sigaltstack(&Off, nullptr);
  }
  if (FStack != MAP_FAILED) munmap(FStack, kFaultStackSize);
}

void InstallFailureHandoff(const std::string& ExeFolder) {
  // Kept for the life of the process: a fault may come at any time.
  delete gReporter.exchange(new std::string(ExeFolder + "bugreport"));
  if (!gMainFaultStack) gMainFaultStack = std::make_unique<TFaultStack>();
  struct sigaction Action{};
  Action.sa_sigaction = OnFatalException;
  Action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&Action.sa_mask);
  for (int Signal : kFatalSignals) sigaddset(&Action.sa_mask, Signal);
  for (int Signal : kFatalSignals) sigaction(Signal, &Action, nullptr);
}

void RemoveFailureHandoff() {
  for (int Signal : kFatalSignals) signal(Signal, SIG_DFL);
}

void SetCrashCopy(TCrashFile Which, const std::string& FileName, std::string Bytes) {
  auto* Copy = new TCrashCopy{FileName, FileName + ".crash-tmp", std::move(Bytes)};
  const TCrashCopy* Old = gCopies[static_cast<size_t>(Which)].exchange(Copy);
  // The handler raises gCrashing before it loads a copy: while it is not raised, no
  // handler can have seen Old.
  if (!gCrashing.load()) delete Old;
}

}  // namespace vemro
