#pragma once
// Placeholder of the AVI animation control: remembers what it is told and
// shows nothing. The clip reader and player replace it.
#include <QWidget>

#include <string>

class TAnimate : public QWidget {
public:
  explicit TAnimate(QWidget *Parent = nullptr);
  const std::string &FileName() const { return FFileName; }
  void SetFileName(const std::string &Name) { FFileName = Name; }
  int StopFrame = 0;  // the last frame played before the loop repeats; 0 = the clip's last
  bool Active() const { return FActive; }
  void SetActive(bool Value) { FActive = Value; }
  int CurrentFrame() const { return 0; }

private:
  std::string FFileName;
  bool FActive = false;
};
