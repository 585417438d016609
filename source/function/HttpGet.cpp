#include "function/HttpGet.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace vemro {
namespace {

struct TBody {
  std::string Text;
  size_t MaxBytes;
};

size_t AppendBody(char* Data, size_t Size, size_t Count, void* User) {
  auto& Body = *static_cast<TBody*>(User);
  const size_t Bytes = Size * Count;
  const size_t Room = Body.MaxBytes - Body.Text.size();
  Body.Text.append(Data, std::min(Bytes, Room));
  return Bytes <= Room ? Bytes : 0;  // 0 ends the transfer once the limit is reached
}

std::string Trimmed(const std::string& S) {
  const auto IsBlank = [](char C) { return static_cast<unsigned char>(C) <= 32; };
  const auto First = std::find_if_not(S.begin(), S.end(), IsBlank);
  const auto Last = std::find_if_not(S.rbegin(), std::string::const_reverse_iterator(First), IsBlank).base();
  return std::string(First, Last);
}

}  // namespace

std::string HttpGetText(const std::string& Url, const THttpLimits& Limits) {
  static std::once_flag Initialised;
  std::call_once(Initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> Curl(curl_easy_init(), curl_easy_cleanup);
  if (!Curl) return {};
  const std::string Address = Trimmed(Url);
  TBody Body{{}, Limits.MaxBytes};
  CURL* C = Curl.get();
  curl_easy_setopt(C, CURLOPT_URL, Address.c_str());
  curl_easy_setopt(C, CURLOPT_USERAGENT, "Internet Explorer");
  curl_easy_setopt(C, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(C, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(C, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(C, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(C, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(C, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(Limits.ConnectTimeoutMs));
  curl_easy_setopt(C, CURLOPT_TIMEOUT_MS, static_cast<long>(Limits.TimeoutMs));
  curl_easy_setopt(C, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(C, CURLOPT_WRITEDATA, &Body);
  curl_easy_perform(C);  // failures leave what arrived so far
  return Body.Text;
}

}  // namespace vemro
