#!/usr/bin/env bash
# Sets everything up, builds and runs the player.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
exec build/bin/vemro "$@"
