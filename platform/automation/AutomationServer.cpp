#include "platform/automation/AutomationServer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QTimer>

#include "platform/automation/Bus.h"
#include "platform/automation/Wire.h"
#include "platform/qt/Codepage.h"

namespace kv {

class TAutomationServer::TBusNode : public QDBusVirtualObject {
public:
  explicit TBusNode(TAutomationServer &Server) : FServer(Server) {}
  bool handleMessage(const QDBusMessage &Message, const QDBusConnection &Connection) override {
    return FServer.HandleMessage(Message, Connection);
  }
  QString introspect(const QString &Path) const override { return FServer.Introspect(Path); }

private:
  TAutomationServer &FServer;
};

TAutomationServer::TAutomationServer(std::string CLSID, TFactory Factory)
    : FCLSID(std::move(CLSID)), FFactory(std::move(Factory)), FNode(std::make_unique<TBusNode>(*this)) {}

TAutomationServer::~TAutomationServer() {
  Stop();
  FObjects.clear();
}

// How often the server looks whether its bus connection still stands.
constexpr int BusCheckMs = 250;

bool TAutomationServer::Start(std::string &Error) {
  QDBusConnection Bus = SessionBus();
  if (!Bus.isConnected() || !Bus.interface()) {
    Error = "no session bus";
    return false;
  }
  if (!Bus.registerVirtualObject(wire::FactoryPath, FNode.get(), QDBusConnection::SubPath)) {
    Error = "cannot register the objects";
    return false;
  }
  const QString Name = wire::BusNameForClass(FCLSID);
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> R =
      Bus.interface()->registerService(Name, QDBusConnectionInterface::DontQueueService,
                                       QDBusConnectionInterface::DontAllowReplacement);
  if (!R.isValid() || R.value() != QDBusConnectionInterface::ServiceRegistered) {
    Bus.unregisterObject(wire::FactoryPath, QDBusConnection::UnregisterTree);
    Error = "another server owns " + ToAnsi(Name);
    return false;
  }
  FWatcher = new QDBusServiceWatcher(QString(), Bus, QDBusServiceWatcher::WatchForUnregistration, this);
  connect(FWatcher, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString &S) { ReleaseOwner(S); });
  FBus = Bus;
  // The bus library tells nobody when its connection closes; it is looked at.
  FBusCheck = new QTimer(this);
  connect(FBusCheck, &QTimer::timeout, this, [this] {
    if (FBus.isConnected())
      return;
    FBusCheck->stop();
    if (OnBusLost)
      OnBusLost();
  });
  FBusCheck->start(BusCheckMs);
  FStarted = true;
  return true;
}

void TAutomationServer::EndWhenUnused(int UnusedLimitMs) {
  QTimer::singleShot(UnusedLimitMs, this, [this] {
    if (FNextId == 1 && OnLastRelease)
      OnLastRelease();
  });
}

void TAutomationServer::Stop() {
  if (!FStarted)
    return;
  FStarted = false;
  FBus.unregisterService(wire::BusNameForClass(FCLSID));
  FBus.unregisterObject(wire::FactoryPath, QDBusConnection::UnregisterTree);
}

static void Reply(const QDBusConnection &C, const QDBusMessage &M, const QList<QVariant> &Out = {}) {
  if (M.isReplyRequired())
    C.send(M.createReply(Out));
}

static void ReplyError(const QDBusConnection &C, const QDBusMessage &M, TOleError Kind, const std::string &Text) {
  if (M.isReplyRequired())
    C.send(M.createErrorReply(wire::ErrorName(Kind), FromAnsi(Text)));
}

bool TAutomationServer::HandleMessage(const QDBusMessage &M, const QDBusConnection &C) {
  if (M.type() != QDBusMessage::MethodCallMessage)
    return false;
  // The bus library answers the standard interfaces (introspection through
  // Introspect above) and, for any other, with its own error.
  if (!M.interface().isEmpty() && M.interface() != QLatin1String(wire::Interface))
    return false;
  if (M.interface().isEmpty() && M.member() == QLatin1String("Introspect"))
    return false;
  const QString Path = M.path();
  if (Path == QLatin1String(wire::FactoryPath)) {
    if (M.member() != QLatin1String(wire::CreateObjectMember))
      return false;
    if (!M.arguments().isEmpty()) {
      ReplyError(C, M, TOleError::BadParamCount, OleErrorText(TOleError::BadParamCount));
      return true;
    }
    std::shared_ptr<IDispatch> Object;
    try {
      Object = FFactory();
    } catch (const std::exception &E) {
      ReplyError(C, M, TOleError::Exception, E.what());
      return true;
    }
    if (!Object) {
      ReplyError(C, M, TOleError::Exception, OleErrorText(TOleError::Exception));
      return true;
    }
    const unsigned Id = FNextId++;
    FObjects[Id] = {M.service(), std::move(Object)};
    FWatcher->addWatchedService(M.service());
    Reply(C, M, {QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(wire::ObjectPathPrefix) + QString::number(Id)))});
    return true;
  }
  if (!Path.startsWith(QLatin1String(wire::ObjectPathPrefix)))
    return false;
  bool Ok = false;
  const unsigned Id = Path.mid(int(strlen(wire::ObjectPathPrefix))).toUInt(&Ok);
  auto It = Ok ? FObjects.find(Id) : FObjects.end();
  if (It == FObjects.end())
    return false;  // "unknown object": gone or never made
  if (M.member() == QLatin1String(wire::ReleaseMember)) {
    // Only the creator may end its object.
    if (It->second.Owner != M.service()) {
      ReplyError(C, M, TOleError::UnknownName, OleErrorText(TOleError::UnknownName));
      return true;
    }
    FObjects.erase(It);
    Reply(C, M);
    Released();
    return true;
  }
  // The object stays alive through the call even if the call releases it.
  const std::shared_ptr<IDispatch> Object = It->second.Object;
  try {
    TOleArgs Args;
    TNamedArgs Named;
    wire::ReadArguments(M, Args, Named);
    const TOleVariant Result = Object->Invoke(ToAnsi(M.member()), Args, Named);
    Reply(C, M, Result.IsEmpty() ? QList<QVariant>() : QList<QVariant>{wire::ToBus(Result)});
  } catch (const EOleException &E) {
    ReplyError(C, M, E.Kind(), E.what());
  } catch (const std::exception &E) {
    ReplyError(C, M, TOleError::Exception, E.what());
  }
  return true;
}

namespace {

QString Method(const QString &Name, const QString &Args) {
  return QStringLiteral("    <method name=\"%1\">\n%2    </method>\n").arg(Name.toHtmlEscaped(), Args);
}

QString Arg(const QString &Name, const QString &Type, const char *Direction) {
  return QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"%3\"/>\n")
      .arg(Name.toHtmlEscaped(), Type, QLatin1String(Direction));
}

QString Interface(const QString &Methods) {
  return QStringLiteral("  <interface name=\"%1\">\n%2  </interface>\n").arg(QLatin1String(wire::Interface), Methods);
}

QString Node(const QString &Name) { return QStringLiteral("  <node name=\"%1\"/>\n").arg(Name); }

}  // namespace

QString TAutomationServer::Introspect(const QString &Path) const {
  const QString Prefix = QString::fromLatin1(wire::ObjectPathPrefix);
  if (Path == QLatin1String(wire::FactoryPath))
    return Interface(Method(QLatin1String(wire::CreateObjectMember), Arg(QStringLiteral("Object"), QStringLiteral("o"), "out"))) +
           Node(Prefix.mid(1, Prefix.size() - 2));
  if (Path == Prefix.chopped(1)) {
    QString Out;
    for (const auto &[Id, Entry] : FObjects)
      Out += Node(QString::number(Id));
    return Out;
  }
  bool Ok = false;
  const unsigned Id = Path.startsWith(Prefix) ? Path.mid(Prefix.size()).toUInt(&Ok) : 0;
  const auto It = Ok ? FObjects.find(Id) : FObjects.end();
  if (It == FObjects.end())
    return QString();
  QString Methods;
  for (const TMemberInfo &M : It->second.Object->Members()) {
    QString Args;
    for (size_t i = 0; i < M.Params.size(); ++i) {
      const QString Name = i < M.ParamNames.size() ? FromAnsi(M.ParamNames[i]) : QStringLiteral("Arg%1").arg(i + 1);
      Args += Arg(Name, wire::Signature(M.Params[i]), "in");
    }
    Methods += Method(FromAnsi(M.Name), Args);
  }
  return Interface(Methods + Method(QLatin1String(wire::ReleaseMember), QString()));
}

void TAutomationServer::ReleaseOwner(const QString &Owner) {
  FWatcher->removeWatchedService(Owner);
  bool Any = false;
  for (auto It = FObjects.begin(); It != FObjects.end();) {
    if (It->second.Owner == Owner) {
      It = FObjects.erase(It);
      Any = true;
    } else {
      ++It;
    }
  }
  if (Any)
    Released();
}

void TAutomationServer::Released() {
  if (FObjects.empty() && OnLastRelease)
    OnLastRelease();
}

}  // namespace kv
