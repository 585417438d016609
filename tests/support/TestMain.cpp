// The entry of every test program: tests run against the program folder of this build
// and, unless told otherwise, on the audio driver that needs no sound card.

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("VEMRO_PROGRAM_DIR", VEMRO_TEST_PROGRAM_DIR, 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
