#include "QtTestApp.h"
#include "main/QtDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vemro {
namespace {

TEST(QtDispatcher, RunsPostsFromThreadsInOrderOnTheUiThread) {
  test::EnsureQtApp();
  TQtDispatcher D;
  std::vector<int> Ran;
  std::atomic<bool> OffUiThread = false;
  std::atomic<int> Sent = -1;
  std::thread Worker([&] {
    for (int I = 0; I < 1000; ++I)
      D.Post([&, I] {
        if (!D.IsUiThread()) OffUiThread = true;
        Ran.push_back(I);
      });
    D.Post([] { throw std::runtime_error("discarded"); });
    D.Send([&] { Sent = static_cast<int>(Ran.size()); });  // after every earlier post
  });
  EXPECT_TRUE(test::PumpQtUntil([&] { return Sent >= 0; }));
  Worker.join();
  EXPECT_FALSE(OffUiThread);
  ASSERT_EQ(Ran.size(), 1000u);
  for (int I = 0; I < 1000; ++I) ASSERT_EQ(Ran[I], I);
  EXPECT_EQ(Sent, 1000);
}

}  // namespace
}  // namespace vemro
