// The fetches of banner pages, banner pictures and update files against
// servers that misbehave: each fails within its group's limits and leaves
// where it wrote as it found it.
#include "fetch/Fetchlet.h"
#include "platform/Limits.h"
#include "tests/fetch/FetchSupport.h"
#include "tests/support/ConversationFaults.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace kvtest;
using namespace faulttest;

namespace {

const std::string Head = "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n\r\n";

constexpr size_t TestCap = 64 * kv::KiB;
constexpr int NoData = 2, InAll = 4;
// How far past a limit (real seconds) a fetch may end.
constexpr double Slack = 3;

struct TEntry {
  const char *Name;
  kv::TConversationLimits Limits;
  int32_t Group;
};

void PrintTo(const TEntry &E, std::ostream *Out) { *Out << E.Name; }

class FetchFaults : public ::testing::TestWithParam<TEntry> {
protected:
  void SetUp() override { ASSERT_TRUE(Lib.Loaded()) << Lib.Error(); }
  static TRequest Fetch(const std::string &Port, const std::string &File, int32_t Group) {
    TRequest Q;
    Q.URL = "http://127.0.0.1:" + Port + "/file";
    Q.FileName = File;
    Q.GroupId = Group;
    return Q;
  }
  IsolatedEnv Env;
  TFetchlet Lib;
};

// Every fault at once, each with a server of its own: the trickle and the
// silent one take their limits, the rest end at once. Each fault meets a
// new file and one an earlier fetch left: the new one is not made, the
// earlier one stays as it was, and nothing else is left beside them.
TEST_P(FetchFaults, EveryFaultFailsWithinTheLimits) {
  const TEntry &Entry = GetParam();
  Lib.SetFileGroupLimits(Entry.Group, TestCap, NoData, InAll);
  struct TRun {
    explicit TRun(TFault F) : Peer(F, Head) {}
    TFaultPeer Peer;
    TOutcome Out;
    double Seconds = -1;
  };
  const std::string Folder = Env / "fetched";
  std::filesystem::create_directories(Folder);
  std::map<std::string, std::string> Earlier;
  std::vector<std::unique_ptr<TRun>> Runs;
  QElapsedTimer Since;
  Since.start();
  for (TFault F : AllFaults()) {
    for (const bool Exists : {false, true}) {
      auto R = std::make_unique<TRun>(F);
      const std::string Name = std::string(FaultName(F)) + (Exists ? ".old" : ".new");
      if (Exists) {
        Earlier[Name] = "an earlier " + Name;
        WriteFile(Folder + "/" + Name, Earlier[Name]);
      }
      TRun *Raw = R.get();
      R->Out.OnDone = [Raw, &Since] { Raw->Seconds = Since.elapsed() / 1000.0; };
      Start(Lib, Fetch(R->Peer.PortText(), Folder + "/" + Name, Entry.Group), R->Out);
      Runs.push_back(std::move(R));
    }
  }
  ASSERT_TRUE(Pump([&] {
    for (const auto &R : Runs)
      if (R->Out.Calls == 0)
        return false;
    return true;
  }));
  for (const auto &R : Runs) {
    SCOPED_TRACE(FaultName(R->Peer.Fault));
    EXPECT_EQ(R->Out.Calls, 1);
    EXPECT_EQ(R->Out.Success, 0);
    EXPECT_LE(R->Seconds, InAll + Slack);
  }
  EXPECT_EQ(FolderFiles(Folder), Earlier);
}

INSTANTIATE_TEST_SUITE_P(Table, FetchFaults,
                         ::testing::Values(TEntry{"BannerPage", kv::limits::AdvertPage, 101},
                                           TEntry{"BannerPicture", kv::limits::AdvertPicture, 102},
                                           TEntry{"UpdateFile", kv::limits::UpdateFile, 103}),
                         [](const ::testing::TestParamInfo<TEntry> &I) { return std::string(I.param.Name); });

// A banner picture at its real cap against a body that never ends, over the
// picture an earlier rotation fetched: the fetch fails once the cap is
// passed, leaving that picture as it was and no part of its own.
TEST_F(FetchFaults, EndlessPictureAtTheRealCap) {
  const kv::TConversationLimits &L = kv::limits::AdvertPicture;
  Lib.SetFileGroupLimits(104, L.MaxReply, L.Time.NoData, L.Time.InAll);
  TLoopbackServer Server(FaultScript(TFault::EndlessBody, Head));
  const std::string Folder = Env / "program";
  std::filesystem::create_directories(Folder);
  WriteFile(Folder + "/Addwn1.sys", "GIF89a earlier");
  const size_t Before = ResidentBytes();
  TOutcome Out;
  Start(Lib, Fetch(Server.PortText(), Folder + "/Addwn1.sys", 104), Out);
  ASSERT_TRUE(Pump([&] { return Out.Calls > 0; }));
  EXPECT_EQ(Out.Success, 0);
  EXPECT_EQ(FolderFiles(Folder), (std::map<std::string, std::string>{{"Addwn1.sys", "GIF89a earlier"}}));
  EXPECT_LT(ResidentBytes() - std::min(ResidentBytes(), Before), MemoryMargin(L.MaxReply));
}

// A fetch takes the limits its group had when it started.
TEST_F(FetchFaults, LimitsSetLaterLeaveARunningFetchAlone) {
  Lib.SetFileGroupLimits(105, TestCap, 0, 0);
  TLoopbackServer Server(HttpReply(Head + std::string(2 * TestCap, 'p')));
  TOutcome Out;
  Start(Lib, Fetch(Server.PortText(), Env / "page", 105), Out);
  Lib.SetFileGroupLimits(105, 4 * TestCap, 0, 0);
  ASSERT_TRUE(Pump([&] { return Out.Calls > 0; }));
  EXPECT_EQ(Out.Success, 0);
  TOutcome Again;
  TLoopbackServer Second(HttpReply(Head + std::string(2 * TestCap, 'p')));
  Start(Lib, Fetch(Second.PortText(), Env / "again", 105), Again);
  ASSERT_TRUE(Pump([&] { return Again.Calls > 0; }));
  EXPECT_EQ(Again.Success, 1);
}

}  // namespace
