#include "platform/qt/WindowSearch.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/NamedMutex.h"
#include "platform/SysUtils.h"

namespace kv {

static const QByteArray Knock = "show\n";
static const QByteArray Answer = "shown\n";

static std::string Safe(const std::string &S) {
  std::string out;
  for (unsigned char c : S) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.')
      out += static_cast<char>(c);
    else
      out += Format("%%%02X", c);
  }
  return out;
}

std::string WindowBeaconPath(const std::string &ClassName, const std::string &Title) {
  const std::string dir = RuntimeFolder();
  std::string name = "window-" + Safe(ClassName) + "-" + Safe(Title);
  // A socket path has room for about 107 bytes; long names go by a hash.
  if (dir.size() + 1 + name.size() > 100) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : ClassName + '\n' + Title)
      h = (h ^ c) * 1099511628211ull;
    name = Format("window-%016llx", static_cast<unsigned long long>(h));
  }
  return dir + "/" + name;
}

TWindowBeacon::TWindowBeacon(const std::string &ClassName, const std::string &Title, QObject *Parent)
    : QObject(Parent), FPath(WindowBeaconPath(ClassName, Title)) {}

TWindowBeacon::~TWindowBeacon() {
  if (FServer)
    FServer->close();
}

bool TWindowBeacon::Listening() const { return FServer && FServer->isListening(); }

bool TWindowBeacon::Listen() {
  if (Listening())
    return true;
  const QString path = QString::fromLocal8Bit(FPath.c_str());
  // Someone holds the name: a live beacon accepts a connection, a socket
  // file left by a process that died does not. (listen itself may replace a
  // live socket, so it cannot tell.)
  {
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(1000)) {
      probe.abort();
      return false;
    }
  }
  if (!FServer) {
    FServer = new QLocalServer(this);
    connect(FServer, &QLocalServer::newConnection, this, &TWindowBeacon::Accept);
  }
  QLocalServer::removeServer(path);
  return FServer->listen(path);
}

void TWindowBeacon::Accept() {
  while (QLocalSocket *s = FServer->nextPendingConnection()) {
    connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    auto serve = [this, s]() {
      if (!s->canReadLine()) {
        // Anything but a short knock is not ours.
        if (s->bytesAvailable() > Knock.size()) {
          s->abort();
          s->deleteLater();
        }
        return;
      }
      if (s->readLine() != Knock) {
        s->abort();
        s->deleteLater();
        return;
      }
      if (OnShow)
        OnShow();
      emit ShowRequested();
      s->write(Answer);
      s->flush();
      s->disconnectFromServer();
    };
    connect(s, &QLocalSocket::readyRead, this, serve);
    if (s->bytesAvailable() > 0)
      serve();
  }
}

bool KnockOnWindow(const std::string &ClassName, const std::string &Title, int TimeoutMs) {
  QElapsedTimer clock;
  clock.start();
  auto left = [&]() { return std::max(0, TimeoutMs - static_cast<int>(clock.elapsed())); };
  QLocalSocket s;
  s.connectToServer(QString::fromLocal8Bit(WindowBeaconPath(ClassName, Title).c_str()));
  if (!s.waitForConnected(left()))
    return false;
  s.write(Knock);
  if (!s.waitForBytesWritten(left()))
    return false;
  QByteArray got;
  while (got.size() < Answer.size()) {
    if (s.bytesAvailable() == 0 && !s.waitForReadyRead(left()))
      break;
    got += s.readAll();
  }
  return got.startsWith(Answer);
}

}  // namespace kv
