// Lyrics: parsing a long LRC text and finding a song's file in a large lyrics folder,
// each beside the floor it cannot beat (a scan of the same bytes, a bare listing of
// the same folder).
#include "TempDir.h"
#include "lyrics/LrcClass.h"
#include "lyrics/UntLrcThread.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

std::string LongLrc(int Lines) {
  std::string Text = "[ti:长歌]\r\n[ar:乐队]\r\n[al:专辑]\r\n[offset:0]\r\n";
  char Tag[32];
  for (int K = 0; K < Lines; ++K) {
    std::snprintf(Tag, sizeof(Tag), "[%02d:%02d.%03d]", K / 600, (K / 10) % 60, (K % 10) * 100);
    Text += Tag;
    Text += (K % 3 == 0) ? "我们一起唱这首歌 line " : "And the words go on and on ";
    Text += std::to_string(K) + "\r\n";
  }
  return Text;
}

void BM_ParseLrc2000Lines(benchmark::State& State) {
  const std::string Text = LongLrc(2000);
  vemro::TLrcClass Store;  // the program keeps one store for its whole run
  for (auto _ : State) {
    Store.LoadText(Text);
    benchmark::DoNotOptimize(Store.Lyric().Count());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Text.size()));
}
BENCHMARK(BM_ParseLrc2000Lines)->Unit(benchmark::kMicrosecond);

// Not an LRC text: 200 KB of "[ti:" that never closes, as a misnamed file might hold.
void BM_ParseUnclosedTags200KB(benchmark::State& State) {
  std::string Text;
  while (Text.size() < 200000) Text += "[ti:";
  vemro::TLrcClass Store;
  for (auto _ : State) {
    Store.LoadText(Text);
    benchmark::DoNotOptimize(Store.Lyric().Count());
  }
}
BENCHMARK(BM_ParseUnclosedTags200KB)->Unit(benchmark::kMillisecond);

void BM_ScanSameBytesForBrackets(benchmark::State& State) {
  const std::string Text = LongLrc(2000);
  for (auto _ : State) benchmark::DoNotOptimize(std::count(Text.begin(), Text.end(), '['));
  State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Text.size()));
}
BENCHMARK(BM_ScanSameBytesForBrackets)->Unit(benchmark::kMicrosecond);

void BM_WalkStore2000Lines(benchmark::State& State) {
  vemro::TLrcClass Store;
  Store.LoadText(LongLrc(2000));
  for (auto _ : State) {
    Store.SetPosition(1999 * 100);  // the last line: the whole list is walked
    benchmark::DoNotOptimize(Store.CurrentLine().size());
  }
}
BENCHMARK(BM_WalkStore2000Lines)->Unit(benchmark::kMicrosecond);

const vemro::test::TTempDir& LyricsFolder() {
  static vemro::test::TTempDir Dir;
  static bool Filled = [] {
    for (int K = 0; K < 10000; ++K)
      Dir.Write("歌曲 " + std::to_string(K) + " Singer " + std::to_string(K % 97) + ".lrc", "");
    return true;
  }();
  (void)Filled;
  return Dir;
}

// The song has no file: every name is scored.
void BM_FindLocalLrc10000Files(benchmark::State& State) {
  const std::string Folder = LyricsFolder().Path().string();
  for (auto _ : State)
    benchmark::DoNotOptimize(vemro::FindLocalLrc(Folder, "Not There", "Nobody").size());
}
BENCHMARK(BM_FindLocalLrc10000Files)->Unit(benchmark::kMillisecond);

void BM_ListSameFolder(benchmark::State& State) {
  const std::string Folder = LyricsFolder().Path().string();
  for (auto _ : State) {
    size_t Count = 0;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder))
      Count += Entry.path().filename().string().size();
    benchmark::DoNotOptimize(Count);
  }
}
BENCHMARK(BM_ListSameFolder)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
