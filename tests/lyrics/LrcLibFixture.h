#pragma once
// A server on 127.0.0.1 that answers like LRCLIB from a list of songs, and the lyrics
// service loaded from the program folder and pointed at it.

#include "HttpTestServer.h"
#include "lyrics/LrcService.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vemro::test {

struct TFixtureSong {
  int64_t Id;
  std::string Track, Artist, Album;
  double Duration = 0;
  std::optional<std::string> Synced;  // nullopt: JSON null
  std::string Plain = "plain text";
};

inline nlohmann::json SongJson(const TFixtureSong& S) {
  return {{"id", S.Id},
          {"trackName", S.Track},
          {"artistName", S.Artist},
          {"albumName", S.Album},
          {"duration", S.Duration},
          {"instrumental", false},
          {"plainLyrics", S.Plain},
          {"syncedLyrics", S.Synced ? nlohmann::json(*S.Synced) : nlohmann::json(nullptr)}};
}

// Search answers every song, whatever the query; get answers the song of that id or 404.
inline THttpResponse AnswerLikeLrcLib(const THttpRequest& Request,
                                      const std::vector<TFixtureSong>& Songs) {
  THttpResponse Response;
  Response.ContentType = "application/json";
  if (Request.Path == "/api/search") {
    nlohmann::json List = nlohmann::json::array();
    for (const TFixtureSong& S : Songs) List.push_back(SongJson(S));
    Response.Body = List.dump();
    return Response;
  }
  const std::string Get = "/api/get/";
  if (Request.Path.rfind(Get, 0) == 0)
    for (const TFixtureSong& S : Songs)
      if (Request.Path.substr(Get.size()) == std::to_string(S.Id)) {
        Response.Body = SongJson(S).dump();
        return Response;
      }
  Response.Status = 404;
  Response.Body = R"({"code":404,"name":"TrackNotFound","message":"Failed to find specified track"})";
  return Response;
}

inline std::string ProgramDir() {
  const char* Dir = std::getenv("VEMRO_PROGRAM_DIR");
  return Dir && *Dir ? Dir : VEMRO_TEST_PROGRAM_DIR;
}

// The service of the program folder, talking to BaseUrl.
inline std::unique_ptr<TLrcService> ServiceAt(const std::string& BaseUrl) {
  setenv("VEMRO_LYRICS_URL", BaseUrl.c_str(), 1);
  return std::make_unique<TLrcService>(ProgramDir());
}

}  // namespace vemro::test
