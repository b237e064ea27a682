#include "tests/fetch/Peers.h"

#include "tests/fetch/FetchSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

namespace kvtest {

namespace {

bool Listening(uint16_t Port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(Port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

std::string HtpasswdLine(const std::string &User, const std::string &Password) {
  const QString openssl = QString::fromStdString(FindProgram("openssl"));
  if (!openssl.isEmpty()) {
    QProcess p;
    p.start(openssl, {"passwd", "-apr1", QString::fromStdString(Password)});
    if (p.waitForFinished(10000) && p.exitCode() == 0) {
      const std::string hash = p.readAllStandardOutput().trimmed().toStdString();
      if (!hash.empty())
        return User + ":" + hash + "\n";
    }
  }
  return User + ":{PLAIN}" + Password + "\n";
}

}  // namespace

std::string FindProgram(const std::string &Name) {
  QString p = QStandardPaths::findExecutable(QString::fromStdString(Name));
  if (p.isEmpty())
    p = QStandardPaths::findExecutable(QString::fromStdString(Name), {"/usr/sbin", "/usr/local/sbin", "/sbin"});
  return p.toStdString();
}

TPeer::~TPeer() = default;

void TPeer::Launch(const std::string &Program, const QStringList &Args) {
  for (int attempt = 0; attempt < 3 && !FRunning; ++attempt) {
    FPort = FreeLoopbackPort();
    WriteConfig();
    FProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    FProcess.start(QString::fromStdString(Program), Args);
    if (!FProcess.waitForStarted(5000))
      continue;
    FRunning = Pump([&] { return FProcess.state() != QProcess::Running || Listening(FPort); }, 10000) &&
               FProcess.state() == QProcess::Running;
    if (!FRunning)
      Stop();
  }
}

void TPeer::Stop() {
  if (FProcess.state() == QProcess::NotRunning)
    return;
  FProcess.terminate();
  if (!FProcess.waitForFinished(5000)) {
    FProcess.kill();
    FProcess.waitForFinished(5000);
  }
}

TNginx::TNginx(const std::string &Dir, const std::string &User, const std::string &Password) {
  FDir = Dir;
  for (const char *sub : {"html/private", "tmp"})
    std::filesystem::create_directories(Dir + "/" + sub);
  WriteFile(Dir + "/htpasswd", HtpasswdLine(User, Password));
  const std::string program = FindProgram("nginx");
  if (!program.empty())
    Launch(program, {"-p", QString::fromStdString(Dir), "-c", QString::fromStdString(Dir + "/nginx.conf"), "-g",
                     "daemon off;"});
}

void TNginx::WriteConfig() {
  std::string conf;
  if (geteuid() == 0)
    conf += "user root;\n";  // workers could not read the private test folder
  conf += "worker_processes 1;\n"
          "error_log stderr;\n"
          "pid " + FDir + "/nginx.pid;\n"
          "events { worker_connections 64; }\n"
          "http {\n"
          "  access_log off;\n"
          // The request ends in a zero byte; a proxy passes it on by itself, and
          // closing with it unread would reset the proxy before the reply is out.
          "  lingering_close always;\n"
          "  client_body_temp_path " + FDir + "/tmp/body;\n"
          "  proxy_temp_path " + FDir + "/tmp/proxy;\n"
          "  fastcgi_temp_path " + FDir + "/tmp/fastcgi;\n"
          "  uwsgi_temp_path " + FDir + "/tmp/uwsgi;\n"
          "  scgi_temp_path " + FDir + "/tmp/scgi;\n"
          "  server {\n"
          "    listen 127.0.0.1:" + PortText() + ";\n"
          "    root " + FDir + "/html;\n"
          "    location /private/ {\n"
          "      auth_basic \"shop\";\n"
          "      auth_basic_user_file " + FDir + "/htpasswd;\n"
          "    }\n"
          "  }\n"
          "}\n";
  WriteFile(FDir + "/nginx.conf", conf);
}

TTinyproxy::TTinyproxy(const std::string &Dir, const std::string &User, const std::string &Password)
    : FUser(User), FPassword(Password) {
  FDir = Dir;
  std::filesystem::create_directories(Dir);
  const std::string program = FindProgram("tinyproxy");
  if (!program.empty())
    Launch(program, {"-d", "-c", QString::fromStdString(Dir + "/tinyproxy.conf")});
}

void TTinyproxy::WriteConfig() {
  std::string conf = "Port " + PortText() + "\n"
                     "Listen 127.0.0.1\n"
                     "Timeout 60\n"
                     "Allow 127.0.0.1\n"
                     "BasicAuth " + FUser + " " + FPassword + "\n"
                     "PidFile \"" + FDir + "/tinyproxy.pid\"\n"
                     "LogFile \"" + FDir + "/tinyproxy.log\"\n"
                     "LogLevel Info\n"
                     "MaxClients 16\n";
  if (geteuid() == 0)
    conf += "User root\nGroup root\n";  // it would switch to a user that cannot write the log here
  WriteFile(FDir + "/tinyproxy.conf", conf);
}

std::string TTinyproxy::Log() const { return ReadFile(FDir + "/tinyproxy.log"); }

}  // namespace kvtest
