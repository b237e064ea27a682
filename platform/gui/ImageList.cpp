#include "platform/gui/ImageList.h"

#include <algorithm>

#include <QImage>
#include <QPainter>

namespace kv {

namespace {

bool AnyPixelShows(const QPixmap &Picture) {
  if (Picture.isNull())
    return false;
  if (!Picture.hasAlphaChannel())
    return true;
  const QImage Pixels = Picture.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int Y = 0; Y < Pixels.height(); ++Y)
    for (int X = 0; X < Pixels.width(); ++X)
      if (qAlpha(Pixels.pixel(X, Y)) != 0)
        return true;
  return false;
}

}  // namespace

TImageList::~TImageList() {
  std::vector<TChangeLink *> links;
  links.swap(FLinks);
  for (TChangeLink *l : links)
    if (l->OnFree)
      l->OnFree(this);
}

int TImageList::Add(const QPixmap &Image) { return Insert(Count(), Image); }

int TImageList::Insert(int Index, const QPixmap &Image) {
  const int At = std::clamp(Index, 0, Count());
  const bool Fits = Image.isNull() || (Image.width() == FWidth && Image.height() == FHeight);
  TImage Entry;
  Entry.Picture = Fits ? Image : Image.scaled(FWidth, FHeight);
  // Asked for every cell drawn: found once.
  Entry.Shows = AnyPixelShows(Entry.Picture);
  FImages.insert(FImages.begin() + At, std::move(Entry));
  Change();
  return At;
}

void TImageList::Delete(int Index) {
  if (Index < 0 || Index >= Count())
    return;
  FImages.erase(FImages.begin() + Index);
  Change();
}

void TImageList::Clear() {
  FImages.clear();
  Change();
}

QPixmap TImageList::Image(int Index) const {
  if (Index < 0 || Index >= Count())
    return QPixmap();
  return FImages[static_cast<size_t>(Index)].Picture;
}

void TImageList::Draw(QPainter &Canvas, int X, int Y, int Index) const {
  if (Index < 0 || Index >= Count())
    return;
  Canvas.drawPixmap(X, Y, FImages[static_cast<size_t>(Index)].Picture);
}

bool TImageList::Shows(int Index) const {
  return Index >= 0 && Index < Count() && FImages[static_cast<size_t>(Index)].Shows;
}

void TImageList::RegisterChanges(TChangeLink *Link) {
  if (Link && std::find(FLinks.begin(), FLinks.end(), Link) == FLinks.end())
    FLinks.push_back(Link);
}

void TImageList::UnRegisterChanges(TChangeLink *Link) {
  FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), Link), FLinks.end());
}

void TImageList::Change() {
  // A handler may unregister itself while we walk the list.
  std::vector<TChangeLink *> links = FLinks;
  for (TChangeLink *l : links)
    if (std::find(FLinks.begin(), FLinks.end(), l) != FLinks.end() && l->OnChange)
      l->OnChange(this);
}

}  // namespace kv
