#include "LrcLibFixture.h"
#include "TempDir.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <chrono>
#include <curl/curl.h>
#include <dlfcn.h>
#include <filesystem>

namespace vemro {
namespace {

using test::TFixtureSong;
using test::THttpRequest;
using test::THttpResponse;
using test::THttpTestServer;

std::vector<TLrcResult> SearchAll(TLrcService& Service, const std::string& Title,
                                  const std::string& Singer) {
  TLrcService::TSession Session = Service.Session();
  Session.Clear();
  Session.Search(Title, Singer, "");
  std::vector<TLrcResult> Results;
  for (int32_t K = 0; K < Session.Count(); ++K) Results.push_back(*Session.GetItem(K));
  EXPECT_FALSE(Session.GetItem(Session.Count()));
  EXPECT_FALSE(Session.GetItem(-1));
  return Results;
}

TEST(LrcService, SearchListsResultsWithSyncedLyrics) {
  const std::vector<TFixtureSong> Songs = {
      {11, "晴天", "周杰伦", "叶惠美", 269.4, "[00:01.00]故事的小黄花"},
      {12, "Plain only", "Band", "Album", 200, std::nullopt},
      {13, "Blank synced", "Band", "", 100, "  \n"},
      {14, "No album", "Band", "", 59.6, "[00:01.00]x"},
  };
  THttpTestServer Server([&](const THttpRequest& R) { return test::AnswerLikeLrcLib(R, Songs); });
  auto Service = test::ServiceAt(Server.BaseUrl());
  ASSERT_TRUE(Service->Available());

  std::vector<TLrcResult> Results = SearchAll(*Service, "晴天 & more", "周杰伦");
  ASSERT_EQ(Results.size(), 2u);
  EXPECT_EQ(Results[0].Title, "晴天");
  EXPECT_EQ(Results[0].Singer, "周杰伦");
  EXPECT_EQ(Results[0].SS, "叶惠美 4:29");
  EXPECT_EQ(Results[0].Id, 11);
  EXPECT_EQ(Results[1].SS, "1:00");

  ASSERT_EQ(Server.Requests().size(), 1u);
  const THttpRequest Request = Server.Requests()[0];
  EXPECT_EQ(Request.Path, "/api/search");
  EXPECT_EQ(Request.Param("track_name"), "晴天 & more");
  EXPECT_EQ(Request.Param("artist_name"), "周杰伦");
  EXPECT_EQ(Request.Headers.at("user-agent"), std::string("Vemro/") + kVersionText);
}

TEST(LrcService, ClearForgetsResults) {
  const std::vector<TFixtureSong> Songs = {{1, "a", "b", "c", 1, "[00:01.00]x"}};
  THttpTestServer Server([&](const THttpRequest& R) { return test::AnswerLikeLrcLib(R, Songs); });
  auto Service = test::ServiceAt(Server.BaseUrl());
  TLrcService::TSession Session = Service->Session();
  Session.Search("a", "b", "");
  EXPECT_EQ(Session.Count(), 1);
  Session.Clear();
  EXPECT_EQ(Session.Count(), 0);
  EXPECT_FALSE(Session.GetItem(0));
}

TEST(LrcService, FiftyResultsAreAllListed) {
  std::vector<TFixtureSong> Songs;
  for (int K = 0; K < 50; ++K)
    Songs.push_back({1000 + K, "Song " + std::to_string(K), "Band", "Album", 180,
                     "[00:01.00]line " + std::to_string(K)});
  THttpTestServer Server([&](const THttpRequest& R) { return test::AnswerLikeLrcLib(R, Songs); });
  auto Service = test::ServiceAt(Server.BaseUrl());
  std::vector<TLrcResult> Results = SearchAll(*Service, "Song", "Band");
  ASSERT_EQ(Results.size(), 50u);
  EXPECT_EQ(Results[49].Title, "Song 49");
  EXPECT_EQ(Results[49].Id, 1049);
  EXPECT_EQ(Service->Session().Download(1049), "[00:01.00]line 49");
}

TEST(LrcService, LongLyricsAreNotCutAtTheBuffer) {
  std::string Long;
  for (int K = 0; Long.size() < 50000; ++K) Long += "[00:" + std::to_string(K % 60) + ".00]歌词行\n";
  const std::vector<TFixtureSong> Songs = {{7, "t", "s", "a", 1, Long}};
  THttpTestServer Server([&](const THttpRequest& R) { return test::AnswerLikeLrcLib(R, Songs); });
  auto Service = test::ServiceAt(Server.BaseUrl());
  EXPECT_EQ(Service->Session().Download(7), Long);
  EXPECT_EQ(Server.Requests().back().Path, "/api/get/7");
}

struct TFailure {
  const char* Name;
  std::function<THttpResponse()> Answer;
};

class LrcServiceFailures : public testing::TestWithParam<TFailure> {};

TEST_P(LrcServiceFailures, MeanNoResults) {
  THttpTestServer Server([&](const THttpRequest&) { return GetParam().Answer(); });
  auto Service = test::ServiceAt(Server.BaseUrl());
  auto Started = std::chrono::steady_clock::now();
  EXPECT_TRUE(SearchAll(*Service, "t", "s").empty());
  EXPECT_EQ(Service->Session().Download(7), "");
  // Far beyond the service's timeouts, but short of a hang.
  EXPECT_LT(std::chrono::steady_clock::now() - Started, std::chrono::seconds(40));
}

THttpResponse Json(std::string Body) {
  THttpResponse R;
  R.ContentType = "application/json";
  R.Body = std::move(Body);
  return R;
}

INSTANTIATE_TEST_SUITE_P(
    Server, LrcServiceFailures,
    testing::Values(
        TFailure{"NotFound", [] { THttpResponse R = Json("{}"); R.Status = 404; return R; }},
        TFailure{"ServerError", [] { THttpResponse R = Json("[]"); R.Status = 500; return R; }},
        TFailure{"BrokenJson", [] { return Json(R"([{"id": 1, "trackName": "t", "syncedLy)"); }},
        TFailure{"WrongShape", [] { return Json(R"({"id": "x", "syncedLyrics": 5})"); }},
        TFailure{"NotJson", [] { return Json("<html>busy</html>"); }},
        TFailure{"CutOff", [] {
                   THttpResponse R = Json(R"([{"id":1,"trackName":"t","syncedLyrics":"[00:01.00]x"}])");
                   R.CutAfterBytes = 10;
                   return R;
                 }},
        TFailure{"NeverAnswers", [] { THttpResponse R; R.NeverAnswer = true; return R; }}),
    [](const auto& Info) { return Info.param.Name; });

TEST(LrcService, ServerThatIsDownMeansNoResults) {
  auto Service = test::ServiceAt("http://127.0.0.1:" + std::to_string(THttpTestServer::UnusedPort()));
  EXPECT_TRUE(SearchAll(*Service, "t", "s").empty());
  EXPECT_EQ(Service->Session().Download(1), "");
}

TEST(LrcService, SlowButTimelyServerIsWaitedFor) {
  const std::vector<TFixtureSong> Songs = {{3, "t", "s", "a", 1, "[00:01.00]x"}};
  THttpTestServer Server([&](const THttpRequest& R) {
    THttpResponse Response = test::AnswerLikeLrcLib(R, Songs);
    Response.DelayMs = 800;
    Response.ChunkBytes = 16;
    Response.ChunkDelayMs = 20;
    return Response;
  });
  auto Service = test::ServiceAt(Server.BaseUrl());
  EXPECT_EQ(SearchAll(*Service, "t", "s").size(), 1u);
}

TEST(LrcService, LibraryHandsOutCountedObjectsForItsInterfaceOnly) {
  void* Library = dlopen((test::ProgramDir() + "/" + kLrcDownloadLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(Library, nullptr) << dlerror();
  auto Create = reinterpret_cast<TLrcCreateObj>(dlsym(Library, kLrcCreateObjName));
  ASSERT_NE(Create, nullptr);
  TLrcGuid Other = kLrcDownloadIid;
  Other.Data4[7] ^= 1;
  EXPECT_EQ(Create(&Other), nullptr);
  EXPECT_EQ(Create(nullptr), nullptr);

  ILrcDownload* Object = Create(&kLrcDownloadIid);
  ASSERT_NE(Object, nullptr);
  void* Same = nullptr;
  EXPECT_EQ(Object->QueryInterface(kLrcDownloadIid, &Same), 0);
  EXPECT_EQ(Same, Object);
  EXPECT_NE(Object->QueryInterface(Other, &Same), 0);
  EXPECT_EQ(Same, nullptr);
  EXPECT_EQ(Object->AddRef(), 3u);
  EXPECT_EQ(Object->Release(), 2u);
  EXPECT_EQ(Object->Count(), 0);
  EXPECT_EQ(Object->GetItem(0), nullptr);
  EXPECT_EQ(Object->Release(), 1u);
  EXPECT_EQ(Object->Release(), 0u);
  dlclose(Library);
}

TEST(LrcService, WithoutTheLibraryThereAreNoResults) {
  test::TTempDir EmptyFolder;
  TLrcService Service(EmptyFolder.Path().string());
  EXPECT_FALSE(Service.Available());
  EXPECT_TRUE(SearchAll(Service, "t", "s").empty());
  EXPECT_EQ(Service.Session().Download(1), "");
}

TEST(LrcService, LibraryWithoutTheEntryIsIgnored) {
  test::TTempDir Folder;
  // A real shared object that lacks LRC_CreateObj, under the service's name.
  Dl_info Curl{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&curl_version), &Curl), 0);
  std::filesystem::copy_file(Curl.dli_fname, Folder.File("liblrcdown.so"));
  TLrcService Service(Folder.Path().string());
  EXPECT_FALSE(Service.Available());
}

}  // namespace
}  // namespace vemro
