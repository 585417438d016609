#include "MainFixtures.h"
#include "PlayerProcess.h"
#include "main/CommandChannel.h"
#include "main/CommandRecord.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace vemro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int EnvCount(const char* Name, int Default) {
  const char* Value = std::getenv(Name);
  return Value && *Value ? std::atoi(Value) : Default;
}

class PlayerEndToEnd : public ::testing::Test {
protected:
  void TearDown() override {
    if (FPlayer > 0) test::TPlayerHome::Terminate(FPlayer);
  }
  void StartPlayer(const std::vector<std::string>& Args = {}) {
    FPlayer = Home.Spawn(Args);
    ASSERT_TRUE(Home.WaitServed()) << "the first instance never served its socket";
  }
  int StopPlayer() {
    const int Code = test::TPlayerHome::Terminate(FPlayer);
    FPlayer = 0;
    return Code;
  }
  std::string Song(const std::string& Name, double Seconds = 20) {
    return Home.Home().Write("songs/" + Name, test::WavBytes(Seconds));
  }

  test::TPlayerHome Home;
  pid_t FPlayer = 0;
};

TEST_F(PlayerEndToEnd, SecondStartsHandOverAndTheFilesSurviveTheExit) {
  StartPlayer();
  EXPECT_EQ(Home.Query(50), 0);
  const std::string SongPath = Song("song.wav"), Other = Song("other.wav");

  EXPECT_EQ(Home.Run({SongPath}), 0);
  ASSERT_TRUE(Home.WaitAnswer(50, 1));
  EXPECT_EQ(Home.Query(51), 0);

  EXPECT_EQ(Home.Run({"/l", Other}), 0);
  ASSERT_TRUE(Home.WaitAnswer(50, 2));
  EXPECT_EQ(Home.Query(51), 0);  // appended, not played

  EXPECT_EQ(Home.Run({}), 0);  // nothing to hand over
  EXPECT_EQ(Home.Query(50), 2);

  EXPECT_EQ(StopPlayer(), 0);
  EXPECT_FALSE(fs::exists(Home.SocketPath()));
  const std::string List = test::ReadFileBytes(Home.DataFolder() + "Default.pls");
  const auto First = List.find("Path=\"" + SongPath + "\" Title=\"song\" Artist=\"\" Url=\"0\" Ltime=\"0\"");
  const auto Second = List.find("Path=\"" + Other + "\" Title=\"other\"");
  EXPECT_NE(First, std::string::npos) << List;
  EXPECT_NE(Second, std::string::npos) << List;
  EXPECT_LT(First, Second);
  EXPECT_NE(List.find("<DefaultList>"), std::string::npos);

  const std::string Config = test::ReadFileBytes(Home.DataFolder() + "Vemro.xml");
  size_t At = Config.find("<Window>");
  ASSERT_NE(At, std::string::npos) << Config;
  for (const char* Key : {"<Volume Value=\"65\"/>", "<PLIST PATH=", "<PLAY PATTERN=\"0\"/>",
                          "<DESKTOPLRC SHOW=\"1\"/>", "<AUTORUN Value=\"1\"/>", "<RUNJM Value=\"0\"/>",
                          "<EQ ID=\"0\"/>", "<SKIN NAME=\"\"/>"}) {
    At = Config.find(Key, At);
    ASSERT_NE(At, std::string::npos) << Key << " in\n" << Config;
  }
}

TEST_F(PlayerEndToEnd, AFileOnTheFirstCommandLineIsPlayedAfterStartUp) {
  StartPlayer({Song("first.wav")});
  ASSERT_TRUE(Home.WaitAnswer(50, 1));
  EXPECT_EQ(Home.Query(51), 0);
  EXPECT_EQ(StopPlayer(), 0);
  // Started again, it finds its list.
  StartPlayer();
  EXPECT_EQ(Home.Query(50), 1);
  EXPECT_EQ(StopPlayer(), 0);
}

TEST_F(PlayerEndToEnd, TheDocumentedExampleDrivesThePlayer) {
  StartPlayer();
  const std::string A = Song("a.wav"), B = Song("b.wav"), C = Song("c.wav");
  EXPECT_EQ(Home.Run({"list", "22", "0" + A + "|Morning-Lin_,"}, VEMRO_REMOTE), 0);
  ASSERT_TRUE(Home.WaitAnswer(50, 1));
  EXPECT_EQ(Home.Run({"list", "2", "0" + B + "|Noon-Wu,0" + C + "|Night-Zhao_,"}, VEMRO_REMOTE), 0);
  ASSERT_TRUE(Home.WaitAnswer(50, 3));
  EXPECT_EQ(Home.Output({"send", "51"}, VEMRO_REMOTE), "1\n");
  EXPECT_EQ(Home.Output({"send", "50"}, VEMRO_REMOTE), "3\n");
  EXPECT_EQ(Home.Output({"send", "99"}, VEMRO_REMOTE), "-1\n");
  EXPECT_EQ(StopPlayer(), 0);
  const std::string List = test::ReadFileBytes(Home.DataFolder() + "Default.pls");
  EXPECT_NE(List.find("Title=\"Night\" Artist=\"Zhao\""), std::string::npos) << List;
}

// The start-stop count is VEMRO_STRESS_STARTS (bench/player_stress.sh runs 200).
TEST_F(PlayerEndToEnd, StartsAndStopsInARow) {
  const std::string File = Song("a.wav", 2);
  const int Rounds = EnvCount("VEMRO_STRESS_STARTS", 20);
  for (int I = 0; I < Rounds; ++I) {
    StartPlayer(I % 2 ? std::vector<std::string>{"/l", File} : std::vector<std::string>{});
    ASSERT_EQ(StopPlayer(), 0) << "round " << I;
  }
  StartPlayer();
  EXPECT_EQ(Home.Query(50), Rounds / 2);
}

// Random transport commands through the socket while songs change and entries arrive.
// The count is VEMRO_STRESS_COMMANDS.
TEST_F(PlayerEndToEnd, RandomCommandsLoseNoEntry) {
  std::vector<std::string> Songs;
  for (int I = 0; I < 4; ++I) Songs.push_back(Song("s" + std::to_string(I) + ".wav", 0.2 + 0.2 * I));
  StartPlayer();
  TCommandRecord Record(CommandRecordName());
  std::mt19937 Random(20261211);
  const int Commands = EnvCount("VEMRO_STRESS_COMMANDS", 1000);
  int32_t Added = 0;
  auto Client = TCommandClient::Connect(Home.SocketPath());
  ASSERT_TRUE(Client);
  for (int I = 0; I < Commands; ++I) {
    const int Pick = static_cast<int>(Random() % 10);
    if (Pick == 0) {
      // The record has no lock: one command at a time, each seen through before the next.
      Record.Write({static_cast<uint8_t>(Random() % 2 ? cmdPlayFile : cmdAddFile), Songs[Random() % 4]});
      ASSERT_TRUE(Client->Post({WMCMDRECORD, 1, 1}));
      ++Added;
      ASSERT_TRUE(Home.WaitAnswer(50, Added)) << "command " << I;
      continue;
    }
    const int32_t WParam = std::array{15, 16, 19, 20, 50, 51}[Random() % 6];
    ASSERT_TRUE(Client->Send({WMCMDPLAY, WParam, 0}).has_value()) << "command " << I;
  }
  EXPECT_EQ(Home.Query(50), Added);
  EXPECT_EQ(StopPlayer(), 0);
  const std::string List = test::ReadFileBytes(Home.DataFolder() + "Default.pls");
  int32_t Saved = 0;
  for (size_t At = 0; (At = List.find("<LIST ", At)) != std::string::npos; ++At) ++Saved;
  EXPECT_EQ(Saved, Added);
}

}  // namespace
}  // namespace vemro
