#pragma once
// The one Qt application object of a test program, and pumping its event loop.

#include <chrono>
#include <functional>

namespace vemro::test {

// Creates the application object on first use; call it from the test's main thread.
void EnsureQtApp();
// Processes Qt events until Done() holds or Timeout passes. Returns Done().
bool PumpQtUntil(const std::function<bool()>& Done,
                 std::chrono::milliseconds Timeout = std::chrono::seconds(10));

}  // namespace vemro::test
