#include "function/Shell.h"

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace vemro {
namespace {

using test::ReadFileBytes;
using test::TScopedEnv;
using test::TTempDir;

// Waits (generously) until a file holds a line "done"; its content, or empty.
std::string WaitForDoneFile(const std::string& FileName) {
  for (int I = 0; I < 1000; ++I) {
    const std::string Text = ReadFileBytes(FileName);
    if (Text.find("done\n") != std::string::npos) return Text;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {};
}

TEST(SplitCommandLine, SplitsLikeAShell) {
  struct TCase {
    std::string Line;
    std::vector<std::string> Words;
  };
  const TCase Cases[] = {
      {"/opt/vemro/bugreport -os", {"/opt/vemro/bugreport", "-os"}},
      {"  a   b\tc  ", {"a", "b", "c"}},
      {"\"/home/u/my music/update\" QUJD", {"/home/u/my music/update", "QUJD"}},
      {"'it''s' x", {"its", "x"}},
      {"a'b c'd", {"ab cd"}},
      {"\"say \\\"hi\\\" \\n\"", {"say \"hi\" \\n"}},
      {"'a\\b'", {"a\\b"}},
      {"a\\ b \\'c", {"a b", "'c"}},
      {"\"\" x", {"", "x"}},
      {"", {}},
  };
  for (const auto& C : Cases) {
    std::vector<std::string> Words{"stale"};
    EXPECT_TRUE(SplitCommandLine(C.Line, Words)) << C.Line;
    EXPECT_EQ(Words, C.Words) << C.Line;
  }
  std::vector<std::string> Words;
  EXPECT_FALSE(SplitCommandLine("update \"unterminated", Words));
  EXPECT_FALSE(SplitCommandLine("it's", Words));
}

TEST(RunProcess, StartsDetachedWithNothingButTheEnvironment) {
  TTempDir Dir;
  const TScopedEnv Marker("VEMRO_TEST_MARKER", "inherited");
  const int Leak = ::open(Dir.Write("open.txt", "x").c_str(), O_RDONLY);  // no O_CLOEXEC
  ASSERT_GE(Leak, 3);
  const std::string Out = Dir.File("out file.txt");
  const std::string Script =
      "readlink /proc/$$/fd/0 > \"$1\"; echo \"$VEMRO_TEST_MARKER\" >> \"$1\"; "
      "test -e /proc/$$/fd/" + std::to_string(Leak) + " && echo leaked >> \"$1\"; "
      "test \"$(cut -d\" \" -f6 /proc/$$/stat)\" = $$ && echo own-session >> \"$1\"; echo done >> \"$1\"";
  EXPECT_TRUE(RunProcess("/bin/sh -c '" + Script + "' sh \"" + Out + "\"", 1));
  const std::string Text = WaitForDoneFile(Out);
  ::close(Leak);
  ASSERT_FALSE(Text.empty()) << "the process did not run";
  EXPECT_EQ(Text.substr(0, Text.find('\n')), "/dev/null");
  EXPECT_NE(Text.find("inherited\n"), std::string::npos);
  EXPECT_EQ(Text.find("leaked"), std::string::npos);
  EXPECT_NE(Text.find("own-session\n"), std::string::npos);
}

TEST(RunProcess, ReportsWhatCannotBeStarted) {
  TTempDir Dir;
  EXPECT_FALSE(RunProcess(Dir.File("no-such-program") + " -os", 1));
  EXPECT_FALSE(RunProcess("no-such-program-in-path-vemro", 1));
  EXPECT_FALSE(RunProcess("", 1));
  EXPECT_FALSE(RunProcess("   ", 1));
  EXPECT_FALSE(RunProcess("/bin/true 'unterminated", 1));
  EXPECT_TRUE(RunProcess("true", 1));  // found through PATH
}

TEST(OpenUrl, PutsHttpInFrontUnlessPresent) {
  std::vector<std::string> Opened;
  const TShellOpener Old = SetShellOpener([&](const std::string& Target) { Opened.push_back(Target); });
  OpenUrl("www.example.com");
  OpenUrl("http://www.example.com/a");
  OpenUrl("https://www.example.com");  // only "http://" is looked for
  OpenUrl("see http://x");
  ShellOpen("/home/u/a.lrc");
  SetShellOpener(Old);
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://www.example.com", "http://www.example.com/a",
                                              "http://https://www.example.com", "see http://x",
                                              "/home/u/a.lrc"}));
}

TEST(SetAutoRun, WritesAndRemovesTheAutostartEntry) {
  TTempDir Dir;
  const TScopedEnv Config("XDG_CONFIG_HOME", Dir.File("config"));
  const std::string Entry = Dir.File("config/autostart/runvemro.desktop");
  EXPECT_EQ(AutoRunEntryPath(), Entry);
  SetAutoRun(true);
  const std::string Text = ReadFileBytes(Entry);
  EXPECT_EQ(Text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(Text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(Text.find("\nExec=" + GetAppPath() + "\n"), std::string::npos);
  SetAutoRun(true);  // rewriting is harmless
  EXPECT_EQ(ReadFileBytes(Entry), Text);
  SetAutoRun(false);
  EXPECT_FALSE(std::filesystem::exists(Entry));
  SetAutoRun(false);
  EXPECT_FALSE(std::filesystem::exists(Entry));
}

TEST(SetAutoRun, FallsBackToHomeAndSurvivesAnUnwritableFolder) {
  TTempDir Dir;
  const TScopedEnv Home("HOME", Dir.Path().string());
  const TScopedEnv Config("XDG_CONFIG_HOME", "relative/is/ignored");
  SetAutoRun(true);
  EXPECT_TRUE(std::filesystem::exists(Dir.File(".config/autostart/runvemro.desktop")));

  const TScopedEnv Blocked("XDG_CONFIG_HOME", Dir.Write("a-file", "x"));
  EXPECT_NO_THROW(SetAutoRun(true));
  EXPECT_NO_THROW(SetAutoRun(false));
}

TEST(GetAppDir, IsTheFolderOfTheRunningProgram) {
  const std::string Dir = GetAppDir();
  ASSERT_FALSE(Dir.empty());
  EXPECT_EQ(Dir.back(), '/');
  EXPECT_EQ(Dir + std::filesystem::path(GetAppPath()).filename().string(), GetAppPath());
  EXPECT_TRUE(std::filesystem::exists(Dir + "function_tests"));
  TrimWorkingSet();
}

}  // namespace
}  // namespace vemro
