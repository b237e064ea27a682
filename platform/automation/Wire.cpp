#include "platform/automation/Wire.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QStringList>

#include "platform/qt/Codepage.h"

namespace kv::wire {

namespace {

using TRows = QList<QStringList>;

void RegisterTypes() {
  static const bool Done = [] {
    qDBusRegisterMetaType<TRows>();
    return true;
  }();
  (void)Done;
}

const struct {
  TOleError Kind;
  const char *Name;
} ErrorNames[] = {
    {TOleError::UnknownName, "org.korvandel.Automation.Error.UnknownName"},
    {TOleError::BadParamCount, "org.korvandel.Automation.Error.BadParamCount"},
    {TOleError::TypeMismatch, "org.korvandel.Automation.Error.TypeMismatch"},
    {TOleError::Exception, "org.korvandel.Automation.Error.Exception"},
    {TOleError::ClassNotFound, "org.korvandel.Automation.Error.ClassNotFound"},
};

[[noreturn]] void Mismatch() { throw EOleException(TOleError::TypeMismatch, OleErrorText(TOleError::TypeMismatch)); }

TOleVariant ArrayFromRows(const TRows &Rows) {
  TVariantArray2D A;
  A.Rows = int(Rows.size());
  A.Cols = Rows.isEmpty() ? 0 : int(Rows.first().size());
  for (const QStringList &Row : Rows) {
    if (Row.size() != A.Cols)
      Mismatch();
    for (const QString &Cell : Row)
      A.Cells.push_back(ToAnsi(Cell));
  }
  return A;
}

}  // namespace

QString BusNameForClass(const std::string &CLSID) {
  QString Name = QStringLiteral("org.korvandel.Automation.C");
  for (char C : CLSID)
    if (isxdigit(static_cast<unsigned char>(C)))
      Name += QChar(toupper(static_cast<unsigned char>(C)));
  return Name;
}

QString ErrorName(TOleError Kind) {
  for (const auto &E : ErrorNames)
    if (E.Kind == Kind)
      return QString::fromLatin1(E.Name);
  return QStringLiteral("org.korvandel.Automation.Error.Failed");
}

TOleError ErrorKind(const QString &Name) {
  for (const auto &E : ErrorNames)
    if (Name == QLatin1String(E.Name))
      return E.Kind;
  return TOleError::Transport;
}

QVariant ToBus(const TOleVariant &V) {
  RegisterTypes();
  switch (V.Type()) {
  case TVarType::Integer: return QVariant(V.AsInteger());
  case TVarType::Boolean: return QVariant(V.AsBoolean());
  case TVarType::String: return QVariant(FromAnsi(V.AsString()));
  case TVarType::Double: return QVariant(V.AsDouble());
  case TVarType::Array2D: {
    const TVariantArray2D &A = V.AsArray();
    TRows Rows;
    for (int r = 0; r < A.Rows; ++r) {
      QStringList Row;
      for (int c = 0; c < A.Cols; ++c)
        Row << FromAnsi(A.At(r, c));
      Rows << Row;
    }
    return QVariant::fromValue(Rows);
  }
  // An object lives in its own process: the bus carries no reference to it.
  case TVarType::Dispatch:
  case TVarType::Empty: break;
  }
  Mismatch();
}

TOleVariant FromBus(const QVariant &V) {
  RegisterTypes();
  switch (V.metaType().id()) {
  case QMetaType::Int: return V.toInt();
  case QMetaType::Bool: return V.toBool();
  case QMetaType::QString: return ToAnsi(V.toString());
  case QMetaType::Double: return V.toDouble();
  case QMetaType::UChar:
  case QMetaType::Short:
  case QMetaType::UShort: return V.toInt();
  case QMetaType::UInt:
  case QMetaType::LongLong:
  case QMetaType::ULongLong: {
    bool Ok = false;
    const qlonglong N = V.toLongLong(&Ok);
    if (!Ok || N < INT32_MIN || N > INT32_MAX || (V.metaType().id() == QMetaType::ULongLong && V.toULongLong() > INT32_MAX))
      Mismatch();
    return int(N);
  }
  default: break;
  }
  if (V.canConvert<QDBusVariant>() && V.metaType() == QMetaType::fromType<QDBusVariant>())
    return FromBus(V.value<QDBusVariant>().variant());
  if (V.metaType() == QMetaType::fromType<QDBusArgument>()) {
    const QDBusArgument Arg = V.value<QDBusArgument>();
    if (Arg.currentSignature() == QLatin1String("aas"))
      return ArrayFromRows(qdbus_cast<TRows>(Arg));
  }
  if (V.metaType() == QMetaType::fromType<TRows>())
    return ArrayFromRows(V.value<TRows>());
  Mismatch();
}

void AppendArguments(QDBusMessage &Message, const TOleArgs &Args, const TNamedArgs &Named) {
  QList<QVariant> List;
  for (const TOleVariant &A : Args)
    List << ToBus(A);
  if (!Named.empty()) {
    QVariantMap Map;
    for (const TNamedArg &A : Named)
      Map.insert(FromAnsi(A.Name), ToBus(A.Value));
    List << Map;
  }
  Message.setArguments(List);
}

void ReadArguments(const QDBusMessage &Message, TOleArgs &Args, TNamedArgs &Named) {
  RegisterTypes();
  QList<QVariant> List = Message.arguments();
  // A last a{sv} holds the arguments passed by name.
  if (!List.isEmpty() && List.last().metaType() == QMetaType::fromType<QDBusArgument>() &&
      List.last().value<QDBusArgument>().currentSignature() == QLatin1String("a{sv}")) {
    const QVariantMap Map = qdbus_cast<QVariantMap>(List.last().value<QDBusArgument>());
    for (auto It = Map.cbegin(); It != Map.cend(); ++It)
      Named.push_back({ToAnsi(It.key()), FromBus(It.value())});
    List.removeLast();
  }
  for (const QVariant &V : List)
    Args.push_back(FromBus(V));
}

QString Signature(TVarType Type) {
  switch (Type) {
  case TVarType::Integer: return QStringLiteral("i");
  case TVarType::Boolean: return QStringLiteral("b");
  case TVarType::String: return QStringLiteral("s");
  case TVarType::Double: return QStringLiteral("d");
  case TVarType::Array2D: return QStringLiteral("aas");
  case TVarType::Dispatch:
  case TVarType::Empty: break;
  }
  return QStringLiteral("v");
}

bool ValidMemberName(const std::string &Name) {
  if (Name.empty() || Name.size() > 255 || isdigit(static_cast<unsigned char>(Name[0])))
    return false;
  for (char C : Name)
    if (!isalnum(static_cast<unsigned char>(C)) && C != '_')
      return false;
  return true;
}

}  // namespace kv::wire
