#include "main/VemroApplication.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace vemro {
namespace {

TEST(VemroApplicationTest, AnErrorRaisedInTheEventLoopIsDiscardedAndTheLoopGoesOn) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int Argc = 1;
  char Name[] = "vemro";
  char* Argv[] = {Name, nullptr};
  TVemroApplication App(Argc, Argv);

  int Raised = 0;
  bool WentOn = false;
  QTimer::singleShot(0, &App, [&] {
    ++Raised;
    std::vector<int> List(3);
    (void)List.at(3);  // a list index out of range
  });
  QTimer::singleShot(0, &App, [&] {
    ++Raised;
    throw std::runtime_error("raised by the program");
  });
  QTimer::singleShot(20, &App, [&] {
    WentOn = true;
    App.quit();
  });
  EXPECT_EQ(App.exec(), 0);
  EXPECT_EQ(Raised, 2);
  EXPECT_TRUE(WentOn);
}

}  // namespace
}  // namespace vemro
