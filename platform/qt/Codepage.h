#pragma once
// The one conversion pair between the system's 8-bit Windows-1252 text and
// Qt's strings, used only at the widget edge.
#include <QString>
#include <string>

namespace kv {

QString FromAnsi(const std::string &S);
// Characters with no Windows-1252 byte become "?".
std::string ToAnsi(const QString &S);

}  // namespace kv
