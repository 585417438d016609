#pragma once
// The program's one lyrics service object, loaded from liblrcdown.so.
//
// It is shared by the lyric threads (a track's lookup, the dialog's search and
// download). Every Clear/Search/Count/GetItem/Download sequence runs inside one
// TSession, which holds the service for its whole length: one thread's results are
// never another's, and a second thread waits until the first sequence is done. Never
// open a session on the UI thread; a session may last as long as a few network calls.
//
// Without the library, its LRC_CreateObj or an object from it, every session finds
// nothing, so lookups use local files only.

#include "lyrics/LrcDownload.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace vemro {

struct TLrcResult {
  std::string Title;
  std::string Singer;
  std::string SS;
  int32_t Id = 0;
};

class TLrcService {
public:
  // Loads liblrcdown.so from the program's folder.
  TLrcService();
  // Loads liblrcdown.so from ProgramFolder (with or without a trailing "/").
  explicit TLrcService(const std::string& ProgramFolder);
  ~TLrcService();
  TLrcService(const TLrcService&) = delete;
  TLrcService& operator=(const TLrcService&) = delete;

  bool Available() const { return FObject != nullptr; }

  class TSession {
  public:
    void Clear();
    void Search(const std::string& Title, const std::string& Singer, const std::string& Extra);
    int32_t Count();
    // nullopt for an index without a result.
    std::optional<TLrcResult> GetItem(int32_t Index);
    // The LRC text of result Id, empty when there is none.
    std::string Download(int32_t Id);

  private:
    friend class TLrcService;
    TSession(std::mutex& Lock, ILrcDownload* Object) : FHold(Lock), FObject(Object) {}
    std::unique_lock<std::mutex> FHold;
    ILrcDownload* FObject;
  };

  // Blocks while another thread's session is open.
  TSession Session() { return TSession(FLock, FObject); }

private:
  void* FLibrary = nullptr;
  ILrcDownload* FObject = nullptr;
  std::mutex FLock;
};

}  // namespace vemro
