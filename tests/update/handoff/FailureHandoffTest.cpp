#include "main/FailureHandoff.h"

#include "lyrics/uLRCHandle.h"

#include "TempDir.h"
#include "VirtualDispatcher.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

namespace vemro {
namespace {

namespace fs = std::filesystem;

// Each fault runs in a child process that the hand-off ends.
void WriteThroughNull() {
  volatile int* Nowhere = nullptr;
  *Nowhere = 1;
}

// The parser reads a text whose second half cannot be read.
void FaultInLyricParser() {
  std::string Text;
  for (int Line = 0; Text.size() < (1 << 20); ++Line)
    Text += "[00:" + std::to_string(10 + Line % 50) + ".00]第" + std::to_string(Line) + "行\r\n";
  const uintptr_t Page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t From = (reinterpret_cast<uintptr_t>(Text.data()) + Text.size() / 2 + Page) & ~(Page - 1);
  mprotect(reinterpret_cast<void*>(From), Page * 16, PROT_NONE);
  TLyricHandle Lyrics;
  Lyrics.ParseText(Text);
}

void FaultInWorkerThread() {
  std::thread Worker(WriteThroughNull);
  Worker.join();
}

// Each frame keeps a kilobyte alive across the call, so the stack runs out.
int Recurse(int Depth) {
  volatile char Frame[1024];
  Frame[0] = static_cast<char>(Depth);
  if (Depth >= 0) Recurse(Depth + 1);
  return Frame[0];
}

void OverflowStack() { Recurse(0); }

void OverflowStackOfWorkerThread() {
  std::thread Worker([] {
    TFaultStack Stack;
    OverflowStack();
  });
  Worker.join();
}

void DivideByZero() {
  volatile int Zero = 0;
  volatile int Seven = 7;
  volatile int Result = Seven / Zero;
  (void)Result;
}

void ReadPastMappedFile() {
  char Name[] = "/tmp/vemro-empty-XXXXXX";
  const int File = mkstemp(Name);
  unlink(Name);
  volatile char* Bytes = static_cast<char*>(mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, File, 0));
  (void)Bytes[0];
}

void Trap() { __builtin_trap(); }

struct TFault {
  const char* Name;
  std::function<void()> Raise;
  friend void PrintTo(const TFault& Fault, std::ostream* Out) { *Out << Fault.Name; }
};

class FailureHandoffTest : public ::testing::TestWithParam<TFault> {
protected:
  void SetUp() override {
    // The reporter notes its arguments and whether the lock the player held is free.
    Dir.Write("program/bugreport",
              "#!/bin/sh\n"
              "if flock -n \"$VEMRO_TEST_LOCK\" true; then lock=free; else lock=held; fi\n"
              "echo \"$* $lock\" > \"$(dirname \"$0\")/reported.tmp\"\n"
              "mv \"$(dirname \"$0\")/reported.tmp\" \"$(dirname \"$0\")/reported\"\n");
    fs::permissions(Dir.File("program/bugreport"), fs::perms::owner_all);
    setenv("VEMRO_TEST_LOCK", Dir.File("instance.lock").c_str(), 1);
    for (int Index = 0; PlayList.size() < (3 << 20); ++Index)
      PlayList += "<item title=\"歌" + std::to_string(Index) + "\" path=\"/音乐/" + std::to_string(Index) + ".mp3\"/>\n";
  }

  // In the child: the state of a running player, then the fault.
  void Crash(const std::function<void()>& Raise) {
    const int Lock = open(Dir.File("instance.lock").c_str(), O_RDWR | O_CREAT, 0600);
    flock(Lock, LOCK_EX);
    InstallFailureHandoff(Dir.File("program") + "/");
    SetCrashCopy(TCrashFile::PlayList, Dir.File("Default.pls"), "stale");
    SetCrashCopy(TCrashFile::PlayList, Dir.File("Default.pls"), PlayList);
    SetCrashCopy(TCrashFile::Settings, Dir.File("Vemro.xml"), Settings);
    Raise();
  }

  // The reporter runs on its own after the child has ended.
  std::string Reported() const {
    test::TVirtualDispatcher Clock;
    Clock.WaitFor([&] { return fs::exists(Dir.File("program/reported")); }, std::chrono::seconds(30));
    return test::ReadFileBytes(Dir.File("program/reported"));
  }

  test::TTempDir Dir;
  std::string PlayList;
  const std::string Settings = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<config><PlayMode value=\"2\"/></config>\n";
};

TEST_P(FailureHandoffTest, SavesTheFilesStartsTheReporterAndEndsWithCodeZero) {
  EXPECT_EXIT(Crash(GetParam().Raise), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(Reported(), "-os free\n");
  EXPECT_TRUE(test::ReadFileBytes(Dir.File("Default.pls")) == PlayList);
  EXPECT_EQ(test::ReadFileBytes(Dir.File("Vemro.xml")), Settings);
  EXPECT_FALSE(fs::exists(Dir.File("Default.pls.crash-tmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailureHandoffTest,
    ::testing::Values(TFault{"NullWrite", WriteThroughNull}, TFault{"LyricParser", FaultInLyricParser},
                      TFault{"WorkerThread", FaultInWorkerThread}, TFault{"StackOverflow", OverflowStack},
                      TFault{"WorkerStackOverflow", OverflowStackOfWorkerThread},
                      TFault{"DivideByZero", DivideByZero}, TFault{"Bus", ReadPastMappedFile},
                      TFault{"IllegalInstruction", Trap}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(FailureHandoffWithoutReporterTest, EndsWithCodeZeroAllTheSame) {
  test::TTempDir Dir;
  EXPECT_EXIT(
      {
        InstallFailureHandoff(Dir.File("nothing-here") + "/");
        SetCrashCopy(TCrashFile::Settings, Dir.File("Vemro.xml"), "<config/>");
        WriteThroughNull();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(test::ReadFileBytes(Dir.File("Vemro.xml")), "<config/>");
}

TEST(FailureHandoffRaisedSignalTest, ARaisedSignalIsHandledLikeAFault) {
  test::TTempDir Dir;
  EXPECT_EXIT(
      {
        InstallFailureHandoff(Dir.File("nothing-here") + "/");
        SetCrashCopy(TCrashFile::PlayList, Dir.File("Default.pls"), "list");
        std::raise(SIGSEGV);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(test::ReadFileBytes(Dir.File("Default.pls")), "list");
}

}  // namespace
}  // namespace vemro
