#include "storage/ShlFunc.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vemro {
namespace {

constexpr uint8_t PersonalFolder = 5;

std::string Env(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

std::string HomeFolder() {
  std::string Home = Env("HOME");
  if (Home.empty())
    if (const passwd* User = ::getpwuid(::getuid())) Home = User->pw_dir ? User->pw_dir : "";
  return Home;
}

// The value of a line KEY="$HOME/..." or KEY="/..." in user-dirs.dirs, as a path.
std::string UserDir(const std::string& Key, const std::string& Home) {
  const std::string Config = Env("XDG_CONFIG_HOME");
  std::ifstream In((Config.size() > 0 && Config[0] == '/' ? Config : Home + "/.config") + "/user-dirs.dirs");
  for (std::string Line; std::getline(In, Line);) {
    if (Line.rfind(Key + "=\"", 0) != 0 || Line.size() < Key.size() + 3 || Line.back() != '"') continue;
    std::string Value = Line.substr(Key.size() + 2, Line.size() - Key.size() - 3);
    if (Value.rfind("$HOME", 0) == 0) Value = Home + Value.substr(5);
    if (!Value.empty() && Value[0] == '/') return Value;
  }
  return {};
}

std::string DocumentsFolder() {
  const std::string Home = HomeFolder();
  const std::string Configured = UserDir("XDG_DOCUMENTS_DIR", Home);
  if (!Configured.empty()) return Configured;
  return Home.empty() ? std::string() : Home + "/Documents";
}

std::string WithSlash(std::string Path) {
  if (!Path.empty() && Path.back() != '/') Path += '/';
  return Path;
}

}  // namespace

std::string GetSpecialFolderPath(uint8_t Code, bool /*ShortName*/) {
  if (Code < 160) return (Code & 0x7F) == PersonalFolder ? WithSlash(DocumentsFolder()) : std::string();
  switch (Code) {
    case 160: return "/";
    case 161: return "/usr/lib/";
    case 163: return WithSlash(Env("TMPDIR").empty() ? "/tmp" : Env("TMPDIR"));
    default: return {};
  }
}

bool ForceFolder(const std::string& Path, bool Create) {
  std::error_code Error;
  if (std::filesystem::is_directory(Path, Error)) return true;
  const size_t LastSlash = Path.rfind('/');
  if (!Create || LastSlash == std::string::npos) return false;
  const std::string Folder = LastSlash == 0 ? "/" : Path.substr(0, LastSlash);
  std::filesystem::create_directories(Folder, Error);
  return std::filesystem::is_directory(Folder, Error);
}

}  // namespace vemro
