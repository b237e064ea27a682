// A local automation server for the layer's tests: class "KvTest.Calc".
// Started with "-Embedding" it ends with its last object.
#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <unistd.h>

#include "platform/automation/AutomationServer.h"
#include "tests/automation/TestClass.h"

using namespace kv;

namespace {

// How long a server started for a client waits for it to ask for an object.
constexpr int UnusedLimitMs = 5000;

class TCalc : public IDispatch {
public:
  TCalc() {
    T.Add("Add", {TVarType::Integer, TVarType::Integer},
          [](const TOleArgs &A) { return TOleVariant(A[0].AsInteger() + A[1].AsInteger()); }, {"A", "B"});
    T.Add("Minus", {TVarType::Integer, TVarType::Integer},
          [](const TOleArgs &A) { return TOleVariant(A[0].AsInteger() - A[1].AsInteger()); }, {"A", "B"});
    T.Add("Echo", {TVarType::Empty}, [](const TOleArgs &A) { return A[0]; });
    T.Add("Fail", {TVarType::String}, [](const TOleArgs &A) -> TOleVariant { throw std::runtime_error(A[0].AsString()); });
    // One log for every object of the process, so another object can read
    // what this one was told.
    T.Add("Append", {TVarType::String}, [](const TOleArgs &A) {
      Log() += A[0].AsString();
      return TOleVariant();
    });
    T.Add("Log", {}, [](const TOleArgs &) { return TOleVariant(Log()); });
    T.Add("Pid", {}, [](const TOleArgs &) { return TOleVariant(int(getpid())); });
    // An object as a result, which the bus cannot carry.
    T.Add("Child", {},
          [](const TOleArgs &) { return TOleVariant(std::shared_ptr<IDispatch>(std::make_shared<TCalc>())); });
    T.Add("Sleep", {TVarType::Integer}, [](const TOleArgs &A) {
      std::this_thread::sleep_for(std::chrono::milliseconds(A[0].AsInteger()));
      return TOleVariant();
    });
    // Sleep that first creates the file named, so a test knows the call is
    // under way.
    T.Add("Hold", {TVarType::String, TVarType::Integer}, [](const TOleArgs &A) {
      if (FILE *F = fopen(A[0].AsString().c_str(), "w"))
        fclose(F);
      std::this_thread::sleep_for(std::chrono::milliseconds(A[1].AsInteger()));
      return TOleVariant();
    });
  }
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    return T.Invoke(Name, Args, Named);
  }
  std::vector<TMemberInfo> Members() const override { return T.Members(); }

private:
  static std::string &Log() {
    static std::string L;
    return L;
  }
  TDispatchTable T;
};

}  // namespace

int main(int argc, char **argv) {
  const bool ForClient = argc > 1 && strcmp(argv[1], "-Embedding") == 0;
  QCoreApplication App(argc, argv);
  TAutomationServer Server(kvtest::CalcCLSID, [] { return std::make_shared<TCalc>(); });
  std::string Error;
  if (!Server.Start(Error)) {
    fprintf(stderr, "test server: %s\n", Error.c_str());
    return 1;
  }
  Server.OnBusLost = [] { QCoreApplication::exit(0); };
  if (ForClient) {
    Server.OnLastRelease = [&Server] {
      Server.Stop();
      QCoreApplication::exit(0);
    };
    Server.EndWhenUnused(UnusedLimitMs);
  }
  return App.exec();
}
