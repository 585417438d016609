#include "main/UpdateHandoff.h"

#include "function/FastStrings.h"
#include "function/Shell.h"

#include <atomic>
#include <cstdlib>

namespace vemro {

namespace {

std::atomic<bool> gOnline{false};
constexpr uint16_t kHidden = 0;

// One word for the command line, whatever the folder's name holds.
std::string Quoted(const std::string& Word) {
  std::string Text = "'";
  for (char Char : Word) Text += Char == '\'' ? std::string("'\\''") : std::string(1, Char);
  return Text + "'";
}

}  // namespace

bool Online() { return gOnline.load(); }

std::string UpdaterArgument(int64_t WindowHandle, const std::string& UpdateFile) {
  return Base64Encode(std::to_string(WindowHandle) + "|" + UpdateFile);
}

std::unique_ptr<TCheckUPDate> StartUpdateCheck(IDispatcher& Dispatcher, const std::string& ExeName,
                                               TCheckUPDate::TTerminateHandler OnTerminate) {
  const char* Host = std::getenv("VEMRO_UPDATE_HOST");
  if (!Host || !*Host) return nullptr;
  return std::make_unique<TCheckUPDate>(Dispatcher, ExeName, Host, std::move(OnTerminate));
}

void UpdateCheckDone(const TUpdateCheckResult& Result, const std::string& ExeFolder, int64_t WindowHandle) {
  if (Result.DescriptorOk) gOnline.store(true);
  if (Result.UpdateFound)
    RunProcess(Quoted(ExeFolder + "update") + " " + UpdaterArgument(WindowHandle, Result.UpdateFile), kHidden);
}

}  // namespace vemro
