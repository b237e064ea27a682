#pragma once
// The server side: serves the objects of one class on the session bus under
// the name derived from its CLSID. Each object belongs to the client that
// created it; a client that leaves the bus loses its objects. Calls arrive
// through this thread's event loop, one at a time. Every path answers the
// bus's introspection with what is served there.
#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/automation/Dispatch.h"

class QDBusMessage;
class QDBusServiceWatcher;
class QTimer;

namespace kv {

class TAutomationServer : public QObject {
public:
  using TFactory = std::function<std::shared_ptr<IDispatch>()>;
  TAutomationServer(std::string CLSID, TFactory Factory);
  ~TAutomationServer() override;

  // Takes the bus name; false (with the reason) when there is no session bus
  // or another process serves the class already.
  bool Start(std::string &Error);
  // Gives the bus name up, so a client starts a fresh server.
  void Stop();
  int ObjectCount() const { return int(FObjects.size()); }
  // Runs each time the last object goes, and when no object has been asked
  // for within UnusedLimitMs of the start (EndWhenUnused): a server started
  // for a client that vanished before asking must not stay for ever.
  std::function<void()> OnLastRelease;
  void EndWhenUnused(int UnusedLimitMs);
  // Runs once when the bus connection has closed (the bus ended): nobody
  // can reach the objects any more.
  std::function<void()> OnBusLost;

  // For the bus glue only.
  bool HandleMessage(const QDBusMessage &Message, const QDBusConnection &Connection);
  QString Introspect(const QString &Path) const;

private:
  struct TEntry {
    QString Owner;
    std::shared_ptr<IDispatch> Object;
  };
  void ReleaseOwner(const QString &Owner);
  void Released();
  class TBusNode;
  std::string FCLSID;
  TFactory FFactory;
  std::unique_ptr<TBusNode> FNode;
  QDBusConnection FBus{QString()};
  QDBusServiceWatcher *FWatcher = nullptr;
  QTimer *FBusCheck = nullptr;
  std::map<unsigned, TEntry> FObjects;
  unsigned FNextId = 1;
  bool FStarted = false;
};

}  // namespace kv
