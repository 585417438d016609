#include "storage/XmlConfig.h"

#include "function/TextEncoding.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vemro {
namespace {

using test::ReadFileBytes;
using test::TTempDir;

const std::string Declaration = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n";

TEST(XmlConfig, ReadingANewStoreChangesNothing) {
  TTempDir Dir;
  const std::string File = Dir.File("Vemro.xml");
  {
    TXmlConfig Config(File, "MainConfig");
    EXPECT_EQ(Config.ReadInteger("Window/EQ", "ID", 0), 0);
    EXPECT_EQ(Config.ReadString("Window/LRC", "PATH", "/d/lrc"), "/d/lrc");
    EXPECT_TRUE(Config.ReadBool("Window/AUTORUN", "Value", true));
    EXPECT_EQ(Config.ReadString("Window", "", "none"), "none");
    EXPECT_FALSE(Config.Modified());
  }
  EXPECT_FALSE(std::filesystem::exists(File));
}

TEST(XmlConfig, WritesCreateMissingElementsOnceAndIndentThem) {
  TTempDir Dir;
  const std::string File = Dir.File("Vemro.xml");
  {
    TXmlConfig Config(File, "MainConfig");
    Config.WriteInteger("Window/PLAY", "PATTERN", 3);
    Config.WriteInteger("Window/PLAY", "PATTERN", 2);
    Config.WriteBool("Window/AUTORUN", "Value", true);
    Config.WriteBool("Window/DESKTOPLRC", "SHOW", false);
    EXPECT_TRUE(Config.Modified());
  }
  EXPECT_EQ(ReadFileBytes(File), Declaration +
                                     "<MainConfig>\n"
                                     "  <Window>\n"
                                     "    <PLAY PATTERN=\"2\"/>\n"
                                     "    <AUTORUN Value=\"1\"/>\n"
                                     "    <DESKTOPLRC SHOW=\"0\"/>\n"
                                     "  </Window>\n"
                                     "</MainConfig>\n");
  TXmlConfig Again(File, "Other");  // the file's root stays
  EXPECT_EQ(Again.ReadInteger("Window/PLAY", "PATTERN", 0), 2);
  EXPECT_FALSE(Again.ReadBool("Window/DESKTOPLRC", "SHOW", true));
  Again.WriteString("Window/SKIN", "NAME", "");
  Again.Save();
  EXPECT_NE(ReadFileBytes(File).find("<MainConfig>\n  <Window>\n    <PLAY"), std::string::npos);
  EXPECT_NE(ReadFileBytes(File).find("    <SKIN NAME=\"\"/>\n  </Window>"), std::string::npos);
}

TEST(XmlConfig, UsesTheFirstOfSameNamedElements) {
  TTempDir Dir;
  const std::string File = Dir.Write("Vemro.xml",
                                     "<?xml version=\"1.0\"?><MainConfig>"
                                     "<Window><EQ ID=\"4\"/></Window><Window><EQ ID=\"9\"/><Volume Value=\"7\"/></Window>"
                                     "</MainConfig>");
  TXmlConfig Config(File, "MainConfig");
  EXPECT_EQ(Config.ReadInteger("Window/EQ", "ID", 0), 4);
  EXPECT_EQ(Config.ReadInteger("Window/Volume", "Value", 65), 65);  // not looked for in the second
  Config.WriteInteger("Window/Volume", "Value", 30);
  Config.Save();
  const std::string Text = ReadFileBytes(File);
  EXPECT_LT(Text.find("<Volume Value=\"30\"/>"), Text.find("<EQ ID=\"9\"/>"));
  EXPECT_NE(Text.find("<Volume Value=\"7\"/>"), std::string::npos);
}

TEST(XmlConfig, ConvertsValuesOrFallsBackToTheDefault) {
  TTempDir Dir;
  const std::string File = Dir.Write(
      "Vemro.xml",
      "<MainConfig><Window>"
      "<A Value=\"\" Abc=\"abc\" Neg=\"-7\" Plus=\"+5\" PlusMinus=\"+-5\" Big=\"99999999999\" Blank=\" 5\""
      " Two=\"2\" B256=\"256\" Zero=\"0\" Max=\"2147483647\" Min=\"-2147483648\"/>"
      "<T>some text<Child/></T><Empty/>"
      "</Window></MainConfig>");
  TXmlConfig Config(File, "MainConfig");
  struct TCase {
    const char* Attr;
    int32_t Expected;
  };
  for (const TCase C : {TCase{"Value", 11}, {"Abc", 11}, {"Neg", -7}, {"Plus", 5}, {"PlusMinus", 11},
                        {"Big", 11}, {"Blank", 11}, {"Max", 2147483647}, {"Min", -2147483647 - 1}, {"Missing", 11}})
    EXPECT_EQ(Config.ReadInteger("Window/A", C.Attr, 11), C.Expected) << C.Attr;
  EXPECT_EQ(Config.ReadString("Window/A", "Value", "dflt"), "dflt");
  EXPECT_TRUE(Config.ReadBool("Window/A", "Two", false));
  EXPECT_FALSE(Config.ReadBool("Window/A", "B256", true));
  EXPECT_FALSE(Config.ReadBool("Window/A", "Zero", true));
  EXPECT_TRUE(Config.ReadBool("Window/A", "Abc", true));
  EXPECT_EQ(Config.ReadString("Window/T", "", "dflt"), "some text");
  EXPECT_EQ(Config.ReadString("Window/Empty", "", "dflt"), "");  // an element's text, even empty
  EXPECT_EQ(Config.ReadString("Window/A/Deeper", "Value", "dflt"), "dflt");
  EXPECT_FALSE(Config.Modified());
}

TEST(XmlConfig, TextValuesReplaceOnlyTheText) {
  TTempDir Dir;
  const std::string File = Dir.Write("Vemro.xml", "<MainConfig><Note>old<Keep/>tail</Note></MainConfig>");
  {
    TXmlConfig Config(File, "MainConfig");
    Config.WriteString("Note", "", "new & <text>");
    Config.WriteString("Fresh/Leaf", "", "leaf");
  }
  TXmlConfig Config(File, "MainConfig");
  EXPECT_EQ(Config.ReadString("Note", "", ""), "new & <text>");
  EXPECT_EQ(Config.ReadString("Fresh/Leaf", "", ""), "leaf");
  EXPECT_NE(ReadFileBytes(File).find("<Keep/>"), std::string::npos);
}

TEST(XmlConfig, DeclaresGb2312AndKeepsEveryCharacter) {
  TTempDir Dir;
  // A file declared as UTF-8, with its standalone flag, holding a title GB2312 cannot hold.
  const std::string Beyond = "Mot\xC3\xB6rhead \xE9\xAB\x94 \xED\x95\x9C \xF0\x9F\x98\x80";  // ö 體 한 😀
  const std::string Chinese = "\xE6\xAD\x8C\xE8\xAF\x8D";                                     // 歌词
  const std::string File = Dir.Write("Vemro.xml",
                                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                     "<MainConfig><Window><LRC PATH=\"/home/u/" + Chinese + "\"/></Window></MainConfig>");
  {
    TXmlConfig Config(File, "MainConfig");
    Config.WriteString("Window/SKIN", "NAME", Beyond);
    Config.WriteString("Window/SKIN", "", Beyond + " & more");
  }
  const std::string Saved = ReadFileBytes(File);
  EXPECT_EQ(Saved.rfind("<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"yes\"?>\n", 0), 0u);
  EXPECT_NE(Saved.find(*Utf8ToGbk(Chinese)), std::string::npos);  // stored as GB2312 bytes
  EXPECT_NE(Saved.find("&#"), std::string::npos);                  // the rest as references
  EXPECT_EQ(Saved.find("\xF0\x9F"), std::string::npos);

  TXmlConfig Config(File, "MainConfig");
  EXPECT_EQ(Config.ReadString("Window/LRC", "PATH", ""), "/home/u/" + Chinese);
  EXPECT_EQ(Config.ReadString("Window/SKIN", "NAME", ""), Beyond);
  EXPECT_EQ(Config.ReadString("Window/SKIN", "", ""), Beyond + " & more");
}

TEST(XmlConfig, StoresOnlyWhatAWellFormedFileCanHold) {
  TTempDir Dir;
  const std::string File = Dir.File("Vemro.xml");
  {
    TXmlConfig Config(File, "MainConfig");
    Config.WriteString("Window/A", "Ctrl", "a\x01" "b\x1F" "c\td");
    Config.WriteString("Window/A", "Gbk", "\xB8\xE8");  // GBK bytes of 歌
    Config.WriteString("Window/A", "Quote", "say \"hi\"\nbye");
    EXPECT_THROW(Config.WriteString("Window/bad name", "X", "1"), std::invalid_argument);
  }
  TXmlConfig Config(File, "MainConfig");
  EXPECT_EQ(Config.ReadString("Window/A", "Ctrl", ""), "abc\td");
  EXPECT_EQ(Config.ReadString("Window/A", "Gbk", ""), "\xE6\xAD\x8C");
  EXPECT_EQ(Config.ReadString("Window/A", "Quote", ""), "say \"hi\"\nbye");
}

TEST(XmlConfig, AFileThatIsNotWellFormedIsAnErrorAndStaysAsItIs) {
  TTempDir Dir;
  for (const std::string Broken : {"<MainConfig><Window></MainConfig>", "", "plain text", "<a/><b/>"}) {
    const std::string File = Dir.Write("Vemro.xml", Broken);
    try {
      TXmlConfig Config(File, "MainConfig");
      ADD_FAILURE() << "no error for \"" << Broken << "\"";
    } catch (const TXmlParseError& Error) {
      EXPECT_NE(std::string(Error.what()).find("Vemro.xml"), std::string::npos);
    }
    EXPECT_EQ(ReadFileBytes(File), Broken);
  }
  static_assert(std::is_base_of_v<std::runtime_error, TXmlParseError>);
}

TEST(XmlConfig, AFailedSaveKeepsTheOldFileAndTheChanges) {
  TTempDir Dir;
  const std::string File = Dir.Write("Vemro.xml", "<MainConfig><Window><EQ ID=\"1\"/></Window></MainConfig>");
  std::filesystem::permissions(Dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const bool Writable = ::access(Dir.Path().c_str(), W_OK) == 0;  // root writes anyway
  {
    TXmlConfig Config(File, "MainConfig");
    Config.WriteInteger("Window/EQ", "ID", 5);
    if (!Writable) {
      EXPECT_THROW(Config.Save(), TXmlSaveError);
      EXPECT_TRUE(Config.Modified());
      EXPECT_EQ(ReadFileBytes(File), "<MainConfig><Window><EQ ID=\"1\"/></Window></MainConfig>");
    }
    std::filesystem::permissions(Dir.Path(), std::filesystem::perms::owner_all);
    Config.Save();
    EXPECT_FALSE(Config.Modified());
  }
  EXPECT_EQ(TXmlConfig(File, "MainConfig").ReadInteger("Window/EQ", "ID", 0), 5);

  TXmlConfig Missing(Dir.File("no/such/folder/Vemro.xml"), "MainConfig");
  Missing.WriteInteger("Window/EQ", "ID", 5);
  EXPECT_THROW(Missing.Save(), TXmlSaveError);
  EXPECT_TRUE(Missing.Modified());
}  // the destructor of a store it cannot save does not throw

TEST(XmlConfig, AnEmptyFileNameNeverTouchesAFile) {
  TTempDir Dir;
  const auto Before = std::filesystem::current_path();
  std::filesystem::current_path(Dir.Path());
  {
    TXmlConfig Config("", "MainConfig");
    Config.WriteInteger("Window/EQ", "ID", 5);
    EXPECT_EQ(Config.ReadInteger("Window/EQ", "ID", 0), 5);
    Config.Save();
  }
  EXPECT_TRUE(std::filesystem::is_empty(Dir.Path()));
  std::filesystem::current_path(Before);
}

}  // namespace
}  // namespace vemro
