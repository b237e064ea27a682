#include "platform/automation/Automation.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <mutex>
#include <strings.h>
#include <thread>

#include "platform/automation/Bus.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Wire.h"
#include "platform/qt/Codepage.h"

namespace kv {

namespace {

struct TCaseLess {
  bool operator()(const std::string &A, const std::string &B) const { return strcasecmp(A.c_str(), B.c_str()) < 0; }
};

std::mutex ClassesLock;
std::map<std::string, TInProcessFactory, TCaseLess> &InProcessClasses() {
  static std::map<std::string, TInProcessFactory, TCaseLess> Classes;
  return Classes;
}

// An object of a server process, reached by its owner's unique bus name so a
// restarted server is never mistaken for the one that made the object.
class TBusObject : public IDispatch {
public:
  TBusObject(QString Service, QString Path, long Pid) : FService(std::move(Service)), FPath(std::move(Path)), FPid(Pid) {}
  ~TBusObject() override {
    if (FDead)
      return;
    // No answer awaited: a hung server must not hold up the caller.
    QDBusMessage M = QDBusMessage::createMethodCall(FService, FPath, wire::Interface, wire::ReleaseMember);
    M.setAutoStartService(false);
    SessionBus().send(M);
  }

  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (FDead)
      throw EOleException(TOleError::Dead, OleErrorText(TOleError::Dead));
    if (!wire::ValidMemberName(Name))
      throw EOleException(TOleError::UnknownName, OleErrorText(TOleError::UnknownName));
    QDBusMessage M = QDBusMessage::createMethodCall(FService, FPath, wire::Interface, QString::fromLatin1(Name.c_str()));
    M.setAutoStartService(false);
    wire::AppendArguments(M, Args, Named);
    // Block (not BlockWithGui): the reply is awaited on the bus thread while
    // this thread's event loop stays still.
    const QDBusMessage Reply = SessionBus().call(M, QDBus::Block, CallTimeoutMs);
    if (Reply.type() == QDBusMessage::ReplyMessage) {
      const QList<QVariant> Out = Reply.arguments();
      return Out.isEmpty() ? TOleVariant() : wire::FromBus(Out.first());
    }
    const TOleError Kind =
        Reply.type() == QDBusMessage::ErrorMessage ? wire::ErrorKind(Reply.errorName()) : TOleError::Transport;
    if (Kind == TOleError::Transport) {
      FDead = true;
      std::string Text = OleErrorText(Kind);
      if (!Reply.errorMessage().isEmpty())
        Text += " " + ToAnsi(Reply.errorMessage());
      throw EOleException(Kind, Text);
    }
    throw EOleException(Kind, Reply.errorMessage().isEmpty() ? OleErrorText(Kind) : ToAnsi(Reply.errorMessage()));
  }

  bool Dead() const { return FDead; }
  long Pid() const { return FPid; }

private:
  QString FService, FPath;
  long FPid;
  bool FDead = false;
};

[[noreturn]] void Fail(TOleError Kind, const std::string &Detail = {}) {
  throw EOleException(Kind, Detail.empty() ? OleErrorText(Kind) : OleErrorText(Kind) + ": " + Detail);
}

// The unique name of the name's owner, or empty.
QString Owner(QDBusConnectionInterface &Bus, const QString &Name) {
  const QDBusReply<QString> R = Bus.serviceOwner(Name);
  return R.isValid() ? R.value() : QString();
}

QString StartServer(QDBusConnectionInterface &Bus, const QString &Name, const std::string &Path, std::stop_token Stop) {
  qint64 Pid = 0;
  // Detached with an argument list: no shell sees the path.
  if (!QProcess::startDetached(FromAnsi(Path), {QStringLiteral("-Embedding")}, QString(), &Pid))
    Fail(TOleError::ServerUnavailable, Path);
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ServerStartTimeoutMs);
  // Polled rather than watched: the caller's event loop must not run here.
  while (std::chrono::steady_clock::now() < Deadline && !Stop.stop_requested()) {
    const QString O = Owner(Bus, Name);
    if (!O.isEmpty())
      return O;
    // A program that ended without taking the name never will.
    if (Pid > 0 && ProcessEnded(long(Pid)) && Owner(Bus, Name).isEmpty())
      Fail(TOleError::ServerUnavailable, Path + " ended at start");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Fail(TOleError::ServerUnavailable, Stop.stop_requested() ? "given up" : "no answer from " + Path);
}

}  // namespace

void RegisterInProcessClass(const std::string &ProgID, TInProcessFactory Factory) {
  std::lock_guard<std::mutex> G(ClassesLock);
  if (Factory)
    InProcessClasses()[ProgID] = std::move(Factory);
  else
    InProcessClasses().erase(ProgID);
}

bool ClassRegistered(const std::string &ProgID) {
  {
    std::lock_guard<std::mutex> G(ClassesLock);
    if (InProcessClasses().count(ProgID))
      return true;
  }
  std::string CLSID, Path;
  return FindLocalServer(ProgID, CLSID, Path);
}

std::shared_ptr<IDispatch> CreateAutomationObject(const std::string &ProgID, std::stop_token Stop) {
  {
    TInProcessFactory Make;
    {
      std::lock_guard<std::mutex> G(ClassesLock);
      auto It = InProcessClasses().find(ProgID);
      if (It != InProcessClasses().end())
        Make = It->second;
    }
    if (Make) {
      auto Object = Make();
      if (!Object)
        Fail(TOleError::ServerUnavailable, ProgID);
      return Object;
    }
  }
  std::string CLSID, Path;
  if (!FindLocalServer(ProgID, CLSID, Path))
    Fail(TOleError::ClassNotFound);
  QDBusConnection Bus = SessionBus();
  QDBusConnectionInterface *Daemon = Bus.isConnected() ? Bus.interface() : nullptr;
  if (!Daemon)
    Fail(TOleError::ServerUnavailable, "no session bus");
  const QString Name = wire::BusNameForClass(CLSID);
  // A server that is just ending may drop the request; the second round
  // starts a new one.
  for (int Attempt = 0;; ++Attempt) {
    QString Service = Owner(*Daemon, Name);
    if (Service.isEmpty())
      Service = StartServer(*Daemon, Name, Path, Stop);
    QDBusMessage M = QDBusMessage::createMethodCall(Service, wire::FactoryPath, wire::Interface, wire::CreateObjectMember);
    M.setAutoStartService(false);
    const QDBusMessage Reply = Bus.call(M, QDBus::Block, CallTimeoutMs);
    if (Reply.type() == QDBusMessage::ReplyMessage && !Reply.arguments().isEmpty()) {
      const QString ObjectPath = qvariant_cast<QDBusObjectPath>(Reply.arguments().first()).path();
      const QDBusReply<uint> Pid = Daemon->servicePid(Service);
      return std::make_shared<TBusObject>(Service, ObjectPath, Pid.isValid() ? long(Pid.value()) : 0);
    }
    const TOleError Kind =
        Reply.type() == QDBusMessage::ErrorMessage ? wire::ErrorKind(Reply.errorName()) : TOleError::Transport;
    // Given up meanwhile: a second round against a server that hangs would
    // hold the caller for one more call's limit.
    if (Kind != TOleError::Transport || Attempt >= 1 || Stop.stop_requested())
      throw EOleException(Kind, ToAnsi(Reply.errorMessage()));
  }
}

bool ProcessEnded(long Pid) {
  // Not necessarily our child: once ended it is reaped by another process,
  // or waits as a zombie.
  if (Pid <= 0 || (kill(pid_t(Pid), 0) != 0 && errno == ESRCH))
    return true;
  std::ifstream F("/proc/" + std::to_string(Pid) + "/stat");
  std::string Line;
  std::getline(F, Line);
  // "pid (name) state ...": the name may hold anything, the state follows its last ")".
  const size_t End = Line.rfind(')');
  const char State = End != std::string::npos && End + 2 < Line.size() ? Line[End + 2] : 0;
  return State == 'Z' || State == 'X';
}

bool ProxyDead(const IDispatch &Object) {
  auto *P = dynamic_cast<const TBusObject *>(&Object);
  return P && P->Dead();
}

long ProxyServerPid(const IDispatch &Object) {
  auto *P = dynamic_cast<const TBusObject *>(&Object);
  return P ? P->Pid() : 0;
}

}  // namespace kv
