/* The boundary of libFetchlet.so, in plain C types: the client and primary
   bind these functions by name at run time. Strings are zero-terminated and
   owned by the caller (GetFile copies them before it returns); a null pointer
   reads as an empty string. Everything runs on the caller's thread and Qt
   event loop, so a QCoreApplication must exist. */
#ifndef KV_FETCHLET_H
#define KV_FETCHLET_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Success is 0 or 1; UserData is handed back as GetFile received it. */
typedef void (*TGetFileDoneProc)(int32_t Success, intptr_t UserData);

typedef void (*TGetFileProc)(const char *URL, const char *FileName, const char *Host, const char *Port,
                             const char *User, const char *Password, const char *ProxyHost,
                             const char *ProxyPort, const char *ProxyUser, const char *ProxyPassword,
                             TGetFileDoneProc Callback, bool UseProxy, intptr_t UserData, int32_t GroupId);
typedef void (*TTerminateFileGroupProc)(int32_t GroupId);
/* The limits of the fetches of GroupId started from now on: the most bytes a
   reply may have (header block and body) and the seconds it may go without
   data and in all (0: no limit). A reply past one fails the fetch. A group
   never set has the library's own limits, those of an update file. */
typedef void (*TSetFileGroupLimitsProc)(int32_t GroupId, uint64_t MaxReply, int32_t NoDataSeconds,
                                        int32_t InAllSeconds);
typedef void (*TTerminateProcessesProc)(void);

/* The exports callers use. primary exports the same names and forwards
   them to the internal names below, so its forwarders never bind to
   themselves. */
#define FETCHLET_GETFILE "GetFile"
#define FETCHLET_TERMINATEFILEGROUP "TerminateFileGroup"
#define FETCHLET_TERMINATEPROCESSES "TerminateProcesses"
#define FETCHLET_SETFILEGROUPLIMITS "SetFileGroupLimits"

#define FETCHLET_INTERNAL_GETFILE "Fetchlet_GetFile"
#define FETCHLET_INTERNAL_TERMINATEFILEGROUP "Fetchlet_TerminateFileGroup"
#define FETCHLET_INTERNAL_TERMINATEPROCESSES "Fetchlet_TerminateProcesses"
#define FETCHLET_INTERNAL_SETFILEGROUPLIMITS "Fetchlet_SetFileGroupLimits"

#ifdef __cplusplus
}

#include "platform/Limits.h"

/* A table entry as the limits of the fetches of GroupId that start next;
   nothing without the library's setter. */
inline void SetFetchLimits(TSetFileGroupLimitsProc Set, int32_t GroupId, const kv::TConversationLimits &Limits) {
  if (Set)
    Set(GroupId, Limits.MaxReply, Limits.Time.NoData, Limits.Time.InAll);
}
#endif

#endif
