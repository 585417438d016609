#include "VirtualDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace vemro::test {
namespace {

TEST(VirtualDispatcher, TimersFireInTimeOrderAndOnlyWhenEnabled) {
  TVirtualDispatcher D;
  std::string Log;
  auto Fast = D.CreateTimer();
  auto Slow = D.CreateTimer();
  Fast->SetInterval(50);
  Fast->SetHandler([&] { Log += "f" + std::to_string(D.Now()) + " "; });
  Slow->SetInterval(120);
  Slow->SetHandler([&] { Log += "s" + std::to_string(D.Now()) + " "; });
  Fast->SetEnabled(true);
  Slow->SetEnabled(true);
  D.Advance(150);
  EXPECT_EQ(Log, "f50 f100 s120 f150 ");

  Log.clear();
  Fast->SetEnabled(false);
  D.Advance(100);
  EXPECT_EQ(Log, "s240 ");
  Slow.reset();  // a destroyed timer never fires
  D.Advance(1000);
  EXPECT_EQ(Log, "s240 ");
}

TEST(VirtualDispatcher, ReEnablingOrChangingIntervalRestartsTheCount) {
  TVirtualDispatcher D;
  int Fired = 0;
  auto T = D.CreateTimer();
  T->SetInterval(1000);
  T->SetHandler([&] { ++Fired; });
  T->SetEnabled(true);
  D.Advance(900);
  T->SetEnabled(false);
  T->SetEnabled(true);
  D.Advance(900);
  EXPECT_EQ(Fired, 0);
  D.Advance(100);
  EXPECT_EQ(Fired, 1);
}

TEST(VirtualDispatcher, HandlerMayStopItsOwnTimer) {
  TVirtualDispatcher D;
  int Fired = 0;
  auto T = D.CreateTimer();
  T->SetInterval(10);
  T->SetHandler([&] { ++Fired; T->SetEnabled(false); });
  T->SetEnabled(true);
  D.Advance(100);
  EXPECT_EQ(Fired, 1);
}

TEST(VirtualDispatcher, SendFromWorkerRunsOnUiThreadAndWaits) {
  TVirtualDispatcher D;
  std::atomic<bool> WorkerDone{false};
  std::thread::id RanOn;
  int Value = 0;
  std::thread Worker([&] {
    D.Send([&] { RanOn = std::this_thread::get_id(); Value = 42; });
    EXPECT_EQ(Value, 42);  // Send returned only after the task ran
    D.Post([&] { WorkerDone = true; });
  });
  EXPECT_TRUE(D.WaitFor([&] { return WorkerDone.load(); }));
  Worker.join();
  EXPECT_EQ(RanOn, std::this_thread::get_id());
}

TEST(VirtualDispatcher, PostedTasksRunInOrderBeforeDueTimers) {
  TVirtualDispatcher D;
  std::string Log;
  auto T = D.CreateTimer();
  T->SetInterval(10);
  T->SetHandler([&] { Log += "t"; D.Post([&] { Log += "p2"; }); T->SetEnabled(false); });
  T->SetEnabled(true);
  D.Post([&] { Log += "p1"; });
  D.Advance(10);
  EXPECT_EQ(Log, "p1tp2");
}

TEST(VirtualDispatcher, SendOnUiThreadRunsAtOnce) {
  TVirtualDispatcher D;
  bool Ran = false;
  D.Send([&] { Ran = true; });
  EXPECT_TRUE(Ran);
  EXPECT_TRUE(D.IsUiThread());
}

}  // namespace
}  // namespace vemro::test
