#pragma once
// Creating automation objects by program identifier. A class registered in
// this process is made here; otherwise the registry names its local server,
// which is reached over the session bus (started with "-Embedding" when it is
// not running) and asked for a new object. Calls on such an object wait at
// most CallTimeoutMs without running this thread's event loop; after a
// transport failure the object is dead and every call fails at once.
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "platform/automation/Dispatch.h"

namespace kv {

inline constexpr int CallTimeoutMs = 2000;
inline constexpr int ServerStartTimeoutMs = 10000;

using TInProcessFactory = std::function<std::shared_ptr<IDispatch>()>;
// Registers (or with an empty factory removes) a class made in this process.
void RegisterInProcessClass(const std::string &ProgID, TInProcessFactory Factory);

// Whether CreateAutomationObject would find the class (in this process or in
// the registry); nothing is started.
bool ClassRegistered(const std::string &ProgID);

// Raises EOleException: ClassNotFound, ServerUnavailable, Transport. A
// server that ends at start fails it at once; a stop request gives up the
// wait for a starting server.
std::shared_ptr<IDispatch> CreateAutomationObject(const std::string &ProgID, std::stop_token Stop = {});

// For a proxy of a server's object: whether it is dead, and the process id of
// its server (0 for other objects or when unknown).
bool ProxyDead(const IDispatch &Object);
long ProxyServerPid(const IDispatch &Object);

// Whether the process has ended (gone, or a zombie not yet reaped).
bool ProcessEnded(long Pid);

}  // namespace kv
