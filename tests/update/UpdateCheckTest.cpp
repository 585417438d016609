#include "update/UntCkUpThread.h"

#include "HttpTestServer.h"
#include "VirtualDispatcher.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vemro {
namespace {

using test::THttpRequest;
using test::THttpResponse;
using test::THttpTestServer;

std::string Host(const THttpTestServer& Server) { return "127.0.0.1:" + std::to_string(Server.Port()); }

// Runs one check against Server and pumps the dispatcher until it has ended.
std::optional<TUpdateCheckResult> RunCheck(const std::string& Host,
                                           const std::string& ExeName = VEMRO_PROGRAM_FILE) {
  test::TVirtualDispatcher Dispatcher;
  std::optional<TUpdateCheckResult> Result;
  TCheckUPDate Check(Dispatcher, ExeName, Host, [&](const TUpdateCheckResult& Done) { Result = Done; });
  Dispatcher.WaitFor([&] { return Result.has_value(); }, std::chrono::seconds(90));
  return Result;
}

THttpResponse Silent(const THttpRequest&) {
  THttpResponse Response;
  Response.NeverAnswer = true;
  return Response;
}

THttpTestServer::THandler Serving(std::string Body) {
  return [Body = std::move(Body)](const THttpRequest& Request) {
    THttpResponse Response;
    if (Request.Path != "/soft/cfg.xml") {
      Response.Status = 404;
      return Response;
    }
    Response.ContentType = "text/xml";
    Response.Body = Body;
    return Response;
  };
}

struct TDescriptorCase {
  const char* Name;
  std::string Body;
  bool DescriptorOk;
  bool UpdateFound;
  std::string UpdateFile;
  std::optional<std::string> MusicUrlPrefix;  // when the descriptor is read at all
};

void PrintTo(const TDescriptorCase& Case, std::ostream* Out) { *Out << Case.Name; }

class UpdateDescriptorTest : public ::testing::TestWithParam<TDescriptorCase> {};

TEST_P(UpdateDescriptorTest, ReadsTheDescriptor) {
  const TDescriptorCase& Case = GetParam();
  THttpTestServer Server(Serving(Case.Body));
  const auto Result = RunCheck(Host(Server));
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->DescriptorOk, Case.DescriptorOk);
  EXPECT_EQ(Result->UpdateFound, Case.UpdateFound);
  EXPECT_EQ(Result->UpdateFile, Case.UpdateFile);
  if (Case.MusicUrlPrefix) {
    EXPECT_EQ(ServerValues().MusicUrlPrefix, *Case.MusicUrlPrefix);
  }
  ASSERT_EQ(Server.Requests().size(), 1u);
  EXPECT_EQ(Server.Requests()[0].Target, "/soft/cfg.xml");
}

std::string Descriptor(const std::string& Items) {
  return "<?xml version=\"1.0\"?>\n<pelmar>" + Items + "</pelmar>\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateDescriptorTest,
    ::testing::Values(
        TDescriptorCase{"SameVersion", Descriptor("<ver value=\"423517\"/><file value=\"http://u/p.zip\"/>"),
                        true, false, "http://u/p.zip", std::nullopt},
        TDescriptorCase{"NewerVersion",
                        Descriptor("<ver value=\"423518\"/><file value=\"http://u/p.zip\"/>"
                                   "<musicpath value=\"http://m/\"/><tj value=\"1\"/>"),
                        true, true, "http://u/p.zip", "http://m/"},
        TDescriptorCase{"ItemNamesInAnyCase", Descriptor("<VER value=\"500000\"/><File value=\"f\"/>"), true,
                        true, "f", std::nullopt},
        TDescriptorCase{"AttributeNameIsExact", Descriptor("<ver Value=\"500000\"/><file VALUE=\"f\"/>"), true,
                        false, "", std::nullopt},
        TDescriptorCase{"NoVersionItem", Descriptor("<a><b><file value=\"f\"/></b><musicpath value=\"mp\"/></a>"),
                        true, false, "f", "mp"},
        TDescriptorCase{"ItemsWithEndTagsReadEmpty",
                        Descriptor("<file value=\"f\"></file><ver value=\"999999\">999999</ver>"), true, false, "",
                        std::nullopt},
        TDescriptorCase{"TheLastOccurrenceWins",
                        Descriptor("<file value=\"1\"/><x><file value=\"2\"/></x><ver value=\"1\"/>"
                                   "<ver value=\"423518\"/>"),
                        true, true, "2", std::nullopt},
        TDescriptorCase{"MarkerOnlyInCapitals", "<PELMAR><ver value=\"999999\"/><file value=\"f\"/></PELMAR>",
                        false, false, "", std::nullopt},
        TDescriptorCase{"MarkerAnywhereInTheText",
                        "<cfg><!-- pelmar --><ver value=\"999999\"/><file value=\"f\"/></cfg>", true, true, "f",
                        std::nullopt},
        TDescriptorCase{"NegativeVersion", Descriptor("<ver value=\"-1\"/><file value=\"f\"/>"), true, false, "f",
                        std::nullopt},
        TDescriptorCase{"HexVersion", Descriptor("<ver value=\"0x7FFFFFFF\"/>"), true, false, "", std::nullopt},
        TDescriptorCase{"VersionBeyond32Bits", Descriptor("<ver value=\"4294967296\"/>"), true, false, "",
                        std::nullopt},
        TDescriptorCase{"VersionWithBlank", Descriptor("<ver value=\" 423518\"/>"), true, false, "", std::nullopt},
        TDescriptorCase{"LargestVersion", Descriptor("<ver value=\"4294967295\"/>"), true, true, "", std::nullopt},
        TDescriptorCase{"ReferencesResolved",
                        Descriptor("<ver value=\"423518\"/><file value=\"a&amp;b&#x4E2D;&quot;\"/>"), true, true,
                        "a&b中\"", std::nullopt},
        TDescriptorCase{"DeclaredGb2312",
                        "<?xml version=\"1.0\" encoding=\"GB2312\"?><pelmar><file value=\"\xD6\xD0\xCE\xC4\"/>"
                        "<ver value=\"423518\"/></pelmar>",
                        true, true, "中文", std::nullopt},
        TDescriptorCase{"UndeclaredGbk", "<pelmar><file value=\"\xD6\xD0\xCE\xC4\"/><ver value=\"423518\"/></pelmar>",
                        true, true, "中文", std::nullopt},
        TDescriptorCase{"BrokenAfterTheItems",
                        "<pelmar><file value=\"f\"/><musicpath value=\"kept\"/><ver value=\"999999\"/><oops",
                        true, false, "f", "kept"},
        TDescriptorCase{"EmptyBody", "", false, false, "", std::nullopt}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(UpdateCheckTest, WithoutAVersionNoteTheProgramCountsAsVersionZero) {
  THttpTestServer Server(Serving(Descriptor("<ver value=\"1\"/>")));
  const auto Result = RunCheck(Host(Server), "/proc/self/exe");
  ASSERT_TRUE(Result);
  EXPECT_TRUE(Result->UpdateFound);
}

TEST(UpdateCheckTest, AServerThatIsDownGivesNothing) {
  const auto Result = RunCheck("127.0.0.1:" + std::to_string(THttpTestServer::UnusedPort()));
  ASSERT_TRUE(Result);
  EXPECT_FALSE(Result->DescriptorOk);
  EXPECT_FALSE(Result->UpdateFound);
}

TEST(UpdateCheckTest, AnHttpErrorGivesNothing) {
  THttpTestServer Server([](const THttpRequest&) {
    THttpResponse Response;
    Response.Status = 500;
    Response.Body = "<html>Internal Server Error</html>";
    return Response;
  });
  const auto Result = RunCheck(Host(Server));
  ASSERT_TRUE(Result);
  EXPECT_FALSE(Result->DescriptorOk);
}

TEST(UpdateCheckTest, AHugeDescriptorIsCutAndFindsNoUpdate) {
  std::string Body = "<pelmar><ver value=\"999999\"/><file value=\"f\"/><pad>";
  while (Body.size() < (10u << 20)) Body += "<x value=\"0123456789abcdef0123456789abcdef\"/>\n";
  Body += "</pad></pelmar>";
  THttpTestServer Server(Serving(Body));
  const auto Result = RunCheck(Host(Server));
  ASSERT_TRUE(Result);
  EXPECT_TRUE(Result->DescriptorOk);
  EXPECT_FALSE(Result->UpdateFound);  // the document never ended
  EXPECT_EQ(Result->UpdateFile, "f");
}

TEST(UpdateCheckTest, AServerThatNeverAnswersEndsTheCheck) {
  THttpTestServer Server(Silent);
  const auto Result = RunCheck(Host(Server));
  ASSERT_TRUE(Result);
  EXPECT_FALSE(Result->DescriptorOk);
}

TEST(UpdateCheckTest, LettingGoOfARunningCheckNeitherWaitsNorCallsBack) {
  THttpTestServer Server(Silent);
  test::TVirtualDispatcher Dispatcher;
  bool Called = false;
  {
    TCheckUPDate Check(Dispatcher, VEMRO_PROGRAM_FILE, Host(Server), [&](const TUpdateCheckResult&) { Called = true; });
    ASSERT_TRUE(Dispatcher.WaitFor([&] { return !Server.Requests().empty(); }));
  }
  Server.Stop();  // the check's request fails now and its thread ends
  Dispatcher.RunPending();
  EXPECT_FALSE(Called);
}

TEST(UpdateCheckTest, VersionNumbers) {
  EXPECT_EQ(ParseVersionNumber("423517"), 423517u);
  EXPECT_EQ(ParseVersionNumber("0"), 0u);
  EXPECT_EQ(ParseVersionNumber("4294967295"), 4294967295u);
  for (const char* Text : {"", "-1", "+1", "1.2", "4294967296", "00004294967295", "1 ", "abc"})
    EXPECT_EQ(ParseVersionNumber(Text), std::nullopt) << Text;
}

}  // namespace
}  // namespace vemro
