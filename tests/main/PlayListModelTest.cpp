#include "main/PlayListModel.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace vemro {
namespace {

QVariant Role(const TPlayListModel& Model, int Row, TPlayListModel::TRole R) {
  return Model.data(Model.index(Row), R);
}

class PlayListModelTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (int I = 1; I <= 5; ++I)
      Model.AddListEntry(I, "t" + std::to_string(I), I % 2 ? "s" : "", "/m/" + std::to_string(I));
  }
  TPlayListModel Model;
};

TEST_F(PlayListModelTest, ItemsCarryWhatTheListViewShows) {
  EXPECT_EQ(Model.rowCount(), 5);
  EXPECT_EQ(Role(Model, 0, TPlayListModel::CaptionRole).toString(), "t1 - s");
  EXPECT_EQ(Role(Model, 1, TPlayListModel::CaptionRole).toString(), "t2");
  EXPECT_EQ(Role(Model, 4, TPlayListModel::NumberRole).toInt(), 5);
  EXPECT_EQ(Role(Model, 2, TPlayListModel::PathRole).toString(), "/m/3");
  EXPECT_EQ(Role(Model, 0, TPlayListModel::HeightRole).toInt(), 25);
  EXPECT_EQ(Role(Model, 0, TPlayListModel::OpacityRole).toDouble(), 1.0);
  EXPECT_FALSE(Role(Model, 0, TPlayListModel::DeleteVisibleRole).toBool());
  EXPECT_FALSE(Role(Model, 5, TPlayListModel::TitleRole).isValid());
  const auto Names = Model.roleNames();
  for (const char* Name : {"lno", "caption", "title", "songer", "path", "marker", "itemHeight",
                           "loubtn", "itemOpacity"})
    EXPECT_TRUE(Names.values().contains(Name)) << Name;
}

TEST_F(PlayListModelTest, HighlightMovesTheOneMarkAndItsHeight) {
  Model.HighlightEntry(1);
  Model.HighlightEntry(3);
  for (int I = 0; I < 5; ++I) {
    EXPECT_EQ(Role(Model, I, TPlayListModel::MarkerRole).toInt(), I == 3 ? 1 : 0) << I;
    EXPECT_EQ(Role(Model, I, TPlayListModel::HeightRole).toInt(), I == 3 ? 35 : 25) << I;
  }
  Model.HighlightEntry(-1);  // an index past the list only clears the old mark
  EXPECT_EQ(Role(Model, 3, TPlayListModel::MarkerRole).toInt(), 0);
}

TEST_F(PlayListModelTest, HoverShowsOneDeleteButtonAndSelects) {
  QSignalSpy Selected(&Model, &TPlayListModel::selectedIndexChanged);
  Model.Hover(1);
  Model.Hover(4);
  Model.Hover(7);
  EXPECT_EQ(Model.SelectedIndex(), 4);
  EXPECT_EQ(Selected.count(), 2);
  for (int I = 0; I < 5; ++I)
    EXPECT_EQ(Role(Model, I, TPlayListModel::DeleteVisibleRole).toBool(), I == 4) << I;
}

TEST_F(PlayListModelTest, RemovalKeepsTheSelectionOnItsItemAndRenumbers) {
  Model.Hover(3);
  Model.Remove(1);
  EXPECT_EQ(Model.SelectedIndex(), 2);
  EXPECT_EQ(Model.Item(2).Path, "/m/4");
  Model.Renumber();
  for (int I = 0; I < Model.Count(); ++I) EXPECT_EQ(Model.Item(I).Number, I + 1);
  Model.Remove(2);
  EXPECT_EQ(Model.SelectedIndex(), -1);
  Model.Remove(99);
  EXPECT_EQ(Model.Count(), 3);
}

TEST_F(PlayListModelTest, RebuildsThePlayListInListOrder) {
  std::vector<TPlayListItem> PlayList(2);
  Model.RebuildPlayList(PlayList, false);
  EXPECT_EQ(PlayList.size(), 7u);
  Model.SetPath(4, "/saved/5.mp3");
  Model.RebuildPlayList(PlayList, true);
  ASSERT_EQ(PlayList.size(), 5u);
  EXPECT_EQ(PlayList[0].Caption, "t1 - s");
  EXPECT_EQ(PlayList[1].Caption, "t2");
  EXPECT_EQ(PlayList[1].Singer, "");
  EXPECT_EQ(PlayList[4].Path, "/saved/5.mp3");
  Model.Clear();
  Model.RebuildPlayList(PlayList, true);
  EXPECT_TRUE(PlayList.empty());
}

}  // namespace
}  // namespace vemro
