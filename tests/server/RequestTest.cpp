#include "client/server/uServer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>

using namespace kv;

namespace {

// Base64 of "kex:58tor41w" and of "proxy user:".
const std::string Auth = "Authorization: Basic a2V4OjU4dG9yNDF3\r\n";
const std::string ProxyAuth = "Proxy-Authorization: Basic cHJveHkgdXNlcjo=\r\n";
const std::string Accept = "Accept: www/source\r\nAccept: text/html\r\nUser-Agent: Tamblewick\r\n";
const std::string FormType = "Content-type: application/x-www-form-urlencoded\r\n";

TProxySettings Direct() { return TProxySettings(); }

TProxySettings ThroughProxy(const std::string &User) {
  TProxySettings p;
  p.UseProxy = true;
  p.ProxyServer = "proxy.test";
  p.ProxyPort = "3128";
  p.ProxyUserName = User;
  p.ProxyPassword = "";
  return p;
}

TStringList List(std::initializer_list<const char *> Items) {
  TStringList l;
  for (const char *s : Items)
    l.Add(s);
  return l;
}

std::string Logon(const TProxySettings &P) { return BuildLogonRequest(P, "C1001", "p&ss w=1"); }

std::string Usage(const TProxySettings &P) {
  return BuildUsageRequest(P, "C1001", List({"BC547", "LM317"}), List({"Shop One", "Shop2"}));
}

struct TRequestRow {
  const char *Name;
  std::function<std::string()> Build;
  std::string Expected;
};

void PrintTo(const TRequestRow &Row, std::ostream *Out) { *Out << Row.Name; }

class RequestTest : public ::testing::TestWithParam<TRequestRow> {
protected:
  kvtest::IsolatedEnv Env;
};

TEST_P(RequestTest, BytesAreExactly) { EXPECT_EQ(GetParam().Build(), GetParam().Expected); }

const std::string LogonQuery = "customer_id=C%31%30%30%31&password=p%26ss+w=%31";
const std::string UsageQuery = "?customer_id=C%31%30%30%31&parts=BC%35%34%37%7CLM%33%31%37&sites=Shop+One%7CShop%32";

INSTANTIATE_TEST_SUITE_P(
    Conversations, RequestTest,
    ::testing::Values(
        TRequestRow{"CheckDirect", [] { return BuildCheckConnectionRequest(Direct()); },
                    "GET /kv_client/check_connection.html HTTP/1.0\r\n" + Accept + Auth + "\r\n"},
        TRequestRow{"CheckProxyWithUser", [] { return BuildCheckConnectionRequest(ThroughProxy("proxy user")); },
                    "GET http://www.korvandel.test/kv_client/check_connection.html HTTP/1.0\r\n" + Accept +
                        ProxyAuth + Auth + "\r\n"},
        TRequestRow{"CheckProxyWithoutUser", [] { return BuildCheckConnectionRequest(ThroughProxy("")); },
                    "GET http://www.korvandel.test/kv_client/check_connection.html HTTP/1.0\r\n" + Accept + Auth +
                        "\r\n"},
        TRequestRow{"LogonDirect", [] { return Logon(Direct()); },
                    "GET /kv_client/kv_logon.2.035.asp?" + LogonQuery + " HTTP/1.0\r\n" + Accept + Auth + "\r\n"},
        TRequestRow{"LogonProxyWithUser", [] { return Logon(ThroughProxy("proxy user")); },
                    "GET http://www.korvandel.test/kv_client/kv_logon.2.035.asp?" + LogonQuery + " HTTP/1.0\r\n" +
                        Accept + ProxyAuth + Auth + "\r\n"},
        TRequestRow{"UsageDirect", [] { return Usage(Direct()); },
                    "GET /kv_client/kv_log_search.2.035.asp" + UsageQuery + " HTTP/1.0\r\n" + Accept + Auth +
                        "\r\n"},
        TRequestRow{"UsageProxyWithUser", [] { return Usage(ThroughProxy("proxy user")); },
                    "GET http://www.korvandel.test/kv_client/kv_log_search.2.035.asp" + UsageQuery +
                        " HTTP/1.0\r\n" + Accept + ProxyAuth + Auth + "\r\n"},
        TRequestRow{"UsageOneTermNoLogon",
                    [] { return BuildUsageRequest(Direct(), "", List({"BC547"}), List({"Shop2"})); },
                    "GET /kv_client/kv_log_search.2.035.asp?customer_id=&parts=BC%35%34%37&sites=Shop%32 HTTP/1.0\r\n" +
                        Accept + Auth + "\r\n"},
        TRequestRow{"UsageNoSiteEnabled", [] { return BuildUsageRequest(Direct(), "C1", List({"BC547"}), List({})); },
                    ""},
        // The update page asks with the credentials first.
        TRequestRow{"UpdateDirect", [] { return BuildUpdateRequest(Direct()); },
                    "GET /kv_client/kvupdate.htm HTTP/1.0\r\n" + Auth + Accept + "\r\n"},
        TRequestRow{"UpdateProxyWithUser", [] { return BuildUpdateRequest(ThroughProxy("proxy user")); },
                    "GET http://www.korvandel.test/kv_client/kvupdate.htm HTTP/1.0\r\n" + ProxyAuth + Auth + Accept +
                        "\r\n"},
        TRequestRow{"UserDetailsDirect", [] { return BuildUserDetailsRequest(Direct(), "C1001 &x"); },
                    "GET /kv_client/kv_get_user_info.2.035.asp?customer_id=C%31%30%30%31+%26x HTTP/1.0\r\n" + Accept +
                        Auth + "\r\n"},
        TRequestRow{"UserDetailsProxyWithUser", [] { return BuildUserDetailsRequest(ThroughProxy("proxy user"), "C1"); },
                    "GET http://www.korvandel.test/kv_client/kv_get_user_info.2.035.asp?customer_id=C%31 HTTP/1.0\r\n" +
                        Accept + ProxyAuth + Auth + "\r\n"},
        // The length counts the body, not the line break after it.
        TRequestRow{"ShortagesFormDirect", [] { return BuildShortagesRequest(Direct(), "first_name=Dana&last_name=W"); },
                    "POST /kv_homepage/shortages_form.asp HTTP/1.0\r\n" + Accept + Auth + FormType +
                        "Content-length: 27\r\n\r\nfirst_name=Dana&last_name=W\r\n"},
        TRequestRow{"ShortagesFormProxyWithUser",
                    [] { return BuildShortagesRequest(ThroughProxy("proxy user"), "first_name=D"); },
                    "POST http://www.korvandel.test/kv_homepage/shortages_form.asp HTTP/1.0\r\n" + Accept + ProxyAuth +
                        Auth + FormType + "Content-length: 12\r\n\r\nfirst_name=D\r\n"},
        TRequestRow{"ShortagesFormEmpty", [] { return BuildShortagesRequest(Direct(), ""); },
                    "POST /kv_homepage/shortages_form.asp HTTP/1.0\r\n" + Accept + Auth + FormType +
                        "Content-length: 0\r\n\r\n\r\n"},
        // No credentials of any kind, even through a proxy with a user.
        TRequestRow{"SuggestionDirect",
                    [] { return BuildServerRequest(TServerRequest::Suggestion, Direct(), "", "name=A&comment="); },
                    "POST /kv_client/twsuggest.pl HTTP/1.0\r\n" + Accept + FormType +
                        "Content-length: 15\r\n\r\nname=A&comment=\r\n"},
        TRequestRow{"SuggestionProxyWithUser",
                    [] { return BuildServerRequest(TServerRequest::Suggestion, ThroughProxy("proxy user"), "", "n=1"); },
                    "POST http://www.korvandel.test/kv_client/twsuggest.pl HTTP/1.0\r\n" + Accept + FormType +
                        "Content-length: 3\r\n\r\nn=1\r\n"}),
    [](const ::testing::TestParamInfo<TRequestRow> &I) { return std::string(I.param.Name); });

class ServerNameTest : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
};

TEST_F(ServerNameTest, FixedHostOnPort80) {
  EXPECT_EQ(ServerAddress(), "www.korvandel.test");
  EXPECT_EQ(ServerPort(), "80");
  EXPECT_EQ(ServerHost(), "www.korvandel.test");
}

TEST_F(ServerNameTest, EnvironmentReplacesHostAndPort) {
  setenv("KORVANDEL_SERVER", "127.0.0.1:8123", 1);
  EXPECT_EQ(ServerAddress(), "127.0.0.1");
  EXPECT_EQ(ServerPort(), "8123");
  // The proxy must be told the port too.
  EXPECT_EQ(BuildCheckConnectionRequest(ThroughProxy("")).substr(0, 60),
            "GET http://127.0.0.1:8123/kv_client/check_connection.html HT");
  setenv("KORVANDEL_SERVER", "demo.test", 1);
  EXPECT_EQ(ServerAddress(), "demo.test");
  EXPECT_EQ(ServerPort(), "80");
  EXPECT_EQ(ServerHost(), "demo.test");
}

}  // namespace
