#include "client/window/uListPictures.h"

#include "components/replistv.h"

namespace {

// Cuts a strip of square cells, Size pixels each, into the list.
void AddStrip(kv::TImageList &List, const char *Resource, int Size) {
  const QPixmap Strip(Resource);
  for (int X = 0; X + Size <= Strip.width(); X += Size)
    List.Add(Strip.copy(X, 0, Size, Size));
}

}  // namespace

TListPictures::TListPictures() {
  AddStrip(ilstSmallIcons, ":/client/listimages.png", 16);
  AddStrip(ilstLargeIcons, ":/client/listimages.png", 16);
  AddStrip(ilstHeaderItems, ":/client/headerimages.png", 16);
  const QPixmap Glyphs(":/client/sortglyphs.png");
  SortUpGlyph = Glyphs.copy(0, 0, 8, 8);
  SortDownGlyph = Glyphs.copy(8, 0, 8, 8);
}

void TListPictures::ApplyTo(kv::TReportListView &List) {
  List.SetSortUpGlyph(SortUpGlyph);
  List.SetSortDownGlyph(SortDownGlyph);
  List.SetHeaderImages(&ilstHeaderItems);
}
