// The audio library on its own: decoders, lengths and positions, the equalizer,
// bad input, network streams and tags.

#include "AudioFixtures.h"
#include "HttpTestServer.h"
#include "TempDir.h"
#include "audio/Bass.h"

#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace vemro {
namespace {

using test::MakeTone;
using test::TTempDir;
using test::TToneSpec;

class LibraryTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
  }
  void TearDown() override { BASS_Free(); }

  // Every frame of a decoding channel, stereo floats at 44100 Hz.
  static std::vector<float> DecodeAll(HSTREAM Stream) {
    std::vector<float> All;
    float Block[4096];
    DWORD Got;
    while ((Got = BASS_ChannelGetData(Stream, Block, sizeof Block)) != DWORD(-1))
      All.insert(All.end(), Block, Block + Got / sizeof(float));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    return All;
  }

  static HSTREAM OpenDecoding(const std::string& Path) {
    return BASS_StreamCreateFile(false, Path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  }

  static double Seconds(HSTREAM Stream) {
    return BASS_ChannelBytes2Seconds(Stream, BASS_ChannelGetLength(Stream, BASS_POS_BYTE));
  }

  TTempDir Dir;
};

// RMS of the left channel, skipping the filters' settling time.
double Rms(const std::vector<float>& Frames, size_t SkipFrames) {
  double Sum = 0;
  size_t N = 0;
  for (size_t I = SkipFrames * 2; I + 1 < Frames.size(); I += 2, ++N) Sum += Frames[I] * Frames[I];
  return N ? std::sqrt(Sum / N) : 0;
}

TEST_F(LibraryTest, EveryBuiltInFormatDecodesToItsLength) {
  // Lossy coders pad and trim a few frames; the length must still be the tone's.
  struct TCase {
    const char* Name;
    double Tolerance;
  } Cases[] = {{"a.wav", 0.001}, {"a.aif", 0.001}, {"a.aiff", 0.001}, {"a.ogg", 0.01},
               {"a.mp3", 0.03},  {"a.mp2", 0.03},  {"a.mp1", 0.01},   {"a.mod", 0.05}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Path = MakeTone(Dir, Case.Name, TToneSpec{.Seconds = 0.5});
    const HSTREAM Stream = OpenDecoding(Path);
    ASSERT_NE(Stream, 0u) << BASS_ErrorGetCode();
    const double Length = Seconds(Stream);
    EXPECT_NEAR(Length, 0.5, Case.Tolerance + 0.02);
    const auto Frames = DecodeAll(Stream);
    EXPECT_NEAR(Frames.size() / 2 / 44100.0, Length, 0.03);
    EXPECT_TRUE(BASS_StreamFree(Stream));
  }
}

TEST_F(LibraryTest, BytePositionsCountTheStreamsOwnSamples) {
  // One second of 22050 Hz mono is 44100 bytes and comes out resampled to 44100 Hz stereo.
  const std::string Path = MakeTone(Dir, "low.wav", TToneSpec{.Seconds = 1.0, .Rate = 22050, .Channels = 1});
  const HSTREAM Stream = OpenDecoding(Path);
  ASSERT_NE(Stream, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(Stream, BASS_POS_BYTE), 44100u);
  for (double S : {0.0, 0.25, 0.5, 0.999})
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(Stream, BASS_ChannelSeconds2Bytes(Stream, S)),
                     std::floor(S * 22050) / 22050);
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(Stream, 0.5), 22050u);
  const auto Frames = DecodeAll(Stream);
  EXPECT_NEAR(static_cast<double>(Frames.size() / 2), 44100.0, 64.0);

  ASSERT_TRUE(BASS_ChannelSetPosition(Stream, 22050, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ChannelGetPosition(Stream, BASS_POS_BYTE), 22050u);
  EXPECT_NEAR(static_cast<double>(DecodeAll(Stream).size() / 2), 22050.0, 64.0);
  EXPECT_FALSE(BASS_ChannelSetPosition(Stream, 44100 * 2, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
}

// The engine's ten bands, all flat but the ones given.
std::vector<HFX> TenBands(HSTREAM Stream, int Band, float Gain) {
  const float Centers[] = {80, 170, 310, 600, 1000, 3000, 6000, 10000, 12000, 14000};
  std::vector<HFX> Fx;
  for (int I = 0; I < 10; ++I) {
    Fx.push_back(BASS_ChannelSetFX(Stream, BASS_FX_DX8_PARAMEQ, 1));
    const BASS_DX8_PARAMEQ Params{Centers[I], 5.0f, I == Band ? Gain : 0.0f};
    EXPECT_TRUE(BASS_FXSetParameters(Fx.back(), &Params));
  }
  return Fx;
}

TEST_F(LibraryTest, EqualizerBandRaisesItsCentreByItsGain) {
  const std::string Path = MakeTone(Dir, "khz.wav", TToneSpec{.Seconds = 1.0, .Frequency = 1000, .Volume = 0.1});
  const HSTREAM Plain = OpenDecoding(Path);
  const double Before = Rms(DecodeAll(Plain), 4410);

  const HSTREAM Boosted = OpenDecoding(Path);
  const auto Fx = TenBands(Boosted, 4, 12.0f);
  BASS_DX8_PARAMEQ Read{};
  ASSERT_TRUE(BASS_FXGetParameters(Fx[4], &Read));
  EXPECT_EQ(Read.fGain, 12.0f);
  const double After = Rms(DecodeAll(Boosted), 4410);
  EXPECT_NEAR(20 * std::log10(After / Before), 12.0, 0.5);

  // A band an octave and more away leaves the tone nearly alone.
  const HSTREAM Far = OpenDecoding(Path);
  TenBands(Far, 7, 12.0f);
  EXPECT_NEAR(20 * std::log10(Rms(DecodeAll(Far), 4410) / Before), 0.0, 0.5);
}

TEST_F(LibraryTest, FlatEqualizerChangesNothing) {
  const std::string Path = MakeTone(Dir, "flat.mp3", TToneSpec{.Seconds = 0.5, .Frequency = 3000});
  const HSTREAM Plain = OpenDecoding(Path);
  const HSTREAM Flat = OpenDecoding(Path);
  TenBands(Flat, 0, 0.0f);
  EXPECT_EQ(DecodeAll(Plain), DecodeAll(Flat));
}

TEST_F(LibraryTest, RefusesEqualizerValuesOutOfRange) {
  const HSTREAM Stream = OpenDecoding(MakeTone(Dir, "a.wav"));
  const HFX Fx = BASS_ChannelSetFX(Stream, BASS_FX_DX8_PARAMEQ, 1);
  const BASS_DX8_PARAMEQ Good{1000, 5, 6};
  ASSERT_TRUE(BASS_FXSetParameters(Fx, &Good));
  for (const BASS_DX8_PARAMEQ& Bad :
       {BASS_DX8_PARAMEQ{1000, 5, 20}, BASS_DX8_PARAMEQ{30000, 5, 0}, BASS_DX8_PARAMEQ{1000, 0, 0}}) {
    EXPECT_FALSE(BASS_FXSetParameters(Fx, &Bad));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  }
  BASS_DX8_PARAMEQ Kept{};
  BASS_FXGetParameters(Fx, &Kept);
  EXPECT_EQ(Kept.fGain, 6.0f);
  EXPECT_EQ(BASS_ChannelSetFX(Stream, 3, 1), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
}

TEST_F(LibraryTest, BadInputFailsWithAnError) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "good.mp3"));
  std::string Random(64 * 1024, '\0');
  uint32_t Seed = 12345;
  for (char& C : Random) C = static_cast<char>((Seed = Seed * 1664525u + 1013904223u) >> 24);
  struct TCase {
    std::string Path;
    int Error;
  } Cases[] = {
      {Dir.Write("empty.mp3", ""), BASS_ERROR_FILEFORM},
      {Dir.Write("cut.mp3", Mp3.substr(0, 300)), BASS_ERROR_FILEFORM},
      {Dir.Write("random.mp3", Random), BASS_ERROR_FILEFORM},
      {Dir.Write("random.ogg", Random), BASS_ERROR_FILEFORM},
      {Dir.Write("text.wav", "not a sound at all\n"), BASS_ERROR_FILEFORM},
      {Dir.Path().string(), BASS_ERROR_FILEOPEN},
      {Dir.File("missing.mp3"), BASS_ERROR_FILEOPEN},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Path);
    EXPECT_EQ(BASS_StreamCreateFile(false, Case.Path.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), Case.Error);
  }
}

TEST_F(LibraryTest, StaleHandlesAreRefused) {
  const HSTREAM Stream = OpenDecoding(MakeTone(Dir, "a.wav"));
  ASSERT_TRUE(BASS_StreamFree(Stream));
  EXPECT_FALSE(BASS_StreamFree(Stream));
  EXPECT_FALSE(BASS_StreamFree(0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_EQ(BASS_ChannelGetPosition(Stream, BASS_POS_BYTE), QWORD(-1));
  EXPECT_LT(BASS_ChannelBytes2Seconds(Stream, 100), 0);
  EXPECT_FALSE(BASS_ChannelPlay(Stream, false));
}

TEST_F(LibraryTest, ErrorsArePerThread) {
  EXPECT_EQ(BASS_StreamCreateFile(false, Dir.File("missing.mp3").c_str(), 0, 0, 0), 0u);
  int Other = -100;
  std::thread([&] { Other = BASS_ErrorGetCode(); }).join();
  EXPECT_EQ(Other, BASS_OK);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

std::atomic<int> Ends{0};
void CountEnd(HSYNC, DWORD, DWORD, void*) { ++Ends; }

TEST_F(LibraryTest, PlayedStreamEndsOnceAndShowsItsRecentOutput) {
  Ends = 0;
  const HSTREAM Stream =
      BASS_StreamCreateFile(false, MakeTone(Dir, "p.wav", TToneSpec{.Seconds = 0.6}).c_str(), 0, 0, 0);
  ASSERT_NE(Stream, 0u);
  ASSERT_NE(BASS_ChannelSetSync(Stream, BASS_SYNC_END, 0, &CountEnd, nullptr), 0u);
  ASSERT_TRUE(BASS_ChannelPlay(Stream, false));
  int16_t Wave[1024] = {};
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int Loudest = 0;
  while (Ends == 0 && std::chrono::steady_clock::now() < Deadline) {
    ASSERT_EQ(BASS_ChannelGetData(Stream, Wave, 2048), 2048u);
    for (int16_t S : Wave) Loudest = std::max(Loudest, std::abs(static_cast<int>(S)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(Ends, 1);
  EXPECT_GT(Loudest, 32767 / 4);
  EXPECT_EQ(BASS_ChannelIsActive(Stream), BASS_ACTIVE_STOPPED);
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(Stream, BASS_ChannelGetPosition(Stream, BASS_POS_BYTE)), 0.6, 0.01);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Ends, 1);
}

// ---- network streams ----

struct TDownloads {
  std::mutex Lock;
  std::string Bytes;
  int Blocks = 0;
  int Ends = 0;
};

void Collect(const void* Buffer, DWORD Length, void* User) {
  auto& D = *static_cast<TDownloads*>(User);
  std::lock_guard Guard(D.Lock);
  if (!Buffer) ++D.Ends;
  else {
    D.Bytes.append(static_cast<const char*>(Buffer), Length);
    ++D.Blocks;
  }
}

bool WaitUntil(const std::function<bool()>& Done) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!Done() && std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return Done();
}

TEST_F(LibraryTest, UrlStreamHandsEveryBlockToTheDownloadProcedure) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "net.mp3", TToneSpec{.Seconds = 1.0}));
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.ContentType = "audio/mpeg"; R.Body = Mp3; R.ChunkBytes = 2000; R.ChunkDelayMs = 5; });
  BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
  TDownloads D;
  const HSTREAM Stream = BASS_StreamCreateURL((Server->BaseUrl() + "/song.mp3").c_str(), 0, BASS_STREAM_DECODE,
                                              &Collect, &D);
  ASSERT_NE(Stream, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_StreamGetFilePosition(Stream, BASS_FILEPOS_END), Mp3.size());
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard Guard(D.Lock);
    return D.Ends > 0;
  }));
  std::lock_guard Guard(D.Lock);
  EXPECT_EQ(D.Bytes, Mp3);
  EXPECT_GT(D.Blocks, 1);
  EXPECT_EQ(D.Ends, 1);
  EXPECT_EQ(BASS_StreamGetFilePosition(Stream, BASS_FILEPOS_DOWNLOAD), Mp3.size());
  // Everything has arrived, so every position can be reached.
  EXPECT_TRUE(BASS_ChannelSetPosition(Stream, BASS_ChannelSeconds2Bytes(Stream, 0.5), BASS_POS_BYTE));
  BASS_StreamFree(Stream);
}

// A stream freed half way: its procedure hears nothing more, and no end that would
// pass the torn-off download for a complete one.
TEST_F(LibraryTest, FreeingAUrlStreamEndsItsDownloadCalls) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "net.mp3", TToneSpec{.Seconds = 4.0}));
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.Body = Mp3; R.ChunkBytes = 1000; R.ChunkDelayMs = 20; });
  BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
  TDownloads D;
  const HSTREAM Stream = BASS_StreamCreateURL((Server->BaseUrl() + "/song.mp3").c_str(), 0, BASS_STREAM_DECODE,
                                              &Collect, &D);
  ASSERT_NE(Stream, 0u) << BASS_ErrorGetCode();
  ASSERT_TRUE(BASS_StreamFree(Stream));
  const size_t AtFree = [&] {
    std::lock_guard Guard(D.Lock);
    return D.Bytes.size();
  }();
  ASSERT_LT(AtFree, Mp3.size());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::lock_guard Guard(D.Lock);
  EXPECT_EQ(D.Bytes.size(), AtFree);
  EXPECT_EQ(D.Ends, 0);
}

TEST_F(LibraryTest, UrlStreamSeeksOnlyWithinWhatHasArrived) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "net.mp3", TToneSpec{.Seconds = 4.0}));
  // The rest never comes while the test runs.
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.Body = Mp3; R.ChunkBytes = Mp3.size() / 4; R.ChunkDelayMs = 60000; });
  BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
  const HSTREAM Stream = BASS_StreamCreateURL((Server->BaseUrl() + "/a.mp3").c_str(), 0, BASS_STREAM_DECODE,
                                              nullptr, nullptr);
  ASSERT_NE(Stream, 0u) << BASS_ErrorGetCode();
  EXPECT_TRUE(BASS_ChannelSetPosition(Stream, BASS_ChannelSeconds2Bytes(Stream, 0.2), BASS_POS_BYTE));
  EXPECT_FALSE(BASS_ChannelSetPosition(Stream, BASS_ChannelSeconds2Bytes(Stream, 3.5), BASS_POS_BYTE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
  Server->Stop();
  BASS_StreamFree(Stream);
}

TEST_F(LibraryTest, UrlStreamWaitsForItsPreBuffer) {
  // 4 s at 128 kbit/s: half of a 5 s buffer is 2.5 s, about 40 000 bytes.
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "net.mp3", TToneSpec{.Seconds = 4.0}));
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.Body = Mp3; R.ChunkBytes = 4000; R.ChunkDelayMs = 20; });
  BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 50);
  const HSTREAM Stream = BASS_StreamCreateURL((Server->BaseUrl() + "/a.mp3").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(Stream, 0u) << BASS_ErrorGetCode();
  EXPECT_GE(BASS_StreamGetFilePosition(Stream, BASS_FILEPOS_DOWNLOAD), Mp3.size() * 5 / 2 / 4 / 2);
  BASS_StreamFree(Stream);
}

TEST_F(LibraryTest, EndlessStreamHasNoTotalSize) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "radio.mp3", TToneSpec{.Seconds = 1.0}));
  auto Server = test::ServeAlways([&](test::THttpResponse& R) { R.Body = Mp3; R.ChunkBytes = 4096; R.ChunkDelayMs = 20; R.Endless = true; });
  const HSTREAM Stream = BASS_StreamCreateURL((Server->BaseUrl() + "/live").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(Stream, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_StreamGetFilePosition(Stream, BASS_FILEPOS_END), 0u);
  EXPECT_TRUE(BASS_StreamFree(Stream));
  Server->Stop();
}

TEST_F(LibraryTest, PlaylistUrlsLeadToTheirFirstEntry) {
  const std::string Mp3 = test::ReadFileBytes(MakeTone(Dir, "entry.mp3"));
  test::THttpTestServer Server([&](const test::THttpRequest& Request) {
    test::THttpResponse R;
    if (Request.Path == "/list.pls") R.Body = "[playlist]\nNumberOfEntries=2\nFile1=first.mp3\nTitle1=x\nFile2=/other.mp3\n";
    else if (Request.Path == "/list.m3u8") R.Body = "#EXTM3U\n#EXTINF:-1,x\n/first.mp3\n/other.mp3\n";
    else if (Request.Path == "/first.mp3") R.Body = Mp3;
    else R.Status = 404;
    return R;
  });
  BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
  for (const char* List : {"/list.pls", "/list.m3u8"}) {
    SCOPED_TRACE(List);
    const HSTREAM Stream = BASS_StreamCreateURL((Server.BaseUrl() + List).c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(Stream, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_StreamGetFilePosition(Stream, BASS_FILEPOS_END), Mp3.size());
    BASS_StreamFree(Stream);
  }
  EXPECT_EQ(Server.Requests().back().Path, "/first.mp3");
}

TEST_F(LibraryTest, UrlFailuresEndInAnErrorWithinTheTimeout) {
  test::THttpTestServer Server([](const test::THttpRequest& Request) {
    test::THttpResponse R;
    if (Request.Path == "/silent") R.NeverAnswer = true;
    else if (Request.Path == "/missing") R.Status = 404;
    else R.Body = "<html>not sound</html>";
    return R;
  });
  BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 500);
  struct TCase {
    std::string Url;
    int Error;
  } Cases[] = {
      {"http://127.0.0.1:" + std::to_string(test::THttpTestServer::UnusedPort()) + "/a.mp3", BASS_ERROR_NONET},
      {Server.BaseUrl() + "/silent", BASS_ERROR_TIMEOUT},
      {Server.BaseUrl() + "/missing", BASS_ERROR_FILEOPEN},
      {Server.BaseUrl() + "/page.mp3", BASS_ERROR_FILEFORM},
      {"not a url", BASS_ERROR_FILEOPEN},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Url);
    EXPECT_EQ(BASS_StreamCreateURL(Case.Url.c_str(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), Case.Error);
  }
  Server.Stop();
}

// ---- tags ----

std::string WithId3v2(const TTempDir& Dir, const std::string& Name, const TagLib::ByteVector& TitleBytes,
                      TagLib::String::Type Encoding) {
  const std::string Path = MakeTone(Dir, Name);
  TagLib::MPEG::File File(Path.c_str());
  auto* Tag = File.ID3v2Tag(true);
  auto* Frame = new TagLib::ID3v2::TextIdentificationFrame("TIT2", Encoding);
  Frame->setText(TagLib::String(TitleBytes, TagLib::String::Latin1));
  Tag->addFrame(Frame);
  Tag->setArtist("Singer");
  Tag->setAlbum("Album");
  File.save(TagLib::MPEG::File::ID3v2);
  return Path;
}

TEST_F(LibraryTest, TagsDecodeGbkHiddenInLatin1Frames) {
  struct TCase {
    const char* Bytes;
    const char* Expected;
  } Cases[] = {
      {"\xC4\xE3\xBA\xC3", "你好"},  // GBK bytes in a Latin-1 frame
      {"Caf\xE9 No\xEBl", "Café Noël"},  // real Latin-1 stays Latin-1
      {"plain", "plain"},
  };
  int N = 0;
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Expected);
    const std::string Path = WithId3v2(Dir, "t" + std::to_string(N++) + ".mp3", TagLib::ByteVector(Case.Bytes),
                                       TagLib::String::Latin1);
    const HSTREAM Stream = OpenDecoding(Path);
    ASSERT_NE(Stream, 0u);
    EXPECT_STREQ(TAGS_Read(Stream, "%TITL"), Case.Expected);
    EXPECT_STREQ(TAGS_Read(Stream, "%ARTI"), "Singer");
    EXPECT_STREQ(TAGS_Read(Stream, "%ALBM"), "Album");
    BASS_StreamFree(Stream);
  }
  EXPECT_STREQ(TAGS_Read(12345, "%TITL"), "");
}

}  // namespace
}  // namespace vemro
