#pragma once
// How late-bound calls travel on the session bus; shared by the client and
// the server side of the layer, used by nobody else.
//
// A server owns the bus name BusNameForClass(CLSID). Its factory at "/"
// answers CreateObject with the path of a new object ("/objects/N"). A call
// of a member is a method call of the same name on the object's path, its
// positional arguments as bus values (int32, boolean, string, double, array of
// string arrays) and, when some are passed by name, one last a{sv} holding
// them. Failures come back as the error names below, with the text.
#include <QDBusMessage>
#include <QVariant>

#include <string>

#include "platform/automation/Dispatch.h"

namespace kv::wire {

inline constexpr char Interface[] = "org.korvandel.Automation";
inline constexpr char FactoryPath[] = "/";
inline constexpr char ObjectPathPrefix[] = "/objects/";
inline constexpr char CreateObjectMember[] = "CreateObject";
inline constexpr char ReleaseMember[] = "Release";

// "{8B5B...}" -> "org.korvandel.Automation.C8B5B..."
QString BusNameForClass(const std::string &CLSID);

QString ErrorName(TOleError Kind);
// Our own error names map back to their kind; anything else (no reply,
// service unknown, disconnected, ...) is a transport failure.
TOleError ErrorKind(const QString &Name);

// Raise EOleException(TypeMismatch) for a value that has no bus form.
QVariant ToBus(const TOleVariant &V);
TOleVariant FromBus(const QVariant &V);

// Puts Args (and Named) into the message; reads them back on the other side.
void AppendArguments(QDBusMessage &Message, const TOleArgs &Args, const TNamedArgs &Named);
void ReadArguments(const QDBusMessage &Message, TOleArgs &Args, TNamedArgs &Named);

// The bus signature of a parameter of that type ("v" for any value).
QString Signature(TVarType Type);

// A member name the bus can carry.
bool ValidMemberName(const std::string &Name);

}  // namespace kv::wire
