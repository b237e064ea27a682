#include "platform/automation/Bus.h"

#include <QDBusConnectionInterface>

#include <mutex>

namespace kv {

QDBusConnection SessionBus() {
  static std::mutex Lock;
  static QString Name, Address;
  static int Generation = 0;
  std::lock_guard<std::mutex> G(Lock);
  const QString Wanted = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  if (!Name.isEmpty()) {
    QDBusConnection Current(Name);
    if (Current.isConnected() && Address == Wanted)
      return Current;
    QDBusConnection::disconnectFromBus(Name);
  }
  Name = QStringLiteral("kv-session-%1").arg(++Generation);
  Address = Wanted;
  // Without an address the bus library looks where the desktop puts it.
  return Wanted.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, Name)
                          : QDBusConnection::connectToBus(Wanted, Name);
}

}  // namespace kv
