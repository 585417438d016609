#include "function/TextEncoding.h"

#include <gtest/gtest.h>

namespace vemro {
namespace {

const std::string kNiHaoUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";  // 你好
const std::string kNiHaoGbk = "\xC4\xE3\xBA\xC3";

TEST(TextEncoding, GbkRoundTrip) {
  EXPECT_EQ(GbkToUtf8(kNiHaoGbk), kNiHaoUtf8);
  EXPECT_EQ(Utf8ToGbk(kNiHaoUtf8), kNiHaoGbk);
  EXPECT_EQ(GbkToUtf8("abc"), "abc");
}

TEST(TextEncoding, CharactersOutsideGbkAreReported) {
  EXPECT_FALSE(Utf8ToGbk("\xF0\x9F\x8E\xB5").has_value());  // 🎵
  EXPECT_EQ(GbkToUtf8(Utf8ToGb18030("\xF0\x9F\x8E\xB5")), "\xF0\x9F\x8E\xB5");
}

TEST(TextEncoding, DecodeTextBytesByWhatTheyAre) {
  struct TCase {
    std::string Bytes, Expected;
  } Cases[] = {
      {"\xEF\xBB\xBF" + kNiHaoUtf8, kNiHaoUtf8},        // UTF-8 mark dropped
      {std::string("\xFF\xFE\x60\x4F\x7D\x59", 6), kNiHaoUtf8},  // UTF-16LE
      {std::string("\xFE\xFF\x4F\x60\x59\x7D", 6), kNiHaoUtf8},  // UTF-16BE
      {kNiHaoUtf8 + "[00:01]", kNiHaoUtf8 + "[00:01]"},  // valid UTF-8 as it is
      {"[00:01]" + kNiHaoGbk, "[00:01]" + kNiHaoUtf8},  // else GB18030
      {"", ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(DecodeTextBytes(C.Bytes), C.Expected);
}

TEST(TextEncoding, Validity) {
  EXPECT_TRUE(IsValidUtf8(kNiHaoUtf8));
  EXPECT_FALSE(IsValidUtf8(kNiHaoGbk));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8(kNiHaoUtf8.substr(0, 4)));
  EXPECT_TRUE(IsValidGbk(kNiHaoGbk));
  EXPECT_FALSE(IsValidGbk("\xC4"));  // lead byte without trail
  EXPECT_FALSE(IsValidGbk("\x80\x41"));
}

TEST(TextEncoding, CutsNeverSplitACharacter) {
  const std::string S = "a" + kNiHaoUtf8;  // 1 + 3 + 3 bytes
  EXPECT_EQ(CutUtf8(S, 7), S);
  EXPECT_EQ(CutUtf8(S, 6), "a\xE4\xBD\xA0");
  EXPECT_EQ(CutUtf8(S, 3), "a");
  EXPECT_EQ(FirstUtf8Chars(S, 2), "a\xE4\xBD\xA0");
  EXPECT_EQ(FirstUtf8Chars(S, 10), S);
}

}  // namespace
}  // namespace vemro
