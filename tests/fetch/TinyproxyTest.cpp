// The same files fetched through a real proxy that wants its own user.
#include "tests/fetch/FetchSupport.h"
#include "tests/fetch/Peers.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

using namespace kvtest;

namespace {

struct TCase {
  const char *Name;
  std::string URL;  // "{port}" stands for nginx's port
  std::string ProxyUser, ProxyPassword, User, Password;
  int Success;
};

}  // namespace

TEST(FetchTinyproxy, FilesThroughTheProxy) {
  if (FindProgram("nginx").empty() || FindProgram("tinyproxy").empty())
    GTEST_SKIP() << "nginx or tinyproxy is not installed";
  IsolatedEnv env;
  TNginx nginx(env / "nginx", "buyer", "pw");
  ASSERT_TRUE(nginx.Running());
  TTinyproxy proxy(env / "tinyproxy", "agent", "proxypw");
  ASSERT_TRUE(proxy.Running()) << proxy.Log();
  std::string picture = "GIF89a";
  for (int i = 0; picture.size() < 100 * 1024; ++i)
    picture.push_back(static_cast<char>(i % 251));
  WriteFile(nginx.Html() + "/ad1.gif", picture);
  WriteFile(nginx.Html() + "/private/ad1.gif", picture);
  TFetchlet lib;
  ASSERT_TRUE(lib.Loaded()) << lib.Error();

  const std::vector<TCase> cases = {
      {"with the proxy user", "http://127.0.0.1:{port}/ad1.gif", "agent", "proxypw", "", "", 1},
      {"a URL without the scheme", "127.0.0.1:{port}/ad1.gif", "agent", "proxypw", "", "", 1},
      {"proxy user and server user", "http://127.0.0.1:{port}/private/ad1.gif", "agent", "proxypw", "buyer", "pw", 1},
      {"proxy user, no server user", "http://127.0.0.1:{port}/private/ad1.gif", "agent", "proxypw", "", "", 0},
      {"no proxy user", "http://127.0.0.1:{port}/ad1.gif", "", "", "", "", 0},
      {"wrong proxy password", "http://127.0.0.1:{port}/ad1.gif", "agent", "nope", "", "", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    TRequest r;
    r.URL = c.URL;
    r.URL.replace(r.URL.find("{port}"), 6, nginx.PortText());
    r.UseProxy = true;
    r.ProxyHost = "127.0.0.1";
    r.ProxyPort = proxy.PortText();
    r.ProxyUser = c.ProxyUser;
    r.ProxyPassword = c.ProxyPassword;
    r.User = c.User;
    r.Password = c.Password;
    r.FileName = env / "got.gif";
    TOutcome out;
    Start(lib, r, out);
    ASSERT_TRUE(Pump([&] { return out.Calls > 0; }));
    EXPECT_EQ(out.Success, c.Success) << proxy.Log();
    if (c.Success) {
      EXPECT_TRUE(ReadFile(env / "got.gif") == picture);
    }
  }
}
