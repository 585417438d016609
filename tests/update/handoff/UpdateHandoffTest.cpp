#include "main/UpdateHandoff.h"

#include "HttpTestServer.h"
#include "TempDir.h"
#include "VirtualDispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace vemro {
namespace {

namespace fs = std::filesystem;

// Runs first in this program: Online never returns to false.
TEST(UpdateHandoffTest, WithoutAnUpdateHostThereIsNoCheckAndThePlayerStaysOffline) {
  unsetenv("VEMRO_UPDATE_HOST");
  test::TVirtualDispatcher Dispatcher;
  EXPECT_EQ(StartUpdateCheck(Dispatcher, "/proc/self/exe", [](const TUpdateCheckResult&) {}), nullptr);
  UpdateCheckDone(TUpdateCheckResult{}, "/nowhere/", 1);
  EXPECT_FALSE(Online());
}

TEST(UpdateHandoffTest, TheUpdaterArgumentIsBase64OfHandleAndFile) {
  EXPECT_EQ(UpdaterArgument(1234, "a"), "MTIzNHxh");
  EXPECT_EQ(UpdaterArgument(1234, "http://u/包.zip"), "MTIzNHxodHRwOi8vdS/ljIUuemlw");
}

TEST(UpdateHandoffTest, AFoundUpdateStartsTheUpdaterAndThePlayerIsOnline) {
  test::TTempDir Dir;
  // A program folder whose name needs quoting on a command line.
  const std::string Folder = Dir.File("Vemro 'x'") + "/";
  Dir.Write("Vemro 'x'/update", "#!/bin/sh\necho \"$*\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.ran\"\n");
  fs::permissions(Folder + "update", fs::perms::owner_all);
  test::THttpTestServer Server([](const test::THttpRequest&) {
    test::THttpResponse Response;
    Response.Body = "<pelmar><ver value=\"423518\"/><file value=\"http://u/p.zip\"/></pelmar>";
    return Response;
  });
  setenv("VEMRO_UPDATE_HOST", ("127.0.0.1:" + std::to_string(Server.Port())).c_str(), 1);

  test::TVirtualDispatcher Dispatcher;
  std::unique_ptr<TCheckUPDate> Check;
  Check = StartUpdateCheck(Dispatcher, VEMRO_PROGRAM_FILE, [&](const TUpdateCheckResult& Result) {
    UpdateCheckDone(Result, Folder, 1234);
    Check.reset();
  });
  ASSERT_NE(Check, nullptr);
  ASSERT_TRUE(Dispatcher.WaitFor([&] { return Check == nullptr; }, std::chrono::seconds(60)));
  EXPECT_TRUE(Online());

  Dispatcher.WaitFor([&] { return fs::exists(Folder + "update.ran"); }, std::chrono::seconds(30));
  EXPECT_EQ(test::ReadFileBytes(Folder + "update.ran"), UpdaterArgument(1234, "http://u/p.zip") + "\n");
}

}  // namespace
}  // namespace vemro
