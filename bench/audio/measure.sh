#!/usr/bin/env bash
# Audio figures for docs/performance.md: decoding speed beside mpg123, and the cost of
# real-time playback beside mpv. Run from the repository root after building
# bench_audio_decode and bench_audio_play:  bench/audio/measure.sh [build-dir]
set -euo pipefail
build=${1:-build}
work=${TMPDIR:-/tmp}/vemro-bench-audio
cost=/work/shared/tools/proc-cost
mkdir -p "$work"
make_mp3() {  # seconds, file
  [ -s "$2" ] && return
  sox -n -r 44100 -c 2 -b 16 "$work/src.wav" synth "$1" pinknoise vol 0.3 tremolo 3 40
  lame --quiet -b 192 "$work/src.wav" "$2"
  rm -f "$work/src.wav"
}
make_mp3 600 "$work/ten.mp3"
make_mp3 60 "$work/sixty.mp3"

echo "== decode 10 min MP3: mpg123 -t"
for i in 1 2 3; do /usr/bin/time -f "%e s wall, %U s user, %S s sys" mpg123 -q -t "$work/ten.mp3"; done
echo "== decode 10 min MP3: library with the equalizer on"
VEMRO_BENCH_MP3="$work/ten.mp3" "$build/bench/bench_audio_decode"

echo "== play 60 s MP3 in real time (dummy driver), CPU over 5..55 s, RSS at 30 s"
for i in 1 2 3; do
  SDL_AUDIODRIVER=dummy "$cost" --from 5 --for 50 --rss-at 30 -- "$build/bench/bench_audio_play" "$work/sixty.mp3"
  "$cost" --from 5 --for 50 --rss-at 30 -- mpv --no-config --no-video --ao=null --really-quiet "$work/sixty.mp3"
done
