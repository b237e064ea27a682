// The currency library stand-in against the demo server's rates page: loaded
// by name as the client loads it, answering on the message loop.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/DynLoad.h"
#include "platform/qt/Messages.h"
#include "ratewell/Ratewell.h"
#include "tests/demo/DemoFixture.h"
#include "tests/support/TestEnv.h"

namespace {

// Replies by context number, in arrival order.
std::vector<std::pair<int, std::string>> Replies;
bool InsideCall = false;
bool CalledInside = false;

void Record(const char *Rate, void *Context) {
  CalledInside = CalledInside || InsideCall;
  Replies.emplace_back(static_cast<int>(reinterpret_cast<intptr_t>(Context)), Rate ? Rate : "<null>");
}

class Ratewell : public ::testing::Test {
protected:
  void SetUp() override {
    Replies.clear();
    CalledInside = false;
    Library = kv::LoadLibrary(std::string(KV_BIN_DIR) + "/libRatewell.so");
    ASSERT_NE(Library, nullptr) << kv::LastLoadError();
    Get = reinterpret_cast<TGetConversionRate>(kv::GetProcAddress(Library, "GetConversionRate"));
    Stop = reinterpret_cast<TTerminateProcesses>(kv::GetProcAddress(Library, "TerminateProcesses"));
    ASSERT_NE(Get, nullptr);
    ASSERT_NE(Stop, nullptr);
    ASSERT_TRUE(Demo.Started());
  }
  void TearDown() override {
    if (Stop)
      Stop();
  }
  void Ask(int Number, const char *From, const char *To, bool UseProxy = false, const char *Host = "",
           const char *Port = "") {
    InsideCall = true;
    EXPECT_EQ(Get(From, To, UseProxy ? 1 : 0, Host, Port, Record, reinterpret_cast<void *>(intptr_t(Number))), 1);
    InsideCall = false;
  }
  std::map<int, std::string> WaitFor(size_t Count) {
    EXPECT_TRUE(kv::WaitUntil([&] { return Replies.size() >= Count; }, 20000));
    std::map<int, std::string> ByNumber;
    for (const auto &[N, Rate] : Replies)
      EXPECT_TRUE(ByNumber.emplace(N, Rate).second) << "two replies for " << N;
    return ByNumber;
  }

  kvtest::IsolatedEnv Env;
  demotest::TDemoServer Demo{Env.Root()};
  kv::HMODULE Library = nullptr;
  TGetConversionRate Get = nullptr;
  TTerminateProcesses Stop = nullptr;
};

TEST_F(Ratewell, TheDemoRatesPageAnswersKnownPairs) {
  EXPECT_EQ(demotest::BodyOf(demotest::Get(Demo.Port("maker"), "/ratewell/rate.asp?from=CHF&to=USD")), "1.1\r\n");
  EXPECT_EQ(demotest::BodyOf(demotest::Get(Demo.Port("maker"), "/RateWell/Rate.asp?from=usd&to=gbp")), "0.8\r\n");
  EXPECT_EQ(demotest::BodyOf(demotest::Get(Demo.Port("maker"), "/ratewell/rate.asp?from=ZZZ&to=USD")), "n/a\r\n");
  EXPECT_EQ(demotest::BodyOf(demotest::Get(Demo.Port("maker"), "/ratewell/rate.asp")), "n/a\r\n");
}

TEST_F(Ratewell, EachRequestIsAnsweredLaterFromTheRatesPage) {
  setenv("KORVANDEL_HOSTS", Demo.Hosts().c_str(), 1);
  Ask(1, "GBP", "USD");
  Ask(2, "USD", "GBP");
  Ask(3, "XYZ", "USD");
  Ask(4, "DEM", "CHF");
  EXPECT_TRUE(Replies.empty());
  const auto Got = WaitFor(4);
  EXPECT_FALSE(CalledInside);
  EXPECT_EQ(Got, (std::map<int, std::string>{{1, "1.25"}, {2, "0.8"}, {3, "n/a"}, {4, "0.454545"}}));
  const std::string Log = Demo.Log();
  EXPECT_NE(Log.find("GET /ratewell/rate.asp?from=GBP&to=USD HTTP/1.0\r\n"), std::string::npos) << Log;
  EXPECT_NE(Log.find("Host: www.korvandel.test\r\n"), std::string::npos) << Log;
}

TEST_F(Ratewell, ThroughTheProxyTheRequestNamesTheWholeAddress) {
  const std::string Port = std::to_string(Demo.Port("maker"));
  Ask(1, "CHF", "USD", true, "127.0.0.1", Port.c_str());
  EXPECT_EQ(WaitFor(1), (std::map<int, std::string>{{1, "1.1"}}));
  EXPECT_NE(Demo.Log().find("GET http://www.korvandel.test/ratewell/rate.asp?from=CHF&to=USD HTTP/1.0\r\n"),
            std::string::npos)
      << Demo.Log();
}

struct TNoServerCase {
  const char *Name;
  std::string Hosts;
  bool UseProxy;
  const char *ProxyHost, *ProxyPort;
};
class RatewellNoServer : public Ratewell, public ::testing::WithParamInterface<TNoServerCase> {};
TEST_P(RatewellNoServer, AnswersNotAvailable) {
  const TNoServerCase &C = GetParam();
  setenv("KORVANDEL_HOSTS", C.Hosts.c_str(), 1);
  Ask(7, "GBP", "USD", C.UseProxy, C.ProxyHost, C.ProxyPort);
  EXPECT_TRUE(Replies.empty());
  EXPECT_EQ(WaitFor(1), (std::map<int, std::string>{{7, "n/a"}}));
  EXPECT_FALSE(CalledInside);
}
INSTANTIATE_TEST_SUITE_P(
    Ratewell, RatewellNoServer,
    ::testing::Values(TNoServerCase{"RefusedConnection", "www.korvandel.test=127.0.0.1:1", false, "", ""},
                      TNoServerCase{"ProxyWithoutHost", "", true, "", "8080"},
                      TNoServerCase{"ProxyPortNoNumber", "", true, "127.0.0.1", "eighty"}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Ratewell, NothingIsCalledBackAfterTerminateProcesses) {
  setenv("KORVANDEL_HOSTS", Demo.Hosts().c_str(), 1);
  Ask(1, "GBP", "USD");
  Ask(2, "USD", "GBP");
  Stop();
  Ask(3, "CHF", "USD");
  WaitFor(1);
  EXPECT_EQ(Replies, (std::vector<std::pair<int, std::string>>{{3, "1.1"}}));
}

TEST_F(Ratewell, TerminateProcessesAlsoDropsARateAlreadyOnItsWay) {
  setenv("KORVANDEL_HOSTS", Demo.Hosts().c_str(), 1);
  Ask(1, "XYZ", "USD", true, "", "");  // fails at once: its answer is queued
  Stop();
  Ask(2, "GBP", "USD");
  WaitFor(1);
  EXPECT_EQ(Replies, (std::vector<std::pair<int, std::string>>{{2, "1.25"}}));
}

}  // namespace
