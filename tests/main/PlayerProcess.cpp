#include "PlayerProcess.h"

#include "HttpTestServer.h"
#include "main/CommandChannel.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vemro::test {
namespace {

bool Overridden(const std::string& Entry) {
  for (const char* Name : {"HOME=", "XDG_", "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                           "SDL_AUDIODRIVER=", "VEMRO_"})
    if (Entry.starts_with(Name)) return true;
  return false;
}

std::string DefaultProgram() {
  const char* Bin = std::getenv("VEMRO_PROGRAM_DIR");
  return std::string(Bin ? Bin : ".") + "/vemro";
}

}  // namespace

TPlayerHome::TPlayerHome() {
  std::filesystem::create_directory(RuntimeFolder());
  chmod(RuntimeFolder().c_str(), 0700);
  for (char** E = environ; *E; ++E)
    if (!Overridden(*E)) FEnvironment.emplace_back(*E);
  FEnvironment.push_back("HOME=" + FHome.Path().string());
  FEnvironment.push_back("XDG_RUNTIME_DIR=" + RuntimeFolder());
  FEnvironment.push_back("QT_QPA_PLATFORM=offscreen");
  FEnvironment.push_back("VEMRO_AUDIO_DRIVER=dummy");
  // Lyrics are never fetched from the internet in a test.
  FEnvironment.push_back("VEMRO_LYRICS_URL=http://127.0.0.1:" + std::to_string(THttpTestServer::UnusedPort()));
}

pid_t TPlayerHome::Spawn(const std::vector<std::string>& Args, const std::string& Program,
                         const std::vector<std::string>& Environment) const {
  const std::string Path = Program.empty() ? DefaultProgram() : Program;
  std::vector<char*> Argv{const_cast<char*>(Path.c_str())};
  for (const auto& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);
  std::vector<char*> Envp;
  for (const auto& E : Environment) Envp.push_back(const_cast<char*>(E.c_str()));
  for (const auto& E : FEnvironment) {
    const std::string Name = E.substr(0, E.find('=') + 1);
    bool Replaced = false;
    for (const auto& Mine : Environment) Replaced = Replaced || Mine.starts_with(Name);
    if (!Replaced) Envp.push_back(const_cast<char*>(E.c_str()));
  }
  Envp.push_back(nullptr);
  pid_t Pid = 0;
  if (posix_spawn(&Pid, Path.c_str(), nullptr, nullptr, Argv.data(), Envp.data()) != 0)
    throw std::runtime_error("cannot start " + Path);
  return Pid;
}

int TPlayerHome::WaitExit(pid_t Pid, std::chrono::milliseconds Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  for (;;) {
    int Status = 0;
    const pid_t Done = waitpid(Pid, &Status, WNOHANG);
    if (Done == Pid) return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
    if (std::chrono::steady_clock::now() > Deadline) {
      kill(Pid, SIGKILL);
      waitpid(Pid, &Status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int TPlayerHome::Run(const std::vector<std::string>& Args, const std::string& Program,
                     std::chrono::milliseconds Timeout) const {
  return WaitExit(Spawn(Args, Program), Timeout);
}

std::string TPlayerHome::Output(const std::vector<std::string>& Args, const std::string& Program) const {
  const std::string OutFile = FHome.File("output.txt");
  std::vector<std::string> Shell = {"-c", "exec \"$0\" \"$@\" > '" + OutFile + "'", Program};
  Shell.insert(Shell.end(), Args.begin(), Args.end());
  if (Run(Shell, "/bin/sh") != 0) return "(failed)";
  return ReadFileBytes(OutFile);
}

std::optional<int32_t> TPlayerHome::Query(int32_t WParam) const {
  auto Client = TCommandClient::Connect(SocketPath());
  if (!Client) return std::nullopt;
  return Client->Send({WMCMDPLAY, WParam, 0});
}

bool TPlayerHome::WaitServed(std::chrono::milliseconds Timeout) const {
  return WaitAnswer(15, 1, Timeout);
}

bool TPlayerHome::WaitAnswer(int32_t WParam, int32_t Value, std::chrono::milliseconds Timeout) const {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (Query(WParam) != Value) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

int TPlayerHome::Terminate(pid_t Pid, std::chrono::milliseconds Timeout) {
  kill(Pid, SIGTERM);
  return WaitExit(Pid, Timeout);
}

}  // namespace vemro::test
