#include "function/Shell.h"

#include "function/SafeFiles.h"

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char** environ;

namespace vemro {
namespace {

std::mutex OpenerLock;

void OpenWithXdgOpen(const std::string& Target) { SpawnDetached({"xdg-open", Target}); }

TShellOpener& CurrentOpener() {
  static TShellOpener Opener = OpenWithXdgOpen;
  return Opener;
}

// The child is reaped by a thread of its own, so that no zombie stays behind and nothing
// waits for it.
void ReapLater(pid_t Child) {
  std::thread([Child] {
    while (::waitpid(Child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

class TSpawnSetup {
public:
  TSpawnSetup() {
    ::posix_spawn_file_actions_init(&FActions);
    ::posix_spawnattr_init(&FAttr);
    for (int Fd = 0; Fd <= 2; ++Fd)
      ::posix_spawn_file_actions_addopen(&FActions, Fd, "/dev/null", Fd == 0 ? O_RDONLY : O_WRONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(&FActions, 3);
    sigset_t All, None;
    sigfillset(&All);
    sigemptyset(&None);
    ::posix_spawnattr_setsigdefault(&FAttr, &All);
    ::posix_spawnattr_setsigmask(&FAttr, &None);
    ::posix_spawnattr_setflags(&FAttr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  ~TSpawnSetup() {
    ::posix_spawnattr_destroy(&FAttr);
    ::posix_spawn_file_actions_destroy(&FActions);
  }
  TSpawnSetup(const TSpawnSetup&) = delete;
  TSpawnSetup& operator=(const TSpawnSetup&) = delete;

  const posix_spawn_file_actions_t* Actions() const { return &FActions; }
  const posix_spawnattr_t* Attr() const { return &FAttr; }

private:
  posix_spawn_file_actions_t FActions;
  posix_spawnattr_t FAttr;
};

std::string ConfigHome() {
  const char* Xdg = std::getenv("XDG_CONFIG_HOME");
  if (Xdg && Xdg[0] == '/') return Xdg;
  const char* Home = std::getenv("HOME");
  return std::string(Home ? Home : "") + "/.config";
}

// Exec= takes a quoted argument when the path holds a reserved character; inside the quotes
// " ` $ \ are escaped, and the value's own escaping doubles every backslash again.
std::string DesktopExecValue(const std::string& Path) {
  std::string Arg = Path;
  if (Path.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos) {
    Arg = "\"";
    for (char C : Path) {
      if (C == '"' || C == '`' || C == '$' || C == '\\') Arg += '\\';
      Arg += C;
    }
    Arg += '"';
  }
  std::string Value;
  for (char C : Arg) {
    if (C == '\\') Value += "\\\\";
    else if (C == '%') Value += "%%";
    else if (C == '\n') Value += "\\n";
    else Value += C;
  }
  return Value;
}

}  // namespace

TShellOpener SetShellOpener(TShellOpener Opener) {
  std::lock_guard Guard(OpenerLock);
  std::swap(CurrentOpener(), Opener);
  return Opener;
}

void ShellOpen(const std::string& FileName) {
  TShellOpener Opener;
  {
    std::lock_guard Guard(OpenerLock);
    Opener = CurrentOpener();
  }
  if (Opener) Opener(FileName);
}

void OpenUrl(const std::string& Url) {
  ShellOpen(Url.find("http://") == std::string::npos ? "http://" + Url : Url);
}

bool SplitCommandLine(const std::string& CommandLine, std::vector<std::string>& Words) {
  Words.clear();
  std::string Word;
  bool InWord = false;
  char Quote = 0;
  for (size_t I = 0; I < CommandLine.size(); ++I) {
    const char C = CommandLine[I];
    if (Quote == '\'') {
      if (C == '\'') Quote = 0;
      else Word += C;
    } else if (Quote == '"') {
      if (C == '"') Quote = 0;
      else if (C == '\\' && I + 1 < CommandLine.size() && std::string("\"\\$`").find(CommandLine[I + 1]) != std::string::npos)
        Word += CommandLine[++I];
      else Word += C;
    } else if (C == ' ' || C == '\t' || C == '\n') {
      if (InWord) Words.push_back(std::move(Word));
      Word.clear();
      InWord = false;
    } else {
      InWord = true;
      if (C == '\'' || C == '"') Quote = C;
      else if (C == '\\' && I + 1 < CommandLine.size()) Word += CommandLine[++I];
      else Word += C;
    }
  }
  if (InWord) Words.push_back(std::move(Word));
  return Quote == 0;
}

bool SpawnDetached(const std::vector<std::string>& Argv) {
  if (Argv.empty() || Argv[0].empty()) return false;
  std::vector<char*> Args;
  for (const auto& A : Argv) Args.push_back(const_cast<char*>(A.c_str()));
  Args.push_back(nullptr);
  const TSpawnSetup Setup;
  pid_t Child = 0;
  if (::posix_spawnp(&Child, Args[0], Setup.Actions(), Setup.Attr(), Args.data(), environ) != 0) return false;
  ReapLater(Child);
  return true;
}

bool RunProcess(const std::string& CommandLine, uint16_t /*ShowCmd*/) {
  std::vector<std::string> Argv;
  return SplitCommandLine(CommandLine, Argv) && SpawnDetached(Argv);
}

std::string AutoRunEntryPath() { return ConfigHome() + "/autostart/runvemro.desktop"; }

void SetAutoRun(bool Enable) {
  const std::filesystem::path Entry = AutoRunEntryPath();
  std::error_code Error;
  if (!Enable) {
    std::filesystem::remove(Entry, Error);
    return;
  }
  const std::string Program = GetAppPath();
  if (Program.empty()) return;
  std::filesystem::create_directories(Entry.parent_path(), Error);
  try {
    WriteFileAtomically(Entry.string(),
                        "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Vemro\n"
                        "Exec=" + DesktopExecValue(Program) + "\n"
                        "X-GNOME-Autostart-enabled=true\n");
  } catch (const std::runtime_error&) {
    // An autostart folder that cannot be written leaves things as they were.
  }
}

std::string GetAppPath() {
  std::error_code Error;
  const auto Path = std::filesystem::read_symlink("/proc/self/exe", Error);
  return Error ? std::string() : Path.string();
}

std::string GetAppDir() {
  const std::string Path = GetAppPath();
  return Path.substr(0, Path.rfind('/') + 1);
}

void TrimWorkingSet() { ::malloc_trim(0); }

}  // namespace vemro
