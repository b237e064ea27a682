#pragma once
// The busy cursor. It is assigned, not stacked: showing it twice and
// restoring once leaves the default cursor. Does nothing without a GUI.
namespace kv {

void ShowHourglass();
void RestoreCursor();

// Shows the hourglass for its lifetime.
class THourglass {
public:
  THourglass();
  ~THourglass();
  THourglass(const THourglass &) = delete;
  THourglass &operator=(const THourglass &) = delete;

private:
  bool FSet = false;
};

}  // namespace kv
