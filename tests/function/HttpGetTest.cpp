#include "function/HttpGet.h"

#include "HttpTestServer.h"

#include <gtest/gtest.h>

namespace vemro {
namespace {

using test::THttpRequest;
using test::THttpResponse;
using test::THttpTestServer;

TEST(HttpGetText, ReturnsTheBodyWhateverTheStatus) {
  THttpTestServer Server([](const THttpRequest& R) {
    THttpResponse A;
    if (R.Path == "/soft/cfg.xml") A.Body = "<ver>4.2.3.517</ver>";
    else if (R.Path == "/moved") {
      A.Status = 302;
      A.Headers = {{"Location", "/soft/cfg.xml"}};
    } else {
      A.Status = 404;
      A.Body = "<h1>Not Found</h1>";
    }
    return A;
  });
  EXPECT_EQ(HttpGetText(" \t" + Server.BaseUrl() + "/soft/cfg.xml\r\n "), "<ver>4.2.3.517</ver>");
  EXPECT_EQ(HttpGetText(Server.BaseUrl() + "/missing"), "<h1>Not Found</h1>");
  EXPECT_EQ(HttpGetText(Server.BaseUrl() + "/moved"), "<ver>4.2.3.517</ver>");
  const auto Requests = Server.Requests();
  ASSERT_FALSE(Requests.empty());
  EXPECT_EQ(Requests[0].Method, "GET");
  EXPECT_EQ(Requests[0].Headers.at("user-agent"), "Internet Explorer");
}

TEST(HttpGetText, UnreachableOrUnsupportedGivesEmptyText) {
  EXPECT_EQ(HttpGetText("http://127.0.0.1:" + std::to_string(THttpTestServer::UnusedPort()) + "/"), "");
  EXPECT_EQ(HttpGetText(""), "");
  EXPECT_EQ(HttpGetText("file:///etc/passwd"), "");
  EXPECT_EQ(HttpGetText("not a url"), "");
}

TEST(HttpGetText, KeepsWhatArrivedBeforeAFailure) {
  const std::string Body(1000, 'x');
  THttpTestServer Server([&](const THttpRequest& R) {
    THttpResponse A;
    A.Body = Body;
    if (R.Path == "/slow") {
      A.ChunkBytes = 100;
      A.ChunkDelayMs = 30;
    } else if (R.Path == "/cut") {
      A.CutAfterBytes = 300;
    } else if (R.Path == "/silent") {
      A.NeverAnswer = true;
    } else if (R.Path == "/endless") {
      A.Endless = true;
      A.SendContentLength = false;
    }
    return A;
  });
  EXPECT_EQ(HttpGetText(Server.BaseUrl() + "/slow"), Body);
  EXPECT_EQ(HttpGetText(Server.BaseUrl() + "/cut"), Body.substr(0, 300));

  THttpLimits Short;
  Short.TimeoutMs = 500;
  EXPECT_EQ(HttpGetText(Server.BaseUrl() + "/silent", Short), "");

  THttpLimits Small;
  Small.MaxBytes = 25000;
  EXPECT_EQ(HttpGetText(Server.BaseUrl() + "/endless", Small), std::string(25000, 'x'));
}

}  // namespace
}  // namespace vemro
