#pragma once
// The crash hand-off: a fault of the operating-system kind (SIGSEGV, SIGBUS, SIGILL,
// SIGFPE) on any thread writes out the last copies of the playlist and settings
// files, starts "bugreport -os" from the program folder and ends the process with
// code 0. The handler may only do async-signal-safe work, so the files are kept
// ready in memory: the UI thread hands over their bytes after each change.

#include <string>

namespace vemro {

enum class TCrashFile { PlayList, Settings };

// Installs the handlers and an alternate signal stack for the calling thread.
// ExeFolder ends with "/".
void InstallFailureHandoff(const std::string& ExeFolder);
// Puts the default dispositions back; the kept copies stay until replaced.
void RemoveFailureHandoff();

// The bytes the hand-off writes to FileName (atomically: temporary file, fsync,
// rename). Thread-safe, and safe against a fault arriving while it runs.
void SetCrashCopy(TCrashFile Which, const std::string& FileName, std::string Bytes);

// An alternate signal stack for the calling thread while the object lives, so that
// a stack overflow there still reaches the hand-off. Without one, a thread's other
// faults are handled on its own stack.
class TFaultStack {
public:
  TFaultStack();
  ~TFaultStack();
  TFaultStack(const TFaultStack&) = delete;
  TFaultStack& operator=(const TFaultStack&) = delete;

private:
  void* FStack;
  bool FInstalled = false;
};

}  // namespace vemro
