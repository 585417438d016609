#include "storage/PlaylistFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vemro {
namespace {

using test::ReadFileBytes;
using test::TTempDir;

struct TEntry {
  std::string Title, Singer, Path;
};

void SavePlaylist(const std::string& File, const std::vector<TEntry>& Entries) {
  TPlaylistFile List(File, "DefaultList");
  List.ClearList("PlayerList");
  for (const auto& E : Entries) List.AddItem("PlayerList/LIST", E.Title, E.Singer, "0", E.Path, 0);
  List.Save();
}

std::vector<TEntry> LoadPlaylist(const std::string& File) {
  TPlaylistFile List(File, "DefaultList");
  List.LoadItems("PlayerList");
  std::vector<TEntry> Entries;
  for (int32_t I = 0; I < List.Count(); ++I)
    Entries.push_back({List.Items(I)->Title, List.Items(I)->Artist, List.Items(I)->Path});
  return Entries;
}

bool operator==(const TEntry& A, const TEntry& B) {
  return A.Title == B.Title && A.Singer == B.Singer && A.Path == B.Path;
}

TEST(PlaylistFile, SavesEntriesInListOrderWithTheirAttributesInOrder) {
  TTempDir Dir;
  const std::string File = Dir.File("Default.pls");
  SavePlaylist(File, {{"One", "A", "/m/1.mp3"}, {"Two", "B & C", "/m/2.ogg"}, {"Three", "", "http://r/3"}});
  EXPECT_EQ(ReadFileBytes(File),
            "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n"
            "<DefaultList>\n"
            "  <PlayerList>\n"
            "    <LIST Path=\"/m/1.mp3\" Title=\"One\" Artist=\"A\" Url=\"0\" Ltime=\"0\"/>\n"
            "    <LIST Path=\"/m/2.ogg\" Title=\"Two\" Artist=\"B &amp; C\" Url=\"0\" Ltime=\"0\"/>\n"
            "    <LIST Path=\"http://r/3\" Title=\"Three\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>\n"
            "  </PlayerList>\n"
            "</DefaultList>\n");
  TPlaylistFile List(File, "DefaultList");
  List.LoadItems("PlayerList");
  ASSERT_EQ(List.Count(), 3);
  EXPECT_EQ(List.Items(1)->Artist, "B & C");
  EXPECT_EQ(List.Items(1)->Url, "0");
  EXPECT_EQ(List.Items(1)->Ltime, 0.0);
  EXPECT_EQ(List.Items(-1), nullptr);
  EXPECT_EQ(List.Items(3), nullptr);
  EXPECT_FALSE(List.Modified());
}

TEST(PlaylistFile, RewritingReplacesTheEntriesAndKeepsTheRest) {
  TTempDir Dir;
  const std::string File = Dir.Write("Default.pls",
                                     "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n"
                                     "<MyRoot><Other keep=\"1\"/><PlayerList>"
                                     "<LIST Path=\"/a\" Title=\"a\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>"
                                     "</PlayerList><PlayerList><LIST Path=\"/second\" Ltime=\"0\"/></PlayerList></MyRoot>");
  SavePlaylist(File, {{"New", "N", "/n"}});
  EXPECT_EQ(LoadPlaylist(File), (std::vector<TEntry>{{"New", "N", "/n"}}));
  SavePlaylist(File, {});
  const std::string Text = ReadFileBytes(File);
  EXPECT_NE(Text.find("<MyRoot>\n  <Other keep=\"1\"/>\n  <PlayerList/>\n  <PlayerList>"), std::string::npos);
  EXPECT_NE(Text.find("/second"), std::string::npos);
  EXPECT_TRUE(LoadPlaylist(File).empty());
}

TEST(PlaylistFile, LoadsEveryChildElementWhateverItsName) {
  TTempDir Dir;
  const std::string File = Dir.Write("Default.pls",
                                     "<DefaultList><PlayerList>\n"
                                     "  <ITEM Path=\"/1\" Title=\"t1\" Ltime=\"0\"/>\n"
                                     "  <!-- a comment -->\n"
                                     "  <Song Path=\"/2\" Artist=\"s2\" Ltime=\"1.5\" Url=\"u\"/>\n"
                                     "</PlayerList></DefaultList>");
  TPlaylistFile List(File, "DefaultList");
  List.LoadItems("PlayerList");
  List.LoadItems("PlayerList");  // appends again
  ASSERT_EQ(List.Count(), 4);
  EXPECT_EQ(List.Items(0)->Title, "t1");
  EXPECT_EQ(List.Items(0)->Artist, "");
  EXPECT_EQ(List.Items(1)->Path, "/2");
  EXPECT_EQ(List.Items(1)->Url, "u");
  EXPECT_EQ(List.Items(1)->Ltime, 1.5);
  EXPECT_EQ(List.Items(3)->Path, "/2");
  List.ClearItems();
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(List.Items(0), nullptr);
}

TEST(PlaylistFile, AnEntryWithoutANumericLtimeStopsTheLoadKeepingThoseBefore) {
  TTempDir Dir;
  for (const std::string Bad : {"", " Ltime=\"\"", " Ltime=\"zero\"", " Ltime=\"1.5s\""}) {
    const std::string File = Dir.Write("Default.pls",
                                       "<DefaultList><PlayerList>"
                                       "<LIST Path=\"/1\" Ltime=\"0\"/><LIST Path=\"/2\"" + Bad + "/>"
                                       "<LIST Path=\"/3\" Ltime=\"0\"/></PlayerList></DefaultList>");
    TPlaylistFile List(File, "DefaultList");
    EXPECT_THROW(List.LoadItems("PlayerList"), TXmlConversionError) << Bad;
    ASSERT_EQ(List.Count(), 1);
    EXPECT_EQ(List.Items(0)->Path, "/1");
  }
  static_assert(std::is_base_of_v<std::runtime_error, TXmlConversionError>);
}

TEST(PlaylistFile, MissingFileOrListLoadsNothing) {
  TTempDir Dir;
  const std::string Missing = Dir.File("Default.pls");
  EXPECT_TRUE(LoadPlaylist(Missing).empty());
  EXPECT_FALSE(std::filesystem::exists(Missing));

  const std::string Bare = Dir.Write("Bare.pls", "<DefaultList/>");
  EXPECT_TRUE(LoadPlaylist(Bare).empty());
  {
    TPlaylistFile List(Bare, "DefaultList");
    List.ClearList("PlayerList");  // nothing to clear, but the file is written
    EXPECT_TRUE(List.Modified());
  }
  EXPECT_EQ(ReadFileBytes(Bare), "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<DefaultList/>\n");
  EXPECT_THROW(TPlaylistFile(Dir.Write("Broken.pls", "<DefaultList><PlayerList>"), "DefaultList"), TXmlParseError);
}

TEST(PlaylistFile, KeepsTitlesGb2312CannotHoldAndOddValues) {
  TTempDir Dir;
  const std::string File = Dir.File("Default.pls");
  const std::vector<TEntry> Entries = {
      {"\xE9\x84\xA7\xE9\xBA\x97\xE5\x90\x9B \xF0\x9F\x8E\xB5", "\xED\x85\x8C\xEC\x8A\xA4\xED\x8A\xB8", "/m/\xE6\xAD\x8C.mp3"},
      {"<\"quoted\" & 'apostrophe'>", "tab\there", "/m/line\nbreak.mp3"},
  };
  SavePlaylist(File, Entries);
  EXPECT_EQ(LoadPlaylist(File), Entries);
  {
    TPlaylistFile List(File, "DefaultList");
    List.AddItem("PlayerList/LIST", "t", "s", "x", "/p", 0.25);
  }
  TPlaylistFile List(File, "DefaultList");
  List.LoadItems("PlayerList");
  ASSERT_EQ(List.Count(), 3);
  EXPECT_EQ(List.Items(2)->Ltime, 0.25);
}

TEST(PlaylistFile, AFailedSaveKeepsTheOldFile) {
  TTempDir Dir;
  const std::string File = Dir.File("Default.pls");
  SavePlaylist(File, {{"Old", "O", "/o"}});
  const std::string Before = ReadFileBytes(File);
  std::filesystem::rename(Dir.Path(), Dir.Path().string() + ".moved");
  TPlaylistFile List(File, "DefaultList");
  List.ClearList("PlayerList");
  List.AddItem("PlayerList/LIST", "New", "N", "0", "/n", 0);
  EXPECT_THROW(List.Save(), TXmlSaveError);
  EXPECT_TRUE(List.Modified());
  std::filesystem::rename(Dir.Path().string() + ".moved", Dir.Path());
  EXPECT_EQ(ReadFileBytes(File), Before);
  List.Save();
  EXPECT_EQ(LoadPlaylist(File), (std::vector<TEntry>{{"New", "N", "/n"}}));
}

}  // namespace
}  // namespace vemro
