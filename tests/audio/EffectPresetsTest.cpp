// Reading "effect.dat": the names for the sound-effect box and applying a preset.

#include "audio/EffectPresets.h"

#include "AudioFixtures.h"
#include "TempDir.h"
#include "VirtualDispatcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace vemro {
namespace {

std::string Preset(const std::string& Id, const std::string& Name, int Gain, const std::string& Tag = "eq") {
  std::string Text = "<" + Tag + " name=\"" + Name + "\" id=\"" + Id + "\"";
  for (int Band = 1; Band <= 10; ++Band) Text += " q" + std::to_string(Band) + "=\"" + std::to_string(Gain * Band) + "\"";
  return Text + "/>";
}

TEqGains Ramp(int Gain) {
  TEqGains Gains{};
  for (int Band = 0; Band < 10; ++Band) Gains[Band] = Gain * (Band + 1);
  return Gains;
}

class EffectPresetsTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::UseDummyAudioDriver();
    Engine = std::make_unique<TAudioEngine>(Ui, nullptr, Dir.Path().string() + "/");
  }
  TEffectPresets With(const std::string& Text) { return TEffectPresets(*Engine, Dir.Write("effect.dat", Text)); }

  test::TVirtualDispatcher Ui;
  test::TTempDir Dir;
  std::unique_ptr<TAudioEngine> Engine;
};

TEST_F(EffectPresetsTest, ListsEveryEqTagInFileOrder) {
  auto Presets = With("<?xml version=\"1.0\"?><all>" + Preset("0", "平坦", 0) + "<group>" + Preset("1", "摇滚", 1, "EQ") +
                      "</group><eq name=\"split\" id=\"2\"></eq>" + Preset("3", "人声", 1, "Eq") + "</all>");
  // The separate end tag counts as a tag of its own, without a name.
  EXPECT_EQ(Presets.LoadEffectPresets(), (std::vector<std::string>{"平坦", "摇滚", "split", "", "人声"}));
}

TEST_F(EffectPresetsTest, ReadsGbkFilesDeclaredAsGb2312) {
  auto Presets = With("<?xml version=\"1.0\" encoding=\"GB2312\"?><all><eq name=\"\xC1\xF7\xD0\xD0\" id=\"0\"/></all>");
  EXPECT_EQ(Presets.LoadEffectPresets(), std::vector<std::string>{"流行"});
}

TEST_F(EffectPresetsTest, AppliesThePresetOfTheIdAndTheLastOneWins) {
  auto Presets = With("<all>" + Preset("0", "a", 0) + Preset("1", "b", 1) + Preset("2", "c", -1) + Preset("1", "d", 2) +
                      "</all>");
  EXPECT_EQ(Presets.ApplyEffectPreset(2, true), TPresetResult::Applied);
  EXPECT_EQ(Engine->EqGains(), Ramp(-1));
  EXPECT_EQ(Presets.ApplyEffectPreset(1, true), TPresetResult::Applied);
  EXPECT_EQ(Engine->EqGains(), Ramp(2));
  for (int Missing : {-1, 7}) {
    EXPECT_EQ(Presets.ApplyEffectPreset(Missing, true), TPresetResult::NotFound);
    EXPECT_EQ(Engine->EqGains(), Ramp(2));
  }
  EXPECT_EQ(Presets.ApplyEffectPreset(0, true), TPresetResult::Applied);
  EXPECT_EQ(Engine->EqGains(), TEqGains{});
  Engine->SetEqualizer(Ramp(1));
  EXPECT_EQ(Presets.ApplyEffectPreset(1, false), TPresetResult::Reset);
  EXPECT_EQ(Engine->EqGains(), TEqGains{});
}

TEST_F(EffectPresetsTest, ConversionErrorsStopThePreset) {
  struct TCase {
    std::string Text;
    const char* Why;
  } Cases[] = {
      {"<all><eq name=\"x\" id=\"one\"/>" + Preset("1", "b", 1) + "</all>", "an id that is no integer comes first"},
      {"<all><eq name=\"x\"/>" + Preset("1", "b", 1) + "</all>", "an id is absent before the match"},
      {"<all><eq name=\"x\" id=\"1\" q1=\"1\" q2=\"2.5\"/></all>", "a gain is no integer"},
      {"<all><eq name=\"x\" id=\"1\" q1=\"1\"/></all>", "gains are missing"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Why);
    Engine->SetEqualizer(Ramp(-1));
    EXPECT_EQ(With(Case.Text).ApplyEffectPreset(1, true), TPresetResult::ConversionError);
    EXPECT_EQ(Engine->EqGains(), Ramp(-1));
  }
}

TEST_F(EffectPresetsTest, MissingOrBrokenFilesGiveNothing) {
  TEffectPresets Missing(*Engine, Dir.File("none.dat"));
  EXPECT_TRUE(Missing.LoadEffectPresets().empty());
  EXPECT_EQ(Missing.ApplyEffectPreset(0, true), TPresetResult::NotFound);
  // What stands before the break still counts.
  auto Broken = With("<all>" + Preset("0", "a", 1) + "<eq id=\"1\" <<<");
  EXPECT_EQ(Broken.LoadEffectPresets(), std::vector<std::string>{"a"});
  EXPECT_EQ(Broken.ApplyEffectPreset(0, true), TPresetResult::Applied);
}

TEST_F(EffectPresetsTest, ShippedPresetsAreFlatFirstThenTheFamiliarOnes) {
  const char* ProgramDir = std::getenv("VEMRO_PROGRAM_DIR");
  ASSERT_NE(ProgramDir, nullptr);
  TEffectPresets Shipped(*Engine, std::string(ProgramDir) + "/effect.dat");
  const auto Names = Shipped.LoadEffectPresets();
  ASSERT_GE(Names.size(), 9u);
  for (const char* Wanted : {"流行", "摇滚", "爵士", "古典", "舞曲", "重低音", "人声", "柔和"})
    EXPECT_EQ(std::set<std::string>(Names.begin(), Names.end()).count(Wanted), 1u) << Wanted;
  for (int32_t Id = 0; Id < static_cast<int32_t>(Names.size()); ++Id) {
    SCOPED_TRACE(Names[Id]);
    ASSERT_EQ(Shipped.ApplyEffectPreset(Id, true), TPresetResult::Applied);
    for (int32_t Gain : Engine->EqGains()) EXPECT_LE(std::abs(Gain), 12);
    if (Id == 0) EXPECT_EQ(Engine->EqGains(), TEqGains{});
    else EXPECT_NE(Engine->EqGains(), TEqGains{});
  }
}

}  // namespace
}  // namespace vemro
