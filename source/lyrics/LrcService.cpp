#include "lyrics/LrcService.h"

#include "function/Shell.h"

#include <cstdlib>
#include <dlfcn.h>

namespace vemro {
namespace {
constexpr int32_t kDownloadBufferSize = 4096;

std::string Text(const char* S) { return S ? S : ""; }
}  // namespace

TLrcService::TLrcService() : TLrcService(GetAppDir()) {}

TLrcService::TLrcService(const std::string& ProgramFolder) {
  std::string Path = ProgramFolder;
  if (!Path.empty() && Path.back() != '/') Path += '/';
  Path += kLrcDownloadLibrary;
  FLibrary = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FLibrary) return;
  auto Create = reinterpret_cast<TLrcCreateObj>(dlsym(FLibrary, kLrcCreateObjName));
  if (Create) FObject = Create(&kLrcDownloadIid);
  if (!FObject) {
    dlclose(FLibrary);
    FLibrary = nullptr;
  }
}

TLrcService::~TLrcService() {
  // The object's code lives in the library: release it before closing that.
  if (FObject) FObject->Release();
  if (FLibrary) dlclose(FLibrary);
}

void TLrcService::TSession::Clear() {
  if (FObject) FObject->Clear();
}

void TLrcService::TSession::Search(const std::string& Title, const std::string& Singer,
                                   const std::string& Extra) {
  if (FObject) FObject->Search(Title.c_str(), Singer.c_str(), Extra.c_str(), 0);
}

int32_t TLrcService::TSession::Count() { return FObject ? FObject->Count() : 0; }

std::optional<TLrcResult> TLrcService::TSession::GetItem(int32_t Index) {
  const TLrcSearchResult* Result = FObject ? FObject->GetItem(Index) : nullptr;
  if (!Result) return std::nullopt;
  return TLrcResult{Text(Result->Title), Text(Result->Singer), Text(Result->SS), Result->Id};
}

std::string TLrcService::TSession::Download(int32_t Id) {
  if (!FObject) return {};
  char* Buffer = static_cast<char*>(std::malloc(kDownloadBufferSize));
  if (!Buffer) return {};
  Buffer[0] = '\0';
  FObject->Download(Id, &Buffer, kDownloadBufferSize);
  std::string Result = Text(Buffer);
  std::free(Buffer);
  return Result;
}

}  // namespace vemro
