// A real web server as the peer: the request's trailing zero byte must not
// make it reset the connection before the reply has been read.
#include "net/cTambSoc.h"
#include "platform/qt/Messages.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace kv;

namespace {

std::string FindNginx() {
  QString p = QStandardPaths::findExecutable("nginx");
  if (p.isEmpty())
    p = QStandardPaths::findExecutable("nginx", {"/usr/sbin", "/usr/local/sbin", "/sbin"});
  return p.toStdString();
}

std::string Page() {
  std::string s = "<html><body>\n";
  for (int i = 0; s.size() < 300 * 1024; ++i)
    s += "<p>offer " + std::to_string(i) + " BC547 in stock</p>\n";
  return s + "</body></html>\n";
}

class TNginx {
public:
  TNginx(const std::string &Binary, const std::string &Dir) : FDir(Dir) {
    for (const char *sub : {"html", "logs", "tmp"})
      std::filesystem::create_directories(Dir + "/" + sub);
    for (int attempt = 0; attempt < 3 && !FRunning; ++attempt) {
      FPort = kvtest::FreeLoopbackPort();
      std::string conf;
      if (geteuid() == 0)
        conf += "user root;\n";  // workers could not read the private test folder
      conf += "worker_processes 1;\n"
              "error_log " + Dir + "/logs/error.log;\n"
              "pid " + Dir + "/nginx.pid;\n"
              "events { worker_connections 64; }\n"
              "http {\n"
              "  access_log off;\n"
              "  client_body_temp_path " + Dir + "/tmp/body;\n"
              "  proxy_temp_path " + Dir + "/tmp/proxy;\n"
              "  fastcgi_temp_path " + Dir + "/tmp/fastcgi;\n"
              "  uwsgi_temp_path " + Dir + "/tmp/uwsgi;\n"
              "  scgi_temp_path " + Dir + "/tmp/scgi;\n"
              "  server {\n"
              "    listen 127.0.0.1:" + std::to_string(FPort) + ";\n"
              "    root " + Dir + "/html;\n"
              "  }\n"
              "}\n";
      kvtest::WriteFile(Dir + "/nginx.conf", conf);
      FProcess.setProcessChannelMode(QProcess::ForwardedChannels);
      FProcess.start(QString::fromStdString(Binary),
                     {"-p", QString::fromStdString(Dir), "-c", QString::fromStdString(Dir + "/nginx.conf"), "-g",
                      "daemon off;"});
      if (!FProcess.waitForStarted(5000))
        continue;
      FRunning = WaitUntil([&] { return FProcess.state() != QProcess::Running || Listening(); }, 10000) &&
                 FProcess.state() == QProcess::Running;
      if (!FRunning)
        Stop();
    }
  }
  ~TNginx() { Stop(); }
  bool Running() const { return FRunning; }
  std::string PortText() const { return std::to_string(FPort); }
  std::string ErrorLog() const { return kvtest::ReadFile(FDir + "/logs/error.log"); }

private:
  bool Listening() {
    QTcpSocket probe;
    probe.connectToHost("127.0.0.1", FPort);
    return probe.waitForConnected(100);
  }
  void Stop() {
    if (FProcess.state() == QProcess::NotRunning)
      return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(5000)) {
      FProcess.kill();
      FProcess.waitForFinished(5000);
    }
  }
  std::string FDir;
  uint16_t FPort = 0;
  bool FRunning = false;
  QProcess FProcess;
};

}  // namespace

TEST(Nginx, APageFetchedWithTheTrailingZeroByteArrivesWhole) {
  const std::string binary = FindNginx();
  if (binary.empty())
    GTEST_SKIP() << "nginx is not installed";
  kvtest::IsolatedEnv env;
  const std::string page = Page();
  kvtest::WriteFile(env / "nginx/html/index.html", page);
  TNginx nginx(binary, env / "nginx");
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();

  // The search engine's settings, and a few rounds so a reset race would show.
  for (int round = 0; round < 5; ++round) {
    TTambleSocket s;
    s.MaximumReceiveLength = 65000;
    int done = 0;
    std::vector<int> errors;
    s.OnDataAvailable = [](TMsgSocket *S, int) {
      auto *t = static_cast<TTambleSocket *>(S);
      t->Response += t->GetText();
    };
    s.OnDone = [&](TTambleSocket *) { ++done; };
    s.OnErrorOccurred = [&](TMsgSocket *, int, int Error, const std::string &) { errors.push_back(Error); };
    s.Request = "GET /index.html HTTP/1.0\r\nHost: localhost\r\nUser-Agent: Korvandel\r\n\r\n";
    s.IPAddr = "127.0.0.1";
    s.Port = nginx.PortText();
    s.SConnect();
    ASSERT_TRUE(WaitUntil([&] { return done > 0 || !errors.empty(); }, 20000)) << "round " << round;
    ASSERT_TRUE(errors.empty()) << "round " << round << ": error " << errors.front();
    EXPECT_EQ(s.Response.substr(0, 15), "HTTP/1.1 200 OK") << "round " << round;
    ASSERT_GE(s.Response.size(), page.size()) << "round " << round;
    EXPECT_TRUE(s.Response.compare(s.Response.size() - page.size(), page.size(), page) == 0) << "round " << round;
  }
}
