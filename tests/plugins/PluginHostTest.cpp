#include "plugins/UPluginFramework.h"

#include "TempDir.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace vemro {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A program folder whose plugins/ holds copies of the built test plug-ins, and a
// log that every test plug-in appends its messages to.
class PluginHostTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(Folder());
    setenv("VEMRO_TEST_PLUGIN_LOG", Dir.File("log").c_str(), 1);
    setenv("VEMRO_SAMPLE_PLUGIN_LOG", Dir.File("log").c_str(), 1);
  }

  std::string Folder() const { return Dir.File("plugins"); }
  std::string InFolder(const std::string& Name) const { return Folder() + "/" + Name; }

  // Copies the built plug-in Plugin into plugins/ as Name.
  std::string Install(const std::string& Plugin, const std::string& Name) const {
    fs::copy_file(std::string(VEMRO_TEST_PLUGIN_DIR) + "/" + Plugin + ".so", InFolder(Name));
    return InFolder(Name);
  }

  std::vector<std::string> Log() const {
    std::istringstream Text(test::ReadFileBytes(Dir.File("log")));
    std::vector<std::string> Lines;
    for (std::string Line; std::getline(Text, Line);) Lines.push_back(Line);
    return Lines;
  }

  static bool IsMapped(const std::string& FileName) {
    void* Handle = dlopen(FileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (Handle) dlclose(Handle);
    return Handle != nullptr;
  }

  test::TTempDir Dir;
};

TEST_F(PluginHostTest, KeepsTheValidPluginAndUnloadsTheLibraryWithoutTheExport) {
  std::string Sample = Install("sample", "a.so");
  std::string NoExport = Install("no_export", "b.so");
  {
    TUSGeneralPurpose Host(0, Folder());
    ASSERT_EQ(Host.Count(), 1);
    EXPECT_NE(Host.Plugin(0), nullptr);
    EXPECT_TRUE(IsMapped(Sample));
    EXPECT_FALSE(IsMapped(NoExport));
    EXPECT_THAT(Log(), ElementsAre("100 accepted"));
  }
  EXPECT_THAT(Log(), ElementsAre("100 accepted", "101 unloading"));
  EXPECT_FALSE(IsMapped(Sample));
}

TEST_F(PluginHostTest, RefusesWhatIsNotAPluginOfThisInterface) {
  TUSGeneralPurpose Host(0, "");
  for (const char* Plugin : {"no_export", "wrong_version", "wrong_interface", "null_record",
                             "info_throws"}) {
    SCOPED_TRACE(Plugin);
    std::string File = Install(Plugin, std::string(Plugin) + ".so");
    EXPECT_FALSE(Host.LoadPlugin(File));
    EXPECT_FALSE(IsMapped(File));
  }
  Dir.Write("plugins/text.so", "not a library");
  fs::create_directories(InFolder("folder.so"));
  for (const std::string& File : {InFolder("text.so"), InFolder("folder.so"), InFolder("missing.so"),
                                  std::string()}) {
    SCOPED_TRACE(File);
    EXPECT_FALSE(Host.LoadPlugin(File));
  }
  EXPECT_EQ(Host.Count(), 0);
  EXPECT_THAT(Log(), IsEmpty());
}

TEST_F(PluginHostTest, TheSameLibraryUnderTwoNamesIsLoadedOnce) {
  std::string Sample = Install("sample", "a.so");
  fs::create_hard_link(Sample, InFolder("b.so"));
  fs::create_symlink(Sample, InFolder("c.so"));
  TUSGeneralPurpose Host(0, Folder());
  EXPECT_EQ(Host.Count(), 1);
  EXPECT_FALSE(Host.LoadPlugin(Sample));
  EXPECT_EQ(Host.Count(), 1);
  EXPECT_THAT(Log(), ElementsAre("100 accepted"));
}

TEST_F(PluginHostTest, NotifyAnswersWithTheLastPluginThatAnswered) {
  TUSGeneralPurpose Host(0, "");
  EXPECT_EQ(Host.Notify(108, nullptr, 0), 1);

  ASSERT_TRUE(Host.LoadPlugin(Install("answer5", "1.so")));
  ASSERT_TRUE(Host.LoadPlugin(Install("answer7", "2.so")));
  EXPECT_EQ(Host.Notify(109, nullptr, 0), 7);
  ASSERT_TRUE(Host.LoadPlugin(Install("throwing", "3.so")));
  ASSERT_TRUE(Host.LoadPlugin(Install("answer5", "4.so")));
  // The throwing plug-in keeps 7 as the answer; the one after it still hears.
  EXPECT_EQ(Host.Notify(108, nullptr, 0), 5);
  EXPECT_THAT(Log(), ElementsAre("answer5 100", "answer7 100", "answer5 109", "answer7 109",
                                 "throwing 100", "answer5 100", "answer5 108", "answer7 108",
                                 "throwing 108", "answer5 108"));
}

TEST_F(PluginHostTest, APluginThatThrowsOnEveryMessageIsKeptAndUnloaded) {
  std::string Throwing = Install("throwing", "a.so");
  {
    TUSGeneralPurpose Host(0, Folder());
    ASSERT_EQ(Host.Count(), 1);
    EXPECT_EQ(Host.Notify(108, nullptr, 0), 1);
  }
  EXPECT_THAT(Log(), ElementsAre("throwing 100", "throwing 108", "throwing 101"));
  EXPECT_FALSE(IsMapped(Throwing));
}

TEST_F(PluginHostTest, APluginWithoutProcedureIsAcceptedAndHearsNothing) {
  Install("null_proc", "a.so");
  Install("answer5", "b.so");
  TUSGeneralPurpose Host(0, Folder());
  ASSERT_EQ(Host.Count(), 2);
  EXPECT_EQ(Host.Plugin(0)->Proc, nullptr);
  EXPECT_EQ(Host.Notify(108, nullptr, 0), 5);
  EXPECT_THAT(Log(), ElementsAre("answer5 100", "answer5 108"));
}

TEST_F(PluginHostTest, TheSixtyFifthPluginIsRefused) {
  for (int Index = 0; Index < 65; ++Index) Install("sample", "p" + std::to_string(100 + Index) + ".so");
  TUSGeneralPurpose Host(0, Folder());
  EXPECT_EQ(Host.Count(), TUSGeneralPurpose::kMaxPlugins);
  EXPECT_FALSE(IsMapped(InFolder("p164.so")));
  EXPECT_TRUE(IsMapped(InFolder("p163.so")));
  EXPECT_EQ(Log().size(), 64u);
}

TEST_F(PluginHostTest, UnloadingOneEntryLeavesItCountedButSilent) {
  Install("answer5", "a.so");
  Install("answer7", "b.so");
  TUSGeneralPurpose Host(0, Folder());
  Host.UnloadPlugin(1);
  Host.UnloadPlugin(2);  // beyond the table: nothing
  EXPECT_EQ(Host.Count(), 2);
  EXPECT_EQ(Host.Plugin(1), nullptr);
  EXPECT_EQ(Host.Notify(108, nullptr, 0), 5);
  Host.UnloadAll();
  EXPECT_EQ(Host.Count(), 0);
  EXPECT_THAT(Log(), ElementsAre("answer5 100", "answer7 100", "answer7 101", "answer5 108",
                                 "answer5 101"));
}

TEST_F(PluginHostTest, TrackNotificationsCarryTheEntry) {
  Install("sample", "a.so");
  TUSGeneralPurpose Host(0, Folder());
  Host.NotifyTrack(108, "/音乐/歌.mp3", "月亮代表我的心", "邓丽君", 3000 / 86400000.0);
  Host.NotifyTrack(109, "http://example.com/s.mp3", "", "", 0);
  EXPECT_THAT(Log(), ElementsAre("100 accepted",
                                 "108 started 0.000034722|月亮代表我的心|邓丽君|/音乐/歌.mp3",
                                 "109 ended 0.000000000|||http://example.com/s.mp3"));
}

TEST_F(PluginHostTest, AMissingFolderGivesAnEmptyTable) {
  TUSGeneralPurpose Host(0, Dir.File("nowhere"));
  EXPECT_EQ(Host.Count(), 0);
  EXPECT_EQ(Host.Plugin(0), nullptr);
}

}  // namespace
}  // namespace vemro
