#include "main/PlayListModel.h"

namespace vemro {

std::string CaptionOf(const std::string& Title, const std::string& Singer) {
  return Singer.empty() ? Title : Title + " - " + Singer;
}

TPlayListModel::TPlayListModel(QObject* Parent) : QAbstractListModel(Parent) {}

int TPlayListModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : Count();
}

QVariant TPlayListModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || !Designates(Index.row())) return {};
  const TItem& Item = FItems[static_cast<size_t>(Index.row())];
  switch (Role) {
    case NumberRole: return Item.Number;
    case Qt::DisplayRole:
    case CaptionRole: return QString::fromStdString(CaptionOf(Item.Title, Item.Singer));
    case TitleRole: return QString::fromStdString(Item.Title);
    case SingerRole: return QString::fromStdString(Item.Singer);
    case PathRole: return QString::fromStdString(Item.Path);
    case MarkerRole: return Item.Marker;
    case HeightRole: return Item.Marker == 1 ? kHighlightedHeight : kHeight;
    case DeleteVisibleRole: return Item.DeleteVisible;
    case OpacityRole: return Item.Opacity;
    default: return {};
  }
}

QHash<int, QByteArray> TPlayListModel::roleNames() const {
  return {{NumberRole, "lno"},         {CaptionRole, "caption"},   {TitleRole, "title"},
          {SingerRole, "songer"},      {PathRole, "path"},         {MarkerRole, "marker"},
          {HeightRole, "itemHeight"},  {DeleteVisibleRole, "loubtn"}, {OpacityRole, "itemOpacity"}};
}

void TPlayListModel::AddListEntry(int32_t Number, const std::string& Title,
                                  const std::string& Singer, const std::string& Path) {
  beginInsertRows({}, Count(), Count());
  FItems.push_back({FNextId++, Number, Title, Singer, Path});
  endInsertRows();
}

int32_t TPlayListModel::IndexOfId(uint64_t Id) const {
  for (int32_t I = 0; I < Count(); ++I)
    if (FItems[static_cast<size_t>(I)].Id == Id) return I;
  return -1;
}

void TPlayListModel::Remove(int32_t Index) {
  if (!Designates(Index)) return;
  beginRemoveRows({}, Index, Index);
  FItems.erase(FItems.begin() + Index);
  endRemoveRows();
  if (FSelected == Index) Select(-1);
  else if (FSelected > Index) Select(FSelected - 1);
}

void TPlayListModel::Clear() {
  if (FItems.empty()) return;
  beginResetModel();
  FItems.clear();
  endResetModel();
  Select(-1);
}

void TPlayListModel::Renumber() {
  for (int32_t I = 0; I < Count(); ++I) {
    if (FItems[static_cast<size_t>(I)].Number == I + 1) continue;
    FItems[static_cast<size_t>(I)].Number = I + 1;
    Changed(I, {NumberRole});
  }
}

void TPlayListModel::HighlightEntry(int32_t Index) {
  for (int32_t I = 0; I < Count(); ++I) {
    if (FItems[static_cast<size_t>(I)].Marker != 1) continue;
    FItems[static_cast<size_t>(I)].Marker = 0;
    Changed(I, {MarkerRole, HeightRole});
    break;
  }
  if (!Designates(Index)) return;
  FItems[static_cast<size_t>(Index)].Marker = 1;
  Changed(Index, {MarkerRole, HeightRole});
}

void TPlayListModel::Hover(int32_t Index) {
  if (!Designates(Index)) return;
  for (int32_t I = 0; I < Count(); ++I) {
    if (!FItems[static_cast<size_t>(I)].DeleteVisible) continue;
    FItems[static_cast<size_t>(I)].DeleteVisible = false;
    Changed(I, {DeleteVisibleRole});
    break;
  }
  FItems[static_cast<size_t>(Index)].DeleteVisible = true;
  Changed(Index, {DeleteVisibleRole});
  Select(Index);
}

void TPlayListModel::SetOpacity(int32_t Index, double Opacity) {
  if (!Designates(Index)) return;
  FItems[static_cast<size_t>(Index)].Opacity = Opacity;
  Changed(Index, {OpacityRole});
}

void TPlayListModel::SetPath(int32_t Index, const std::string& Path) {
  if (!Designates(Index)) return;
  FItems[static_cast<size_t>(Index)].Path = Path;
  Changed(Index, {PathRole});
}

void TPlayListModel::RebuildPlayList(std::vector<TPlayListItem>& PlayList, bool Clear) const {
  if (Clear) PlayList.clear();
  PlayList.reserve(PlayList.size() + FItems.size());
  for (const TItem& Item : FItems)
    PlayList.push_back({CaptionOf(Item.Title, Item.Singer), Item.Title, Item.Singer, Item.Path});
}

void TPlayListModel::Changed(int32_t Index, const QList<int>& Roles) {
  const QModelIndex At = index(Index);
  emit dataChanged(At, At, Roles);
}

void TPlayListModel::Select(int32_t Index) {
  if (!Designates(Index)) Index = -1;
  if (FSelected == Index) return;
  FSelected = Index;
  emit selectedIndexChanged();
}

}  // namespace vemro
