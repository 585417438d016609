// The lyrics service over LRCLIB (https://lrclib.net/docs): a search lists the results
// that have synced lyrics, a download fetches one result's synced lyrics. The server
// is VEMRO_LYRICS_URL, else https://lrclib.net. A server that fails, answers nonsense
// or is slower than the short timeouts means no results.

#include "Version.h"
#include "lyrics/LrcDownload.h"

#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vemro {
namespace {

constexpr long kConnectTimeoutMs = 3000;
constexpr long kTransferTimeoutMs = 6000;
constexpr size_t kMaxAnswerBytes = 4 << 20;
constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002);

using TJson = nlohmann::json;

struct TResult {
  std::string Title, Singer, SS;
  int32_t Id;
};

size_t Collect(char* Data, size_t Size, size_t Count, void* Answer) {
  auto* Text = static_cast<std::string*>(Answer);
  if (Text->size() + Size * Count > kMaxAnswerBytes) return 0;  // ends the transfer
  Text->append(Data, Size * Count);
  return Size * Count;
}

// The body of a 200 answer, empty for anything else.
std::string HttpGet(const std::string& Url) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> Curl(curl_easy_init(), curl_easy_cleanup);
  if (!Curl) return {};
  static const std::string Agent = std::string("Vemro/") + kVersionText;
  std::string Answer;
  CURL* C = Curl.get();
  curl_easy_setopt(C, CURLOPT_URL, Url.c_str());
  curl_easy_setopt(C, CURLOPT_USERAGENT, Agent.c_str());
  curl_easy_setopt(C, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(C, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(C, CURLOPT_TIMEOUT_MS, kTransferTimeoutMs);
  curl_easy_setopt(C, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(C, CURLOPT_MAXREDIRS, 3L);
  curl_easy_setopt(C, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(C, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(C, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(C, CURLOPT_WRITEDATA, &Answer);
  long Status = 0;
  if (curl_easy_perform(C) != CURLE_OK ||
      curl_easy_getinfo(C, CURLINFO_RESPONSE_CODE, &Status) != CURLE_OK || Status != 200)
    return {};
  return Answer;
}

std::string Escape(const std::string& Text) {
  std::unique_ptr<char, decltype(&curl_free)> Escaped(
      curl_easy_escape(nullptr, Text.data(), static_cast<int>(Text.size())), curl_free);
  return Escaped ? Escaped.get() : "";
}

std::string TextField(const TJson& Object, const char* Name) {
  auto It = Object.find(Name);
  return It != Object.end() && It->is_string() ? It->get<std::string>() : std::string();
}

// "3:45" for 225 seconds, empty when unknown.
std::string DurationText(const TJson& Object) {
  auto It = Object.find("duration");
  if (It == Object.end() || !It->is_number()) return {};
  double Seconds = std::round(It->get<double>());
  if (!(Seconds >= 0 && Seconds < 1e7)) return {};
  long Whole = static_cast<long>(Seconds);
  char Text[32];
  std::snprintf(Text, sizeof(Text), "%ld:%02ld", Whole / 60, Whole % 60);
  return Text;
}

bool HasSyncedLyrics(const TJson& Object) {
  std::string Synced = TextField(Object, "syncedLyrics");
  return Synced.find_first_not_of(" \t\r\n") != std::string::npos;
}

std::vector<TResult> ParseSearchAnswer(const std::string& Json) {
  TJson Answer = TJson::parse(Json, nullptr, false);
  std::vector<TResult> Results;
  if (!Answer.is_array()) return Results;
  for (const TJson& Item : Answer) {
    if (!Item.is_object() || !HasSyncedLyrics(Item)) continue;
    auto Id = Item.find("id");
    if (Id == Item.end() || !Id->is_number_integer()) continue;
    int64_t Value = Id->get<int64_t>();
    if (Value < 0 || Value > std::numeric_limits<int32_t>::max()) continue;
    std::string Album = TextField(Item, "albumName"), Duration = DurationText(Item);
    std::string SS = Album.empty() || Duration.empty() ? Album + Duration : Album + " " + Duration;
    Results.push_back({TextField(Item, "trackName"), TextField(Item, "artistName"), SS,
                       static_cast<int32_t>(Value)});
  }
  return Results;
}

std::string ParseGetAnswer(const std::string& Json) {
  TJson Answer = TJson::parse(Json, nullptr, false);
  return Answer.is_object() ? TextField(Answer, "syncedLyrics") : std::string();
}

// Copies Text into the caller's malloc'ed buffer, growing it when Text is longer.
void CopyOut(const std::string& Text, char** Buffer, int32_t Size) {
  size_t Needed = Text.size() + 1;
  if (Size < 0 || Needed > static_cast<size_t>(Size)) {
    char* Grown = static_cast<char*>(std::realloc(*Buffer, Needed));
    if (!Grown) {
      if (Size > 0) (*Buffer)[0] = '\0';
      return;
    }
    *Buffer = Grown;
  }
  std::memcpy(*Buffer, Text.c_str(), Needed);
}

class TLrcLibClient final : public ILrcDownload {
public:
  explicit TLrcLibClient(std::string BaseUrl) : FBaseUrl(std::move(BaseUrl)) {
    while (!FBaseUrl.empty() && FBaseUrl.back() == '/') FBaseUrl.pop_back();
  }

  int32_t QueryInterface(const TLrcGuid& Iid, void** Object) override {
    if (!Object) return kNoInterface;
    *Object = nullptr;
    if (!(Iid == kLrcDownloadIid)) return kNoInterface;
    AddRef();
    *Object = this;
    return 0;
  }
  uint32_t AddRef() override { return ++FReferences; }
  uint32_t Release() override {
    uint32_t Left = --FReferences;
    if (Left == 0) delete this;
    return Left;
  }
  void Reserved1() override {}
  const TLrcSearchResult* GetItem(int32_t Index) override {
    if (Index < 0 || Index >= Count()) return nullptr;
    return &FViews[Index];
  }
  void Reserved2() override {}
  int32_t Count() override { return static_cast<int32_t>(FViews.size()); }
  void Clear() override {
    FViews.clear();
    FResults.clear();
  }
  void Download(int32_t Id, char** Buffer, int32_t Size) override {
    if (!Buffer || !*Buffer) return;
    try {
      std::string Text =
          Id < 0 ? std::string() : ParseGetAnswer(HttpGet(FBaseUrl + "/api/get/" + std::to_string(Id)));
      CopyOut(Text, Buffer, Size);
    } catch (...) {
      CopyOut({}, Buffer, Size);
    }
  }
  void Search(const char* Title, const char* Singer, const char*, int32_t) override {
    Clear();
    try {
      std::string Track = Title ? Title : "", Artist = Singer ? Singer : "";
      std::string Url = FBaseUrl + "/api/search?";
      if (!Track.empty()) {
        Url += "track_name=" + Escape(Track);
        if (!Artist.empty()) Url += "&artist_name=" + Escape(Artist);
      } else if (!Artist.empty()) {
        Url += "q=" + Escape(Artist);  // the server needs a track name or a free query
      } else {
        return;
      }
      FResults = ParseSearchAnswer(HttpGet(Url));
      // Views last: the strings they point to no longer move.
      for (const TResult& R : FResults)
        FViews.push_back({R.Title.c_str(), R.Singer.c_str(), R.SS.c_str(), R.Id});
    } catch (...) {
      Clear();
    }
  }

private:
  ~TLrcLibClient() = default;

  std::string FBaseUrl;
  std::atomic<uint32_t> FReferences{1};
  std::vector<TResult> FResults;
  std::vector<TLrcSearchResult> FViews;
};

}  // namespace
}  // namespace vemro

extern "C" __attribute__((visibility("default"))) vemro::ILrcDownload* LRC_CreateObj(
    const vemro::TLrcGuid* Iid) {
  using namespace vemro;
  if (!Iid || !(*Iid == kLrcDownloadIid)) return nullptr;
  static std::once_flag CurlReady;
  std::call_once(CurlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  const char* Base = std::getenv("VEMRO_LYRICS_URL");
  try {
    return new TLrcLibClient(Base && *Base ? Base : "https://lrclib.net");
  } catch (...) {
    return nullptr;
  }
}
