#!/usr/bin/env bash
# The full-size stress runs of the player: 200 starts and stops in a row and 1,000 random
# transport commands through the socket (ctest runs 20 starts). Build first
# (cmake --build build --target player_e2e_tests vemro vemro-remote).
set -euo pipefail
cd "$(dirname "$0")/.."
export VEMRO_PROGRAM_DIR=$PWD/build/bin SDL_AUDIODRIVER=dummy
VEMRO_STRESS_STARTS=${1:-200} VEMRO_STRESS_COMMANDS=${2:-1000} \
  build/tests/player_e2e_tests --gtest_filter='*StartsAndStopsInARow:*RandomCommandsLoseNoEntry'
