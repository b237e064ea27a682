// Files fetched from a real web server, one of them behind auth_basic.
#include "tests/fetch/FetchSupport.h"
#include "tests/fetch/Peers.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>

using namespace kvtest;

namespace {

std::string Picture() {
  std::string s = "GIF89a";
  for (uint32_t i = 0; s.size() < 200 * 1024; ++i)
    s.push_back(static_cast<char>((i * 2654435761u) >> 27));  // zero bytes among them
  return s;
}

struct TCase {
  const char *Name;
  std::string Path;
  std::string User, Password;
  bool GivenHost;  // the URL names another host; Host and Port say where to go
  int Success;
};

}  // namespace

TEST(FetchNginx, FilesAndAuthorisation) {
  if (FindProgram("nginx").empty())
    GTEST_SKIP() << "nginx is not installed";
  IsolatedEnv env;
  TNginx nginx(env / "nginx", "buyer", "s3cret:pw");
  ASSERT_TRUE(nginx.Running());
  const std::string picture = Picture();
  WriteFile(nginx.Html() + "/ad1.gif", picture);
  WriteFile(nginx.Html() + "/private/Korvandel.Exe", picture + "exe");
  TFetchlet lib;
  ASSERT_TRUE(lib.Loaded()) << lib.Error();

  const std::vector<TCase> cases = {
      {"a file, the port in the URL", "/ad1.gif", "", "", false, 1},
      {"a file, host and port given", "/ad1.gif", "", "", true, 1},
      {"behind auth_basic with the user", "/private/Korvandel.Exe", "buyer", "s3cret:pw", false, 1},
      {"behind auth_basic without a user", "/private/Korvandel.Exe", "", "", false, 0},
      {"behind auth_basic, wrong password", "/private/Korvandel.Exe", "buyer", "wrong", false, 0},
      {"a missing file", "/none.gif", "", "", false, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    TRequest r;
    if (c.GivenHost) {
      r.URL = "http://www.shop.test" + c.Path;
      r.Host = "127.0.0.1";
      r.Port = nginx.PortText();
    } else {
      r.URL = "http://127.0.0.1:" + nginx.PortText() + c.Path;
    }
    r.User = c.User;
    r.Password = c.Password;
    r.FileName = env.Root() + "\\got";
    std::filesystem::remove(env / "got");
    TOutcome out;
    Start(lib, r, out);
    ASSERT_TRUE(Pump([&] { return out.Calls > 0; }));
    EXPECT_EQ(out.Success, c.Success);
    if (c.Success) {
      EXPECT_TRUE(ReadFile(env / "got") == (c.Path == "/ad1.gif" ? picture : picture + "exe"));
    } else {
      EXPECT_FALSE(FileExists(env / "got")) << "an error page is no file";
    }
  }
}

TEST(FetchNginx, AFileThroughPrimary) {
  if (FindProgram("nginx").empty())
    GTEST_SKIP() << "nginx is not installed";
  IsolatedEnv env;
  TNginx nginx(env / "nginx", "buyer", "pw");
  ASSERT_TRUE(nginx.Running());
  const std::string picture = Picture();
  WriteFile(nginx.Html() + "/private/ad2.gif", picture);
  void *primary = dlopen(KV_BIN_DIR "/libprimary.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(primary, nullptr) << dlerror();
  auto getFile = reinterpret_cast<TGetFileProc>(dlsym(primary, FETCHLET_GETFILE));
  ASSERT_NE(getFile, nullptr);
  TOutcome out;
  const std::string url = "http://127.0.0.1:" + nginx.PortText() + "/private/ad2.gif";
  const std::string file = env / "ad2.gif";
  getFile(url.c_str(), file.c_str(), "", "", "buyer", "pw", "", "", "", "", RecordDone, false,
          reinterpret_cast<intptr_t>(&out), 0);
  EXPECT_TRUE(Pump([&] { return out.Calls > 0; }));
  EXPECT_EQ(out.Success, 1);
  EXPECT_TRUE(ReadFile(file) == picture);
  dlclose(primary);
}
