#pragma once
// The result list's pictures: the row and cell images (small and large), the
// header images and the two sort glyphs, cut from our own picture strips.
#include <QPixmap>

#include "platform/gui/ImageList.h"

namespace kv {
class TReportListView;
}

// Row and cell images by index, as the rows carry them.
namespace ListImage {
inline constexpr int Row = 0, RowWithPage = 1, Datasheet = 2, InStock = 3, Call = 4, NotInStock = 5, Cell = 8;
}
// Header images by index: the sort directions, and the datasheet column's sign.
namespace HeaderImage {
inline constexpr int Ascending = 0, Descending = 1, Datasheet = 2;
}

class TListPictures {
public:
  TListPictures();
  TListPictures(const TListPictures &) = delete;
  TListPictures &operator=(const TListPictures &) = delete;

  kv::TImageList ilstSmallIcons{16, 16};
  kv::TImageList ilstLargeIcons{32, 32};
  kv::TImageList ilstHeaderItems{16, 16};
  QPixmap SortUpGlyph, SortDownGlyph;

  // Header images and sort glyphs; the row images follow with the layout.
  void ApplyTo(kv::TReportListView &List);
};
