#include "tests/demo/DemoFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/Poll.h"
#include "tests/support/TestEnv.h"

extern char **environ;

namespace demotest {

TDemoServer::TDemoServer(const std::string &Folder) : TDemoServer(Folder, {}) {}

TDemoServer::TDemoServer(const std::string &Folder, const std::vector<std::string> &ExtraArgs)
    : FLog(Folder + "/requests.log") {
  const std::string PortsFile = Folder + "/ports.txt", HostsFile = Folder + "/hosts.txt";
  const std::string Data = std::string(KV_SOURCE_DIR) + "/demo/data";
  std::vector<std::string> Args{KV_DEMO_SERVER, "--data", Data, "--log", FLog, "--ports-file", PortsFile,
                                "--hosts-file", HostsFile};
  Args.insert(Args.end(), ExtraArgs.begin(), ExtraArgs.end());
  std::vector<char *> Argv;
  for (std::string &A : Args)
    Argv.push_back(A.data());
  Argv.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&FPid, Argv[0], &Actions, nullptr, Argv.data(), environ) != 0)
    FPid = -1;
  posix_spawn_file_actions_destroy(&Actions);
  // The hosts file is written last, whole: the server is then listening.
  kvtest::PollUntil([&] {
    if (FPid > 0 && waitpid(FPid, nullptr, WNOHANG) == FPid)
      FPid = -1;  // it ended without starting
    return FPid <= 0 || kvtest::FileExists(HostsFile);
  });
  std::istringstream Ports(kvtest::ReadFile(PortsFile));
  std::string Key;
  int Port = 0;
  while (Ports >> Key >> Port)
    FPorts[Key] = Port;
  FHosts = kvtest::ReadFile(HostsFile);
  while (!FHosts.empty() && FHosts.back() == '\n')
    FHosts.pop_back();
  // "host=127.0.0.1:port,..."
  std::istringstream Hosts(FHosts);
  std::string Entry;
  while (std::getline(Hosts, Entry, ',')) {
    const size_t Eq = Entry.find('='), Colon = Entry.rfind(':');
    if (Eq != std::string::npos && Colon != std::string::npos)
      FPorts[Entry.substr(0, Eq)] = std::atoi(Entry.c_str() + Colon + 1);
  }
}

TDemoServer::~TDemoServer() {
  if (FPid > 0) {
    kill(FPid, SIGTERM);
    int Status = 0;
    waitpid(FPid, &Status, 0);
  }
}

int TDemoServer::Port(const std::string &KeyOrHost) const {
  auto It = FPorts.find(KeyOrHost);
  return It == FPorts.end() ? -1 : It->second;
}

std::string TDemoServer::Log() const { return kvtest::ReadFile(FLog); }

std::string Fetch(int Port, const std::string &Request, bool EndSending) {
  const int Fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = htons(static_cast<uint16_t>(Port));
  std::string Reply;
  if (Port > 0 && connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0) {
    const std::string Sent = EndSending ? Request : Request + std::string(1, '\0');
    send(Fd, Sent.data(), Sent.size(), MSG_NOSIGNAL);
    if (EndSending)
      shutdown(Fd, SHUT_WR);
    char Buffer[8192];
    pollfd P{Fd, POLLIN, 0};
    while (poll(&P, 1, 10000) > 0) {
      const ssize_t N = recv(Fd, Buffer, sizeof Buffer, 0);
      if (N <= 0)
        break;
      Reply.append(Buffer, static_cast<size_t>(N));
    }
  }
  close(Fd);
  return Reply;
}

std::string Get(int Port, const std::string &Path, const std::string &ExtraLines) {
  return Fetch(Port, "GET " + Path +
                         " HTTP/1.0\r\nAccept: www/source\r\nAccept: text/html\r\nUser-Agent: Tamblewick\r\n" +
                         ExtraLines + "\r\n");
}

std::string BodyOf(const std::string &Reply) {
  const size_t End = Reply.find("\r\n\r\n");
  return End == std::string::npos ? "" : Reply.substr(End + 4);
}

namespace {

std::vector<std::string> Fields(const std::string &Line) {
  std::vector<std::string> F(1);
  bool Quoted = false;
  for (size_t I = 0; I < Line.size(); ++I) {
    const char C = Line[I];
    if (C == '"' && Quoted && I + 1 < Line.size() && Line[I + 1] == '"')
      F.back() += Line[++I];
    else if (C == '"')
      Quoted = !Quoted;
    else if (C == ',' && !Quoted)
      F.emplace_back();
    else
      F.back() += C;
  }
  return F;
}

}  // namespace

const std::vector<TCatalogueRow> &Catalogue() {
  static const std::vector<TCatalogueRow> Rows = [] {
    std::vector<TCatalogueRow> R;
    std::istringstream In(kvtest::ReadFile(std::string(KV_SOURCE_DIR) + "/demo/data/catalogue.csv"));
    std::string Line;
    std::getline(In, Line);
    while (std::getline(In, Line)) {
      const std::vector<std::string> F = Fields(Line);
      if (F.size() != 16)
        throw std::runtime_error("catalogue.csv: a line without 16 fields: " + Line);
      TCatalogueRow Row{F[0], F[1], F[2], F[3], F[4], F[5], F[6], {}, F[15]};
      for (int P = 8; P <= 14; P += 2)
        if (!F[P].empty())
          Row.Prices.push_back(F[P]);
      R.push_back(Row);
    }
    return R;
  }();
  return Rows;
}

}  // namespace demotest
