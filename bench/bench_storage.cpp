// Saving and loading a 10,000-entry playlist and reading the settings at start, beside the
// bare costs underneath them: libxml2 parsing the same file, and writing its bytes atomically.

#include "function/SafeFiles.h"
#include "main/Settings.h"
#include "storage/PlaylistFile.h"
#include "ScopedEnv.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <string>

namespace {

using namespace vemro;

constexpr int Entries = 10000;

std::string EntryTitle(int I) { return "\xE6\xAD\x8C\xE6\x9B\xB2 " + std::to_string(I) + " Song title"; }

void SavePlaylist(const std::string& File) {
  TPlaylistFile List(File, "DefaultList");
  List.ClearList("PlayerList");
  for (int I = 0; I < Entries; ++I)
    List.AddItem("PlayerList/LIST", EntryTitle(I), "\xE6\xAD\x8C\xE6\x89\x8B Singer", "0",
                 "/home/user/Music/Album " + std::to_string(I / 12) + "/" + std::to_string(I) + ".mp3", 0);
  List.Save();
}

void BM_SavePlaylist10k(benchmark::State& State) {
  test::TTempDir Dir;
  const std::string File = Dir.File("Default.pls");
  for (auto _ : State) SavePlaylist(File);
}
BENCHMARK(BM_SavePlaylist10k)->Unit(benchmark::kMillisecond);

void BM_LoadPlaylist10k(benchmark::State& State) {
  test::TTempDir Dir;
  const std::string File = Dir.File("Default.pls");
  SavePlaylist(File);
  for (auto _ : State) {
    TPlaylistFile List(File, "DefaultList");
    List.LoadItems("PlayerList");
    benchmark::DoNotOptimize(List.Items(Entries - 1));
  }
}
BENCHMARK(BM_LoadPlaylist10k)->Unit(benchmark::kMillisecond);

void BM_PeerLibxmlParse10k(benchmark::State& State) {
  test::TTempDir Dir;
  const std::string File = Dir.File("Default.pls");
  SavePlaylist(File);
  for (auto _ : State) xmlFreeDoc(xmlReadFile(File.c_str(), nullptr, XML_PARSE_NOBLANKS));
}
BENCHMARK(BM_PeerLibxmlParse10k)->Unit(benchmark::kMillisecond);

void BM_PeerWriteAtomically10k(benchmark::State& State) {
  test::TTempDir Dir;
  const std::string File = Dir.File("Default.pls");
  SavePlaylist(File);
  const std::string Bytes = test::ReadFileBytes(File);
  for (auto _ : State) WriteFileAtomically(File, Bytes);
}
BENCHMARK(BM_PeerWriteAtomically10k)->Unit(benchmark::kMillisecond);

void BM_ReadSettings(benchmark::State& State) {
  test::TTempDir Home;
  const test::TScopedEnv HomeEnv("HOME", Home.Path().string());
  const test::TScopedEnv ConfigEnv("XDG_CONFIG_HOME", Home.File(".config"));
  const std::string Data = Home.File("Documents/vemro/");
  TSettings Saved = ReadSettings(Data);
  Saved.Volume = 40;
  SaveSettings(Data, Saved);  // a full file; AutoRun on, so every reading rewrites the autostart entry
  for (auto _ : State) benchmark::DoNotOptimize(ReadSettings(Data));
}
BENCHMARK(BM_ReadSettings)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
