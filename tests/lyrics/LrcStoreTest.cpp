#include "lyrics/LrcClass.h"

#include <gtest/gtest.h>

namespace vemro {
namespace {

const char* const kThreeLines = "[00:01.00]one\r\n[00:02.00]two\r\n[00:03.00]three\r\n";

std::string LineAt(TLrcClass& Store, int32_t Position) {
  Store.SetPosition(Position);
  return Store.CurrentLine();
}

TEST(LrcStore, LineBecomesCurrentOnceStrictlyPastItsTime) {
  TLrcClass Store;
  Store.LoadText(kThreeLines);
  const std::pair<int32_t, const char*> Cases[] = {
      {0, "one"},    {1000, "one"},  {1001, "one"},    {2000, "one"},
      {2001, "two"}, {3000, "two"},  {3001, "three"},  {999999, "three"},
      {-5, "one"},
  };
  for (auto [Position, Line] : Cases) EXPECT_EQ(LineAt(Store, Position), Line) << Position;
}

TEST(LrcStore, OffsetShiftsDueTimes) {
  TLrcClass Store;
  Store.LoadText(kThreeLines);
  Store.SetOffset(500);
  EXPECT_EQ(LineAt(Store, 1600), "two");
  Store.SetOffset(-500);
  EXPECT_EQ(LineAt(Store, 2400), "one");
  EXPECT_EQ(LineAt(Store, 2501), "two");
}

TEST(LrcStore, OffsetTagIsTakenAndReplacesManualShift) {
  TLrcClass Store;
  Store.SetOffset(1234);
  Store.LoadText(std::string("[offset:-300]\r\n") + kThreeLines);
  EXPECT_EQ(Store.Offset(), -300);
  Store.SetOffset(Store.Offset() + 500);
  EXPECT_EQ(Store.Offset(), 200);
  Store.LoadText(kThreeLines);
  EXPECT_EQ(Store.Offset(), 0);
}

TEST(LrcStore, SetOffsetAloneKeepsCurrentLine) {
  TLrcClass Store;
  Store.LoadText(kThreeLines);
  EXPECT_EQ(LineAt(Store, 2500), "two");
  Store.SetOffset(-1000);
  EXPECT_EQ(Store.CurrentLine(), "two");
  Store.SetPosition(2500);
  EXPECT_EQ(Store.CurrentLine(), "one");
}

TEST(LrcStore, LoadTextEmptiesCurrentLineAndKeepsPosition) {
  TLrcClass Store;
  Store.LoadText(kThreeLines);
  Store.SetPosition(2500);
  Store.LoadText("");
  EXPECT_EQ(Store.CurrentLine(), "");
  EXPECT_EQ(Store.Position(), 2500);
  EXPECT_EQ(Store.Lyric().Count(), 0);
  EXPECT_EQ(LineAt(Store, 3000), "");
}

TEST(LrcStore, SloganAloneShowsAtEveryPosition) {
  TLrcClass Store;
  Store.LoadText("");
  Store.AddSlogan(0);
  for (int32_t Position : {0, 1, 500000}) EXPECT_EQ(LineAt(Store, Position), kLyricSlogan);
}

TEST(LrcStore, SloganAfterLyricsShowsOnlyInTheLastSecond) {
  TLrcClass Store;
  Store.LoadText(kThreeLines);
  Store.AddSlogan(200000);
  EXPECT_EQ(Store.Lyric().GetItem(3).Text, kLyricSlogan);
  EXPECT_EQ(LineAt(Store, 100000), "three");
  EXPECT_EQ(LineAt(Store, 199000), "three");
  EXPECT_EQ(LineAt(Store, 199001), kLyricSlogan);
}

TEST(LrcStore, SloganNeverOvertakesALineNotYetDue) {
  TLrcClass Store;
  Store.LoadText("[00:01.00]one\r\n[00:09.50]late\r\n");
  Store.AddSlogan(10000);  // due at 9000, before the last line
  EXPECT_EQ(LineAt(Store, 9200), "one");
  EXPECT_EQ(LineAt(Store, 9600), kLyricSlogan);
}

TEST(LrcStore, LaterOfTwoLinesAtTheSameTimeWins) {
  TLrcClass Store;
  Store.LoadText("[00:01.00]a\r\n[00:02.00]first\r\n[00:02.00]second\r\n");
  EXPECT_EQ(LineAt(Store, 2001), "second");
}

TEST(LrcStore, ExtremeOffsetsDoNotOverflow) {
  TLrcClass Store;
  Store.LoadText("[-99:99:99.999]a\r\n[99:99:99.999]b\r\n[00:01.00]c\r\n");
  Store.SetOffset(INT32_MIN);
  EXPECT_EQ(LineAt(Store, INT32_MAX), "a");
  Store.SetOffset(INT32_MAX);
  EXPECT_EQ(LineAt(Store, INT32_MIN), "a");
  EXPECT_EQ(LineAt(Store, 0), "b");
}

}  // namespace
}  // namespace vemro
