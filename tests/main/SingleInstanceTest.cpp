#include "QtTestApp.h"
#include "TempDir.h"
#include "main/CommandChannel.h"
#include "main/CommandRecord.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vemro {
namespace {

namespace fs = std::filesystem;

// A record of its own per test, so that parallel tests and a running player never meet.
struct TPrivateRecordName {
  std::string Name = "/vemro-test-" + std::to_string(getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
  ~TPrivateRecordName() { shm_unlink(Name.c_str()); }
};

mode_t ModeOf(const std::string& Path) {
  struct stat Info {};
  EXPECT_EQ(stat(Path.c_str(), &Info), 0) << Path;
  return Info.st_mode & 0777;
}

TEST(CommandLine, GivesTheCommandOfTheFirstArguments) {
  struct TCase {
    std::vector<std::string> Args;
    std::optional<TCommand> Expected;
  };
  const TCase Cases[] = {
      {{}, std::nullopt},
      {{"song.mp3"}, TCommand{cmdPlayFile, "song.mp3"}},
      {{"/l", "song.mp3"}, TCommand{cmdAddFile, "song.mp3"}},
      {{"/L", "song.mp3"}, TCommand{cmdPlayFile, "/L"}},
      {{"a.mp3", "b.mp3", "c.mp3"}, TCommand{cmdPlayFile, "a.mp3"}},
      {{"/l", "a.mp3", "b.mp3"}, TCommand{cmdAddFile, "a.mp3"}},
  };
  for (const auto& Case : Cases) {
    const auto Got = CommandFromArguments(Case.Args);
    ASSERT_EQ(Got.has_value(), Case.Expected.has_value());
    if (!Got) continue;
    EXPECT_EQ(Got->Code, Case.Expected->Code);
    EXPECT_EQ(Got->Text, Case.Expected->Text);
  }
}

TEST(CommandRecord, IsSharedBetweenMappingsWithTheDocumentedLayout) {
  TPrivateRecordName Name;
  TCommandRecord Writer(Name.Name);
  TCommandRecord Reader(Name.Name);
  Writer.Clear();
  Writer.Write({cmdAddFile, "/music/歌曲.mp3"});

  EXPECT_EQ(Reader.Read().Code, cmdAddFile);
  EXPECT_EQ(Reader.Read().Text, "/music/歌曲.mp3");
  EXPECT_EQ(ModeOf("/dev/shm" + Name.Name), 0600u);
  EXPECT_EQ(fs::file_size("/dev/shm" + Name.Name), kCommandRecordSize);

  // An outside program sees the raw bytes: code at 0, zero padding and flags, text at 8.
  const int Fd = shm_open(Name.Name.c_str(), O_RDONLY, 0);
  ASSERT_GE(Fd, 0);
  auto* Raw = static_cast<unsigned char*>(mmap(nullptr, kCommandRecordSize, PROT_READ, MAP_SHARED, Fd, 0));
  close(Fd);
  ASSERT_NE(Raw, MAP_FAILED);
  EXPECT_EQ(Raw[0], 11);
  for (int I = 1; I < 8; ++I) EXPECT_EQ(Raw[I], 0) << I;
  EXPECT_EQ(std::memcmp(Raw + 8, "/music/", 7), 0);
  munmap(Raw, kCommandRecordSize);

  Reader.Clear();
  EXPECT_EQ(Writer.Read().Code, cmdNone);
  EXPECT_EQ(Writer.Read().Text, "");
}

TEST(CommandRecord, TakesAtMostTheTextLimitAndNeverReadsAnOlderTail) {
  TPrivateRecordName Name;
  TCommandRecord Record(Name.Name);
  Record.Clear();
  Record.Write({cmdPlayFile, std::string(70000, 'x')});
  EXPECT_EQ(Record.Read().Text.size(), kCommandTextMax);

  Record.Write({cmdPlayFile, "short"});
  EXPECT_EQ(Record.Read().Text, "short");
}

TEST(CommandRecord, RestrictsAnObjectCreatedWithWiderRights) {
  TPrivateRecordName Name;
  const int Fd = shm_open(Name.Name.c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_GE(Fd, 0);
  fchmod(Fd, 0666);
  close(Fd);
  TCommandRecord Record(Name.Name);
  EXPECT_EQ(ModeOf("/dev/shm" + Name.Name), 0600u);
  EXPECT_EQ(fs::file_size("/dev/shm" + Name.Name), kCommandRecordSize);
}

TEST(MessageFrame, IsTwelveLittleEndianBytes) {
  const auto Bytes = EncodeFrame({WMCMDRECORD, 1, 1});
  const std::array<unsigned char, 12> Expected = {0xAE, 0x0A, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(Bytes, Expected);
  const auto Back = DecodeFrame(EncodeFrame({WMCMDPLAY, -5, 0x12345678}).data());
  EXPECT_EQ(Back.Msg, WMCMDPLAY);
  EXPECT_EQ(Back.WParam, -5);
  EXPECT_EQ(Back.LParam, 0x12345678);
}

class InstanceFolderTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* Old = std::getenv("XDG_RUNTIME_DIR");
    FOld = Old ? std::optional<std::string>(Old) : std::nullopt;
    setenv("XDG_RUNTIME_DIR", FRuntime.Path().c_str(), 1);
  }
  void TearDown() override {
    if (FOld) setenv("XDG_RUNTIME_DIR", FOld->c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
  }
  test::TTempDir FRuntime;
  std::optional<std::string> FOld;
};

TEST_F(InstanceFolderTest, IsMadePrivateInTheRuntimeFolder) {
  const std::string Folder = InstanceFolder();
  EXPECT_EQ(Folder, FRuntime.File("vemro") + "/");
  EXPECT_EQ(ModeOf(Folder), 0700u);

  chmod(Folder.c_str(), 0755);
  EXPECT_EQ(InstanceFolder(), Folder);
  EXPECT_EQ(ModeOf(Folder), 0700u);
}

TEST_F(InstanceFolderTest, RefusesALinkPlantedInItsPlace) {
  const std::string Elsewhere = FRuntime.File("elsewhere");
  fs::create_directory(Elsewhere);
  fs::create_directory_symlink(Elsewhere, FRuntime.File("vemro"));
  EXPECT_THROW(InstanceFolder(), std::runtime_error);
}

TEST_F(InstanceFolderTest, LockIsHeldByOneAtATime) {
  const std::string Folder = InstanceFolder();
  auto First = TInstanceLock::TryAcquire(Folder);
  ASSERT_TRUE(First);
  EXPECT_FALSE(TInstanceLock::TryAcquire(Folder));
  First.reset();
  EXPECT_TRUE(TInstanceLock::TryAcquire(Folder));
}

class CommandServerTest : public ::testing::Test {
protected:
  void SetUp() override { test::EnsureQtApp(); }

  // Runs Client on its own thread while this thread serves the socket.
  void RunClient(const std::function<void()>& Client) {
    std::atomic<bool> Done = false;
    std::thread Worker([&] {
      Client();
      Done = true;
    });
    EXPECT_TRUE(test::PumpQtUntil([&] { return Done.load(); }));
    Worker.join();
  }

  test::TTempDir FFolder;
  std::string FPath = FFolder.File("command.sock");
  std::vector<TMessageFrame> FHandled;
  int32_t FAnswer = 42;
};

TEST_F(CommandServerTest, AnswersOnly1807AndHandlesFramesInOrder) {
  TCommandServer Server(FPath, [this](const TMessageFrame& F) {
    FHandled.push_back(F);
    return FAnswer + static_cast<int32_t>(FHandled.size());
  });
  EXPECT_EQ(ModeOf(FPath), 0600u);

  std::optional<int32_t> Answer;
  RunClient([&] {
    auto Client = TCommandClient::Connect(FPath);
    ASSERT_TRUE(Client);
    ASSERT_TRUE(Client->Post({WMCMDRECORD, 1, 1}));
    Answer = Client->Send({WMCMDPLAY, 50, 0});
  });
  ASSERT_EQ(Answer, 44);  // the second frame's answer: 2734 wrote nothing back
  ASSERT_EQ(FHandled.size(), 2u);
  EXPECT_EQ(FHandled[0].Msg, WMCMDRECORD);
  EXPECT_EQ(FHandled[1].WParam, 50);
}

TEST_F(CommandServerTest, JoinsFramesSplitAcrossWritesAndSurvivesACutOffPeer) {
  TCommandServer Server(FPath, [this](const TMessageFrame& F) {
    FHandled.push_back(F);
    return 7;
  });
  RunClient([&] {
    const int Fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    std::strcpy(Address.sun_path, FPath.c_str());
    ASSERT_EQ(connect(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)), 0);
    const auto Bytes = EncodeFrame({WMCMDPLAY, 16, 0});
    for (unsigned char B : Bytes) {
      ASSERT_EQ(write(Fd, &B, 1), 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    int32_t Answer = 0;
    ASSERT_EQ(read(Fd, &Answer, 4), 4);
    EXPECT_EQ(Answer, 7);
    ASSERT_EQ(write(Fd, Bytes.data(), 5), 5);  // half a frame, then gone
    close(Fd);
  });
  // The half frame is never handled, and the server still serves others.
  std::optional<int32_t> Answer;
  RunClient([&] { Answer = TCommandClient::Connect(FPath)->Send({WMCMDPLAY, 15, 0}); });
  EXPECT_EQ(Answer, 7);
  EXPECT_EQ(FHandled.size(), 2u);
}

TEST_F(CommandServerTest, RefusesAPeerOfAnotherUser) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  TCommandServer Server(FPath, [this](const TMessageFrame& F) {
    FHandled.push_back(F);
    return 1;
  });
  // Open the way so that only the peer check stands between the other user and the server.
  chmod(FFolder.Path().c_str(), 0777);
  chmod(FPath.c_str(), 0666);
  // The child uses bare system calls only: the parent has other threads running.
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  std::strcpy(Address.sun_path, FPath.c_str());
  const auto Frame = EncodeFrame({WMCMDPLAY, 50, 0});
  int Status = -1;
  RunClient([&] {
    const pid_t Child = fork();
    if (Child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
      const int Fd = socket(AF_UNIX, SOCK_STREAM, 0);
      if (connect(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0) _exit(2);
      // The server may have closed the connection already: no SIGPIPE, that is a refusal too.
      if (send(Fd, Frame.data(), Frame.size(), MSG_NOSIGNAL) != 12) _exit(0);
      pollfd Wait{Fd, POLLIN, 0};
      int32_t Answer = 0;
      _exit(poll(&Wait, 1, 3000) == 1 && read(Fd, &Answer, 4) == 4 ? 1 : 0);
    }
    while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
    }
  });
  EXPECT_TRUE(WIFEXITED(Status)) << Status;
  EXPECT_EQ(WEXITSTATUS(Status), 0) << "1 = answered, 2 = could not connect, 3 = no setuid";
  EXPECT_TRUE(FHandled.empty());
}

TEST_F(CommandServerTest, ReplacesAStaleSocketAndRemovesItsOwn) {
  {
    TCommandServer Stale(FPath, [](const TMessageFrame&) { return 0; });
  }
  EXPECT_FALSE(fs::exists(FPath));
  EXPECT_FALSE(TCommandClient::Connect(FPath));
  FFolder.Write("command.sock", "left over by a crash");
  TCommandServer Server(FPath, [](const TMessageFrame&) { return 9; });
  std::optional<int32_t> Answer;
  RunClient([&] { Answer = TCommandClient::Connect(FPath)->Send({WMCMDPLAY, 15, 0}); });
  EXPECT_EQ(Answer, 9);
}

}  // namespace
}  // namespace vemro
