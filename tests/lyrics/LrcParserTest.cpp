#include "lyrics/uLRCHandle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vemro {
namespace {

struct TLine {
  int32_t Time;
  std::string TimeText;
  std::string Text;
  bool operator==(const TLine&) const = default;
};

void PrintTo(const TLine& L, std::ostream* Out) {
  *Out << "{" << L.Time << ", \"" << L.TimeText << "\", \"" << L.Text << "\"}";
}

std::vector<TLine> Lines(const TLyricHandle& H) {
  std::vector<TLine> Result;
  for (int32_t I = 0; I < H.Count(); ++I) {
    TLyricItem Item = H.GetItem(I);
    Result.push_back({Item.Time, Item.TimeText, Item.Text});
  }
  return Result;
}

std::vector<TLine> Parse(const std::string& Text) {
  TLyricHandle H;
  H.ParseText(Text);
  return Lines(H);
}

struct TCase {
  const char* Name;
  std::string Text;
  std::vector<TLine> Expected;
};

class LrcParserCases : public testing::TestWithParam<TCase> {};

TEST_P(LrcParserCases, YieldsLines) {
  EXPECT_EQ(Parse(GetParam().Text), GetParam().Expected) << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(
    TimeTags, LrcParserCases,
    testing::Values(
        TCase{"Hundredths", "[00:12.34]Hello", {{12340, "00:12.34", "Hello"}}},
        TCase{"Tenths", "[00:12.5]xyz", {{12500, "00:12.5", "xyz"}}},
        TCase{"Milliseconds", "[00:12.345]xyz", {{12345, "00:12.345", "xyz"}}},
        TCase{"DigitsAfterThirdIgnored", "[00:12.3456]xyz", {{12345, "00:12.345", "xyz"}}},
        TCase{"HoursMinutesSeconds", "[01:02:03]x y", {{3723000, "01:02:03", "x y"}}},
        TCase{"HoursWithFraction", "[1:02:03.4]x", {{3723400, "1:02:03.4", "x"}}},
        TCase{"WholeFieldsKeepLastTwoDigits", "[100:00.00]xyz", {{0, "00:00.00", "xyz"}}},
        TCase{"SecondsOnly", "[12]xyz abc", {{12000, "12", "xyz abc"}}},
        TCase{"SecondsWithFraction", "[12.25]xyz", {{12250, "12.25", "xyz"}}},
        TCase{"SecondsNotLimited", "[00:61.00]xyz", {{61000, "00:61.00", "xyz"}}},
        TCase{"Negative", "[-00:01.00]xyz", {{-1000, "-00:01.00", "xyz"}}},
        TCase{"NegativeZero", "[-00:00.00]xyz", {{0, "00:00.00", "xyz"}}},
        TCase{"BlanksInsideTag", "[00 : 01 . 50]xyz", {{1500, "00:01.50", "xyz"}}},
        TCase{"SecondDotMergesIntoFraction", "[00:01.00.5]xyz", {{1005, "00:01.005", "xyz"}}},
        TCase{"FourFieldsAreNoTag", "[00:01:02:03]xyz", {}},
        TCase{"LetterFractionIsNoTag", "[00:01.ab]xyz", {}},
        TCase{"BlankAfterBracketIsNoTag", "[ 00:01.00]xyz", {}},
        TCase{"ShortTextIgnored", " [1] ", {}},
        TCase{"LastShortTagNotRecognised", "[00:01.00]a\r\n[12]", {{1000, "00:01.00", "a"}}}),
    [](const auto& Info) { return Info.param.Name; });

INSTANTIATE_TEST_SUITE_P(
    LineTexts, LrcParserCases,
    testing::Values(
        TCase{"BackToBackTagsShareText",
              "[00:01.00][00:05.00]Chorus",
              {{1000, "00:01.00", "Chorus"}, {5000, "00:05.00", "Chorus"}}},
        TCase{"BlankBetweenTagsSplits",
              "[00:01.00] [00:05.00]Chorus",
              {{1000, "00:01.00", ""}, {5000, "00:05.00", "Chorus"}}},
        TCase{"TwoLinesOnOneLine",
              "[00:01.00]x[00:02.00]y",
              {{1000, "00:01.00", "x"}, {2000, "00:02.00", "y"}}},
        TCase{"BracketThatIsNoTagStays", "[00:01.00]a [b] c", {{1000, "00:01.00", "a [b] c"}}},
        TCase{"IdTagAfterTimeTagDropsText", "[00:01.00][ti:abc]text", {{1000, "00:01.00", ""}}},
        TCase{"UntaggedLinesDropped",
              "[00:01.00]lineA\r\nmore text\r\n[00:02.00]",
              {{1000, "00:01.00", "lineA"}, {2000, "00:02.00", ""}}},
        TCase{"BareLineFeedsKeepNextLine",
              "[00:01.00]a\nb\n[00:02.00]c",
              {{1000, "00:01.00", "a\nb"}, {2000, "00:02.00", "c"}}},
        TCase{"ChineseTextCopied",
              "[00:01.00] 我爱你 \r\n[00:02.00]中国",
              {{1000, "00:01.00", "我爱你"}, {2000, "00:02.00", "中国"}}},
        TCase{"GbkBytesCopied", "[00:01.00]\xce\xd2\xb0\xae", {{1000, "00:01.00", "\xce\xd2\xb0\xae"}}},
        TCase{"OrderOfTagsKeptUntilSorted",
              "[00:03.00]c\r\n[00:01.00]a",
              {{3000, "00:03.00", "c"}, {1000, "00:01.00", "a"}}}),
    [](const auto& Info) { return Info.param.Name; });

TEST(LrcParser, ReadsIdTags) {
  TLyricHandle H;
  H.ParseText("[ti: My Song ]\r\n[ar:Band]\r\n[al:Album]\r\n[by:me]\r\n[la:zh]\r\n"
              "[offset:+500]\r\n[00:01.00]x");
  EXPECT_EQ(H.Info().Title, "My Song");
  EXPECT_EQ(H.Info().Artist, "Band");
  EXPECT_EQ(H.Info().Album, "Album");
  EXPECT_EQ(H.Info().By, "me");
  EXPECT_EQ(H.Info().Language, "zh");
  EXPECT_EQ(H.Info().Offset, 500);
  EXPECT_EQ(H.Count(), 1);
}

TEST(LrcParser, IdTagNamesAndValues) {
  struct TIdCase {
    std::string Text;
    std::string Title;
    int32_t Offset;
  };
  const TIdCase Cases[] = {
      {"[ti:a]\r\n[TI:b]\r\n", "b", 0},          // a later tag wins, any case
      {"[TI : spaced]\r\n", "spaced", 0},       // blanks before the colon
      {"[title:x]\r\n[ ti:y]\r\n[ti]\r\n", "", 0},  // not tags
      {"[Offset:-300]\r\n", "", -300},
      {"[offset:abc]\r\n", "", 0},
      {"[offset:+-5]\r\n", "", 0},
      {"[offset:99999999999]\r\n", "", 0},
      {"[ offset:5]\r\n", "", 0},
  };
  for (const TIdCase& C : Cases) {
    TLyricHandle H;
    H.ParseText(C.Text);
    EXPECT_EQ(H.Info().Title, C.Title) << C.Text;
    EXPECT_EQ(H.Info().Offset, C.Offset) << C.Text;
  }
}

TEST(LrcParser, IdTagWithoutBracketOnItsLineEndsAtLineEnd) {
  TLyricHandle H;
  H.ParseText("[ti:abc\r\n[00:01.00]hello");
  EXPECT_EQ(H.Info().Title, "abc");
  EXPECT_EQ(Lines(H), (std::vector<TLine>{{1000, "00:01.00", "hello"}}));
}

TEST(LrcParser, ParseStartsFromAClearedHandle) {
  TLyricHandle H;
  H.ParseText("[ti:first]\r\n[offset:100]\r\n[00:01.00]a");
  H.ParseText("[00:02.00]b");
  EXPECT_EQ(H.Info().Title, "");
  EXPECT_EQ(H.Info().Offset, 0);
  EXPECT_EQ(Lines(H), (std::vector<TLine>{{2000, "00:02.00", "b"}}));
}

TEST(LrcParser, SortIsStable) {
  TLyricHandle H;
  H.ParseText("[00:03.00]c\r\n[00:01.00]a\r\n[00:03.00]d\r\n[00:02.00]b");
  H.SortByTime();
  std::vector<std::string> Texts;
  for (int32_t I = 0; I < H.Count(); ++I) Texts.push_back(H.GetItem(I).Text);
  EXPECT_EQ(Texts, (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST(LrcParser, ListOperationsAndIndexErrors) {
  TLyricHandle H;
  H.Add({"b", "", 2});
  H.Insert(0, {"a", "", 1});
  H.Insert(2, {"c", "", 3});
  EXPECT_EQ(H.GetItem(0).Text, "a");
  EXPECT_EQ(H.GetItem(2).Text, "c");
  H.Delete(1);
  EXPECT_EQ(H.Count(), 2);
  EXPECT_EQ(H.GetItem(1).Text, "c");
  EXPECT_THROW(H.GetItem(2), std::out_of_range);
  EXPECT_THROW(H.GetItem(-1), std::out_of_range);
  EXPECT_THROW(H.Insert(3, {}), std::out_of_range);
  EXPECT_THROW(H.Delete(2), TLyricIndexError);
  EXPECT_EQ(H.Count(), 2);
  H.Clear();
  EXPECT_EQ(H.Count(), 0);
}

}  // namespace
}  // namespace vemro
