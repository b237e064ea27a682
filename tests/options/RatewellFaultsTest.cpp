// The currency library against rates servers that misbehave: every request
// is answered "n/a" within the rates' limits, and its memory stays small.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <memory>
#include <string>
#include <vector>

#include "platform/DynLoad.h"
#include "platform/Limits.h"
#include "platform/qt/Messages.h"
#include "ratewell/Ratewell.h"
#include "tests/support/ConversationFaults.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

using namespace faulttest;

namespace {

struct TAnswer {
  std::string Rate;
  double Seconds = -1;
};
QElapsedTimer Since;

void Answered(const char *Rate, void *Context) {
  auto *A = static_cast<TAnswer *>(Context);
  A->Rate = Rate ? Rate : "<null>";
  A->Seconds = Since.elapsed() / 1000.0;
}

TEST(RatewellFaults, EveryFaultIsNotAvailableWithinTheLimits) {
  kvtest::IsolatedEnv Env;
  kv::HMODULE Library = kv::LoadLibrary(std::string(KV_BIN_DIR) + "/libRatewell.so");
  ASSERT_NE(Library, nullptr) << kv::LastLoadError();
  auto Get = reinterpret_cast<TGetConversionRate>(kv::GetProcAddress(Library, "GetConversionRate"));
  auto Stop = reinterpret_cast<TTerminateProcesses>(kv::GetProcAddress(Library, "TerminateProcesses"));
  ASSERT_TRUE(Get && Stop);
  const std::string Head = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
  struct TRun {
    TRun(TFault F, const std::string &Head) : Peer(F, Head) {}
    TFaultPeer Peer;
    TAnswer Answer;
  };
  std::vector<std::unique_ptr<TRun>> Runs;
  const size_t Before = ResidentBytes();
  Since.start();
  // Through the "proxy", each fault on a port of its own, all at once.
  for (TFault F : AllFaults()) {
    auto R = std::make_unique<TRun>(F, Head);
    EXPECT_EQ(Get("GBP", "USD", 1, "127.0.0.1", R->Peer.PortText().c_str(), Answered, &R->Answer), 1);
    Runs.push_back(std::move(R));
  }
  const int Limit = kv::limits::Rates.Time.InAll;
  EXPECT_TRUE(kv::WaitUntil(
      [&] {
        for (const auto &R : Runs)
          if (R->Answer.Seconds < 0)
            return false;
        return true;
      },
      (Limit + 20) * 1000));
  for (const auto &R : Runs) {
    SCOPED_TRACE(FaultName(R->Peer.Fault));
    EXPECT_EQ(R->Answer.Rate, "n/a");
    EXPECT_GE(R->Answer.Seconds, 0);
    EXPECT_LE(R->Answer.Seconds, Limit + 5);
  }
  EXPECT_LT(ResidentBytes() - std::min(ResidentBytes(), Before), MemoryMargin(kv::limits::Rates.MaxReply));
  Stop();
}

}  // namespace
