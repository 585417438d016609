#pragma once
// The real vemro program run by a test, in a home and runtime folder of its own, on the
// dummy audio driver and Qt's offscreen platform, driven through its command socket.

#include "TempDir.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace vemro::test {

class TPlayerHome {
public:
  TPlayerHome();

  // Starts Program (vemro unless named) with Args; Environment entries ("NAME=value")
  // replace those of the home. Returns its process id.
  pid_t Spawn(const std::vector<std::string>& Args, const std::string& Program = "",
              const std::vector<std::string>& Environment = {}) const;
  // Runs Program to its end; its exit code, or -1 when it did not end within Timeout.
  int Run(const std::vector<std::string>& Args, const std::string& Program = "",
          std::chrono::milliseconds Timeout = std::chrono::seconds(30)) const;
  // Output of Program (for the example client).
  std::string Output(const std::vector<std::string>& Args, const std::string& Program) const;
  // Waits until the running instance answers message 1807.
  bool WaitServed(std::chrono::milliseconds Timeout = std::chrono::seconds(30)) const;
  // Message 1807 with WParam; nullopt when nobody answers.
  std::optional<int32_t> Query(int32_t WParam) const;
  // Polls message 1807 WParam until it answers Value.
  bool WaitAnswer(int32_t WParam, int32_t Value,
                  std::chrono::milliseconds Timeout = std::chrono::seconds(30)) const;
  // SIGTERM, then its exit code (-1 when it did not end within Timeout).
  static int Terminate(pid_t Pid, std::chrono::milliseconds Timeout = std::chrono::seconds(30));
  static int WaitExit(pid_t Pid, std::chrono::milliseconds Timeout);

  const TTempDir& Home() const { return FHome; }
  std::string DataFolder() const { return FHome.File("Documents/vemro") + "/"; }
  std::string RuntimeFolder() const { return FHome.File("run"); }
  std::string SocketPath() const { return RuntimeFolder() + "/vemro/command.sock"; }

private:
  TTempDir FHome;
  std::vector<std::string> FEnvironment;
};

}  // namespace vemro::test
