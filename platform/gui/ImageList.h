#pragma once
// An image list: pictures of one size addressed by index, telling registered
// change links when its content changes.
#include <functional>
#include <vector>

#include <QPixmap>

class QPainter;

namespace kv {

class TChangeLink {
public:
  std::function<void(class TImageList *Sender)> OnChange;
  // The list is going away: whoever holds it must let go.
  std::function<void(class TImageList *Sender)> OnFree;
};

class TImageList {
public:
  TImageList(int Width = 16, int Height = 16) : FWidth(Width), FHeight(Height) {}
  ~TImageList();
  TImageList(const TImageList &) = delete;
  TImageList &operator=(const TImageList &) = delete;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int Count() const { return static_cast<int>(FImages.size()); }
  // Scaled to the list's size; returns the new index.
  int Add(const QPixmap &Image);
  // Index is clamped to the list; returns the index taken.
  int Insert(int Index, const QPixmap &Image);
  // Nothing outside the list.
  void Delete(int Index);
  void Clear();
  // A null pixmap outside the list.
  QPixmap Image(int Index) const;
  // Nothing outside the list.
  void Draw(QPainter &Canvas, int X, int Y, int Index) const;
  // Whether drawing image Index puts any pixel on the canvas: false outside
  // the list and for a null or wholly transparent image.
  bool Shows(int Index) const;

  void RegisterChanges(TChangeLink *Link);
  void UnRegisterChanges(TChangeLink *Link);

private:
  void Change();
  int FWidth, FHeight;
  struct TImage {
    QPixmap Picture;
    bool Shows = false;
  };
  std::vector<TImage> FImages;
  std::vector<TChangeLink *> FLinks;
};

}  // namespace kv
