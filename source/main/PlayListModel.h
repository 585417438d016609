#pragma once
// The playlist as the list view shows it. The view binds to the roles; the controller
// changes the items through the operations below and rebuilds its PlayList from them.

#include <QAbstractListModel>

#include <cstdint>
#include <string>
#include <vector>

namespace vemro {

// One playlist entry as the rest of the program reads it.
struct TPlayListItem {
  std::string Caption;
  std::string Title;
  std::string Singer;
  std::string Path;
};

// "Title - Singer", or the title alone when there is no singer.
std::string CaptionOf(const std::string& Title, const std::string& Singer);

class TPlayListModel : public QAbstractListModel {
  Q_OBJECT
  Q_PROPERTY(int selectedIndex READ SelectedIndex NOTIFY selectedIndexChanged)

public:
  enum TRole {
    NumberRole = Qt::UserRole + 1,  // "lno": 1-based number
    CaptionRole,
    TitleRole,
    SingerRole,
    PathRole,
    MarkerRole,  // 1 on the highlighted (playing) item
    HeightRole,
    DeleteVisibleRole,  // "loubtn": the item's delete button
    OpacityRole,
  };
  static constexpr int kHeight = 25;
  static constexpr int kHighlightedHeight = 35;

  struct TItem {
    uint64_t Id = 0;  // names the entry for as long as it is in the list
    int32_t Number = 0;
    std::string Title;
    std::string Singer;
    std::string Path;
    int32_t Marker = 0;
    bool DeleteVisible = false;
    double Opacity = 1.0;
  };

  explicit TPlayListModel(QObject* Parent = nullptr);

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QHash<int, QByteArray> roleNames() const override;

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  const TItem& Item(int32_t Index) const { return FItems.at(static_cast<size_t>(Index)); }
  int32_t SelectedIndex() const { return FSelected; }
  // The index of the entry Id, or -1 when it is gone.
  int32_t IndexOfId(uint64_t Id) const;

  void AddListEntry(int32_t Number, const std::string& Title, const std::string& Singer,
                    const std::string& Path);
  void Remove(int32_t Index);
  void Clear();
  // Numbers the items 1, 2, 3, ... in list order.
  void Renumber();
  // Unmarks the first marked item and marks the one at Index (when there is one).
  void HighlightEntry(int32_t Index);
  // The item under the mouse shows its delete button (the only one shown) and is selected.
  void Hover(int32_t Index);
  void Select(int32_t Index);
  void SetOpacity(int32_t Index, double Opacity);
  void SetPath(int32_t Index, const std::string& Path);
  // Appends one record per item to PlayList, emptying it first when Clear.
  void RebuildPlayList(std::vector<TPlayListItem>& PlayList, bool Clear) const;

signals:
  void selectedIndexChanged();

private:
  bool Designates(int32_t Index) const { return Index >= 0 && Index < Count(); }
  void Changed(int32_t Index, const QList<int>& Roles);

  std::vector<TItem> FItems;
  int32_t FSelected = -1;
  uint64_t FNextId = 1;
};

}  // namespace vemro
