#pragma once
// The window search of the single-instance check: a running main window keeps
// a local server named after its window class and title; a second copy knocks
// on it to have that window shown, and learns whether one answered.
#include <QObject>
#include <functional>
#include <string>

class QLocalServer;

namespace kv {

// The socket file for a window class and title, below RuntimeFolder().
std::string WindowBeaconPath(const std::string &ClassName, const std::string &Title);

class TWindowBeacon : public QObject {
  Q_OBJECT
public:
  TWindowBeacon(const std::string &ClassName, const std::string &Title, QObject *Parent = nullptr);
  ~TWindowBeacon() override;
  // Starts answering knocks. False when a live beacon of the same name exists
  // (a socket left by a dead process is replaced).
  bool Listen();
  bool Listening() const;
  // Called on the event loop for every knock, before the knocker is told.
  std::function<void()> OnShow;

signals:
  void ShowRequested();

private:
  void Accept();
  std::string FPath;
  QLocalServer *FServer = nullptr;
};

// Asks the window of that class and title to show itself; true when it
// answered within TimeoutMs. Blocks the calling thread.
bool KnockOnWindow(const std::string &ClassName, const std::string &Title, int TimeoutMs);

}  // namespace kv
