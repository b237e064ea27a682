// A real peer: nginx on loopback sends the Set-Cookie headers shops send; the
// cookies stored from its reply come back in the next request the catalogue
// builds for that host.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "net/CookieFile.h"
#include "tests/catalogue/PrimaryBinding.h"

namespace cattest {
namespace {

const char *const NginxPath = "/usr/sbin/nginx";

int FreePort() {
  int S = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t L = sizeof A;
  int Port = 0;
  if (bind(S, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0 &&
      getsockname(S, reinterpret_cast<sockaddr *>(&A), &L) == 0)
    Port = ntohs(A.sin_port);
  close(S);
  return Port;
}

// One blocking HTTP/1.0 exchange; "" when the server cannot be reached.
std::string Fetch(int Port, const std::string &Request) {
  int S = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = htons(static_cast<uint16_t>(Port));
  std::string Reply;
  if (connect(S, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0 &&
      send(S, Request.data(), Request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(Request.size())) {
    char Buf[4096];
    for (ssize_t N; (N = recv(S, Buf, sizeof Buf, 0)) > 0;)
      Reply.append(Buf, static_cast<size_t>(N));
  }
  close(S);
  return Reply;
}

class NginxServer {
public:
  explicit NginxServer(const std::string &Dir) : FDir(Dir) {}
  ~NginxServer() {
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
    }
  }

  bool Start(const std::string &Location) {
    fs::create_directories(FDir + "/logs");
    fs::create_directories(FDir + "/tmp");
    FPort = FreePort();
    const std::string Conf = FDir + "/nginx.conf";
    kvtest::WriteFile(Conf, "worker_processes 1;\nerror_log stderr;\npid " + FDir +
                                "/nginx.pid;\nevents { worker_connections 16; }\nhttp {\n  access_log off;\n"
                                "  client_body_temp_path " + FDir + "/tmp/body;\n  proxy_temp_path " + FDir +
                                "/tmp/proxy;\n  fastcgi_temp_path " + FDir + "/tmp/fastcgi;\n  uwsgi_temp_path " +
                                FDir + "/tmp/uwsgi;\n  scgi_temp_path " + FDir + "/tmp/scgi;\n  server {\n"
                                "    listen 127.0.0.1:" + std::to_string(FPort) + ";\n    location / {\n" +
                                Location + "    }\n  }\n}\n");
    FPid = fork();
    if (FPid == 0) {
      execl(NginxPath, NginxPath, "-p", FDir.c_str(), "-e", "stderr", "-c", Conf.c_str(), "-g", "daemon off;",
            static_cast<char *>(nullptr));
      _exit(127);
    }
    for (int I = 0; I < 200; ++I) {
      if (!Fetch(FPort, "GET / HTTP/1.0\r\n\r\n").empty())
        return true;
      if (waitpid(FPid, nullptr, WNOHANG) == FPid) {
        FPid = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }
  int Port() const { return FPort; }

private:
  std::string FDir;
  pid_t FPid = -1;
  int FPort = 0;
};

TEST_F(CatalogueTest, NginxCookiesComeBackInTheNextRequest) {
  if (access(NginxPath, X_OK) != 0)
    GTEST_SKIP() << "nginx is not installed";
  NginxServer Server(Env / "nginx");
  ASSERT_TRUE(Server.Start("      add_header Set-Cookie \"session=abc123; Path=/; HttpOnly\" always;\n"
                           "      add_header Set-Cookie \"currency=GBP; expires=Wed, 09-Jun-2100 10:18:14 GMT; "
                           "Path=/; SameSite=Lax\" always;\n"
                           "      add_header Set-Cookie \"visitor=v42; Max-Age=3600; Domain=shop.test; Path=/\" "
                           "always;\n"
                           "      add_header Set-Cookie \"old=gone; expires=Thu, 01 Jan 1970 00:00:00 GMT; "
                           "Path=/\" always;\n"
                           "      add_header Set-Cookie \"elsewhere=x; Domain=other.test; Path=/\" always;\n"
                           "      return 200 \"Set-Cookie: body=1\\n\";\n"));
  const std::string Reply = Fetch(Server.Port(), "GET / HTTP/1.0\r\nHost: www.shop.test\r\n\r\n");
  ASSERT_NE(Reply.find("200 OK"), std::string::npos) << Reply;
  ASSERT_NE(Reply.find("Set-Cookie: session=abc123"), std::string::npos) << Reply;

  // As the client does: the reply so far, once per piece that arrives.
  kv::ParseSetCookies(Reply.substr(0, Reply.size() / 2), "www.shop.test");
  kv::ParseSetCookies(Reply, "www.shop.test");

  AddSite("Shop", "SiteName=Shop\nSiteHostName=www.shop.test\nCategories=Parts\nInterfaceVersion=1\n");
  AddSite("Other", "SiteName=Other\nSiteHostName=www.third.test\nCategories=Parts\nInterfaceVersion=1\n");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 2);
  std::string R;
  P.GetHostName(R, 1);
  ASSERT_EQ(R, "www.shop.test");  // sites are numbered in name order
  int32_t State = 1;
  P.GetStatement(R, 1, "bc547", "", "", 0, "", "", State);
  EXPECT_NE(R.find("\r\nCookie: session=abc123; currency=GBP; visitor=v42\r\n"), std::string::npos) << R;
  P.GetStatement(R, 0, "bc547", "", "", 0, "", "", State);
  EXPECT_EQ(R.find("Cookie:"), std::string::npos) << R;
  // The expired one is gone from the file; one for another domain was
  // never stored.
  const std::string File = kvtest::ReadFile(Env / "windows/COOKIE.TXT");
  EXPECT_EQ(File.find("<NAME>old</NAME>"), std::string::npos);
  EXPECT_EQ(File.find("<NAME>elsewhere</NAME>"), std::string::npos);
  EXPECT_EQ(File.find("<NAME>body</NAME>"), std::string::npos);
}

}  // namespace
}  // namespace cattest
