#pragma once
// The session bus as the environment names it now. Qt's own session-bus
// connection is made once and kept for the process's life, even after its
// bus has gone; this one is made again when the address changes or the
// connection has closed, so a process outlives its first bus.
#include <QDBusConnection>

namespace kv {

// Connected, or not connected when there is no session bus.
QDBusConnection SessionBus();

}  // namespace kv
