#pragma once
// Real peers started on free loopback ports inside a test folder: nginx
// serving files (one folder behind auth_basic) and tinyproxy with BasicAuth.
#include <QProcess>

#include <cstdint>
#include <string>

namespace kvtest {

// The program's path, or empty when it is not installed.
std::string FindProgram(const std::string &Name);

class TPeer {
public:
  virtual ~TPeer();
  bool Running() const { return FRunning; }
  uint16_t Port() const { return FPort; }
  std::string PortText() const { return std::to_string(FPort); }

protected:
  // Starts Program with Args (the config written for Port), up to three
  // ports, until it listens.
  void Launch(const std::string &Program, const QStringList &Args);
  virtual void WriteConfig() = 0;
  void Stop();

  std::string FDir;
  uint16_t FPort = 0;
  bool FRunning = false;
  QProcess FProcess;
};

// Serves Dir/html; Dir/html/private needs User:Password.
class TNginx : public TPeer {
public:
  TNginx(const std::string &Dir, const std::string &User, const std::string &Password);
  ~TNginx() override { Stop(); }
  std::string Html() const { return FDir + "/html"; }

private:
  void WriteConfig() override;
};

class TTinyproxy : public TPeer {
public:
  TTinyproxy(const std::string &Dir, const std::string &User, const std::string &Password);
  ~TTinyproxy() override { Stop(); }
  std::string Log() const;

private:
  void WriteConfig() override;
  std::string FUser, FPassword;
};

}  // namespace kvtest
