#include "platform/gui/ImageList.h"

#include <algorithm>

#include <QPainter>

namespace kv {

TImageList::~TImageList() {
  std::vector<TChangeLink *> links;
  links.swap(FLinks);
  for (TChangeLink *l : links)
    if (l->OnFree)
      l->OnFree(this);
}

int TImageList::Add(const QPixmap &Image) {
  if (!Image.isNull() && (Image.width() != FWidth || Image.height() != FHeight))
    FImages.push_back(Image.scaled(FWidth, FHeight));
  else
    FImages.push_back(Image);
  Change();
  return Count() - 1;
}

void TImageList::Clear() {
  FImages.clear();
  Change();
}

QPixmap TImageList::Image(int Index) const {
  if (Index < 0 || Index >= Count())
    return QPixmap();
  return FImages[static_cast<size_t>(Index)];
}

void TImageList::Draw(QPainter &Canvas, int X, int Y, int Index) const {
  if (Index < 0 || Index >= Count())
    return;
  Canvas.drawPixmap(X, Y, FImages[static_cast<size_t>(Index)]);
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
