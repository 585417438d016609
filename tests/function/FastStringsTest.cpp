#include "function/FastStrings.h"

#include <gtest/gtest.h>

#include <string>

namespace vemro {
namespace {

TEST(FindSubstring, FindsFirstOccurrenceWithinTheGivenLengths) {
  struct TCase {
    std::string Source, Pattern;
    int32_t SourceLen, Start, PatternLen, Expected;
  };
  const TCase Cases[] = {
      {"hello world", "world", 11, 1, 5, 7},
      {"abcabcabc", "abc", 9, 2, 3, 4},           // from Start on
      {"abcabcabc", "abc", 9, 7, 3, 7},
      {"abcabcabc", "abc", 9, 8, 3, 0},
      {"abcabcabc", "abc", 5, 2, 3, 0},           // only the first SourceLen bytes count
      {"xxabxx", "abZZ", 6, 1, 2, 3},             // only the first PatternLen bytes count
      {"Marker", "marker", 6, 1, 6, 0},           // case-sensitive
      {"aaaaab", "aab", 6, 1, 3, 4},              // the shift table must not skip matches
      {"abcd", "bcd", 4, 1, 0, 0},                // PatternLen < 1
      {"ab", "abc", 2, 1, 3, 0},                  // PatternLen > SourceLen
      {"short", "rt", 1000, 1, 2, 4},             // lengths beyond the strings
      {"\xE6\xAD\x8C <ver>4.2</ver>", "<ver>", 100, 1, 5, 5},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(FindSubstring(C.Source, C.Pattern, C.SourceLen, C.Start, C.PatternLen), C.Expected)
        << C.Source << " / " << C.Pattern << " from " << C.Start;
}

TEST(FindSubstring, MatchesAPlainSearchOnManyInputs) {
  std::string Source;
  for (int I = 0; I < 2000; ++I) Source += static_cast<char>("abcab\xff"[(I * 7 + I / 13) % 6]);
  for (const std::string Pattern : {"ab", "cab", "bca\xff", "abcabc", "\xff" "a", "zz"}) {
    for (int32_t Start = 1; Start < 60; Start += 7) {
      const size_t Expected = Source.find(Pattern, Start - 1);
      EXPECT_EQ(FindSubstring(Source, Pattern, 2000, Start, static_cast<int32_t>(Pattern.size())),
                Expected == std::string::npos ? 0 : static_cast<int32_t>(Expected + 1));
    }
  }
}

TEST(FastStrings, StartBelowOneIsAnAssertionFailure) {
  try {
    FindSubstring("abc", "b", 3, 0, 1);
    ADD_FAILURE() << "no exception";
  } catch (const TAssertionFailure& E) {
    EXPECT_STREQ(E.what(), "Assertion failure");
  }
  EXPECT_THROW(FindCharFrom("abc", 'b', 0), TAssertionFailure);
  EXPECT_THROW(FindCharFrom("", 'b', -5), TAssertionFailure);
}

TEST(FindCharFrom, FindsAtOrAfterStart) {
  EXPECT_EQ(FindCharFrom("a|b|c", '|', 1), 2);
  EXPECT_EQ(FindCharFrom("a|b|c", '|', 2), 2);
  EXPECT_EQ(FindCharFrom("a|b|c", '|', 3), 4);
  EXPECT_EQ(FindCharFrom("a|b|c", '|', 5), 0);
  EXPECT_EQ(FindCharFrom("a|b|c", '|', 6), 0);
  EXPECT_EQ(FindCharFrom("", '|', 1), 0);
}

TEST(GetDelimitedField, PicksTheIndexedPiece) {
  struct TCase {
    std::string S;
    int32_t Index;
    char Delim;
    std::string Expected;
  };
  const TCase Cases[] = {
      {"a|b", 1, '|', "a"}, {"a|b", 2, '|', "b"},   {"a|b", 3, '|', ""},
      {"x-y", 1, '-', "x"}, {"x-y", 2, '-', "y"},   {"", 1, '-', ""},
      {"a|b", 0, '|', ""},  {"a||c", 2, '|', ""},   {"a||c", 3, '|', "c"},
      {"a|", 2, '|', ""},   {"|a", 1, '|', ""},     {"one", 1, '|', "one"},
      {"/home/u/a b.mp3|1", 1, '|', "/home/u/a b.mp3"},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(GetDelimitedField(C.S, C.Index, C.Delim), C.Expected) << C.S << " #" << C.Index;
}

TEST(UrlDecode, DecodesUpToTheFirstAmpersand) {
  EXPECT_EQ(UrlDecode("a%20b+c&d"), "a b c");
  EXPECT_EQ(UrlDecode("%4g"), std::string("\x04"));  // "4g" is consumed whatever it is
  EXPECT_EQ(UrlDecode("%E6%AD%8C"), "\xE6\xAD\x8C");
  EXPECT_EQ(UrlDecode("%2fx"), "/x");
  EXPECT_EQ(UrlDecode("a%"), std::string("a\0", 2));
  EXPECT_EQ(UrlDecode("&x"), "");
  EXPECT_EQ(UrlDecode("plain"), "plain");
}

TEST(HexValue, ReadsDigitsAfterBlanks) {
  EXPECT_EQ(HexValue("ff", 2), 255);
  EXPECT_EQ(HexValue("Ab", 2), 171);
  EXPECT_EQ(HexValue(" f", 2), 15);
  EXPECT_EQ(HexValue("4g", 2), 4);
  EXPECT_EQ(HexValue("zz", 2), 0);
  EXPECT_EQ(HexValue("123", 2), 0x12);  // no more than Len characters
  EXPECT_EQ(HexValue("7fffffff", 8), 0x7fffffff);
}

TEST(SafeFileName, RemovesForbiddenCharactersAndCuts) {
  EXPECT_EQ(SafeFileName("x/y: z?"), "xy z");
  EXPECT_EQ(SafeFileName("\"a*b<c>d\\e|f\""), "abcdef");
  EXPECT_EQ(SafeFileName(std::string("a\0b\nc\td", 7)), "abcd");
  EXPECT_EQ(SafeFileName(std::string(300, 'a')), std::string(255, 'a'));
  EXPECT_EQ(SafeFileName(std::string(255, 'a')), std::string(255, 'a'));
  // 259 characters of which the first are multi-byte: cut to whole characters in 255 bytes.
  std::string Song;
  for (int I = 0; I < 100; ++I) Song += "\xE6\xAD\x8C";  // 歌, three bytes
  const std::string Safe = SafeFileName(Song);
  EXPECT_EQ(Safe.size(), 255u);
  EXPECT_EQ(Safe, Song.substr(0, 255));
  EXPECT_EQ(SafeFileName("a\xE6\xAD\x8C" + Song).size(), 253u);  // never half a character
}

TEST(SafeFileName, LeavesRoomForTheSuffix) {
  std::string Song;
  for (int I = 0; I < 100; ++I) Song += "\xE6\xAD\x8C";
  const std::string Name = SafeFileName(Song, "(12).lrc");
  EXPECT_LE(Name.size(), 255u);
  EXPECT_EQ(Name, Song.substr(0, 246) + "(12).lrc");
  EXPECT_EQ(SafeFileName("Song: A/B", ".mp3"), "Song AB.mp3");
  EXPECT_EQ(SafeFileName(std::string(400, 'x'), ".lrc"), std::string(251, 'x') + ".lrc");
}

TEST(Base64Encode, FollowsTheStandardAlphabetWithPadding) {
  // The test vectors of RFC 4648, section 10, and bytes that use "+" and "/".
  const std::pair<std::string, std::string> Cases[] = {
      {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},    {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"}, {std::string("\0\0", 2), "AAA="},
  };
  for (const auto& [Plain, Encoded] : Cases) EXPECT_EQ(Base64Encode(Plain), Encoded);
}

}  // namespace
}  // namespace vemro
