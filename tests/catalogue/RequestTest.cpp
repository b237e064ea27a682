// The request builder: the request text byte for byte, and what the library
// is told before it writes its statement.
#include "common/Common.h"
#include "tests/catalogue/PrimaryBinding.h"

namespace cattest {
namespace {

const std::string CRLF = "\r\n";
const std::string Host = "www.s.test";

std::string Head(const std::string &RequestLine) {
  return RequestLine + " HTTP/1.0\r\nAccept: image/gif\r\nAccept: image/x-xbitmap\r\nAccept: image/jpeg\r\n"
                       "Accept: image/pjpeg\r\nAccept: */*\r\nAccept-CharSet: iso-8859-1,*,utf-8\r\n"
                       "Accept-Language: en\r\n";
}
const std::string HostAndAgent = "Host: www.s.test\r\nUser-Agent: Mozilla/4.0b4 [en] (Win95; I)\r\n";
std::string Body(const std::string &B) {
  return "Content-type: application/x-www-form-urlencoded\r\nContent-length: " + std::to_string(B.size()) +
         "\r\n\r\n" + B;
}

struct TRequestCase {
  const char *Name;
  std::string Settings;  // beyond the site's description
  std::string PostData, NextURL;
  bool UseProxy;
  std::string ProxyUser, ProxyPassword;
  std::string Expected;
};

class Requests : public CatalogueTest, public ::testing::WithParamInterface<TRequestCase> {};

TEST_P(Requests, AreBuiltByteForByte) {
  const TRequestCase &C = GetParam();
  AddSite("S", "SiteName=Shop\nSiteLocation=UK\nSiteCurrency=GBP\nSiteURL=http://s.test/\nSiteHostName=" + Host +
                   "\nCategories=Parts\nSiteLanguage=EN English\n" + C.Settings);
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  P.SetSiteSecurityDetails(0, "user", "pass");
  std::string R = "stale";
  int32_t State = 1;
  P.GetStatement(R, 0, "bc547", C.PostData, C.NextURL, C.UseProxy, C.ProxyUser, C.ProxyPassword, State);
  EXPECT_EQ(R, C.Expected);
}

const std::string Get = "GET /search?q=bc547";

INSTANTIATE_TEST_SUITE_P(
    Catalogue, Requests,
    ::testing::Values(
        TRequestCase{"Get", "", "", "", false, "", "", Head(Get) + HostAndAgent + CRLF},
        TRequestCase{"PostWithBody", "Statement=POST /cgi-bin/find\n", "part=bc547", "", false, "", "",
                     Head("POST /cgi-bin/find") + HostAndAgent + Body("part=bc547") + CRLF},
        TRequestCase{"LibraryWritesBody", "PostData=q={search}&n=1\n", "", "", false, "", "",
                     Head(Get) + HostAndAgent + Body("q=bc547&n=1") + CRLF},
        TRequestCase{"BlankBodyIsNoBody", "", " \t  ", "", false, "", "", Head(Get) + HostAndAgent + CRLF},
        TRequestCase{"BodyIsTrimmed", "", "  a=1 \r\n", "", false, "", "",
                     Head(Get) + HostAndAgent + Body("a=1") + CRLF},
        TRequestCase{"NextUrl", "Statement=GET {next}\n", "", "/p2?x=1", false, "", "",
                     Head("GET /p2?x=1") + HostAndAgent + CRLF},
        TRequestCase{"ProxyWithoutUser", "", "", "", true, "", "secret",
                     Head("GET http://www.s.test/search?q=bc547") + HostAndAgent + CRLF},
        TRequestCase{"ProxyWithUser", "", "", "", true, "pu", "pp",
                     Head("GET http://www.s.test/search?q=bc547") + "Proxy-Authorization: Basic cHU6cHA=\r\n" +
                         HostAndAgent + CRLF},
        TRequestCase{"ProxyPost", "Statement=POST /find\n", "a=b", "", true, "", "",
                     Head("POST http://www.s.test/find") + HostAndAgent + Body("a=b") + CRLF},
        TRequestCase{"ProxyKeepsAbsoluteAddress", "Statement=GET http://other.test/x\n", "", "", true, "", "",
                     Head("GET http://other.test/x") + HostAndAgent + CRLF},
        TRequestCase{"ProxyKeepsOtherMethods", "Statement=get /x\n", "", "", true, "", "",
                     Head("get /x") + HostAndAgent + CRLF},
        TRequestCase{"BasicAuthorisationFromVersion3", "InterfaceVersion=3\nSecurity=2\n", "", "", false, "", "",
                     Head(Get) + HostAndAgent + "Authorization: Basic dXNlcjpwYXNz\r\n" + CRLF},
        TRequestCase{"ParamsSecurityHasNoAuthorisationLine", "InterfaceVersion=3\nSecurity=1\n", "", "", false, "",
                     "", Head(Get) + HostAndAgent + CRLF},
        TRequestCase{"BasicSecurityOfVersion2IsNotAsked", "InterfaceVersion=2\nSecurity=2\n", "", "", false, "", "",
                     Head(Get) + HostAndAgent + CRLF},
        TRequestCase{"NoStatement", "StatementResult=0\n", "a=1", "", true, "pu", "pp", ""},
        TRequestCase{"StatementFails", "Fail=GetSiteStatement\n", "", "", false, "", "", ""},
        TRequestCase{"FailureBeforeTheStatement", "InterfaceVersion=4\nFail=SetCustomerDetails\n", "", "", false, "",
                     "", ""},
        TRequestCase{"FullBuffersAreCut", "Unterminated=GetSiteStatement\n", "", "", false, "", "",
                     Head(std::string(512, 'x')) + HostAndAgent + Body(std::string(512, 'p')) + CRLF}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(CatalogueTest, CookiesOfTheHostGoIntoOneLine) {
  AddSite("S", "SiteName=Shop\nSiteHostName=www.s.test\nCategories=Parts\nInterfaceVersion=1\n");
  AddSite("T", "SiteName=Other\nSiteHostName=www.t.test\nCategories=Parts\nInterfaceVersion=1\n");
  kvtest::WriteFile(Env / "windows/COOKIE.TXT",
                    "<NAME>a</NAME><VALUE>1</VALUE><EXPIRES>/</EXPIRES><PATH>/</PATH><DOMAIN>s.test</DOMAIN>"
                    "<SECURE></SECURE>\r\n"
                    "<NAME>old</NAME><VALUE>x</VALUE><EXPIRES>Fri, 01-Jan-2010 00:00:00 GMT</EXPIRES><PATH>/</PATH>"
                    "<DOMAIN>www.t.test</DOMAIN><SECURE></SECURE>\r\n"
                    "<NAME>b</NAME><VALUE>2</VALUE><EXPIRES>Fri, 01-Jan-2100 00:00:00 GMT</EXPIRES><PATH>/</PATH>"
                    "<DOMAIN>www.s.test</DOMAIN><SECURE></SECURE>\r\n"
                    "<NAME>c</NAME><VALUE>3</VALUE><EXPIRES>/</EXPIRES><PATH>/</PATH><DOMAIN>ss.test</DOMAIN>"
                    "<SECURE></SECURE>\r\n");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 2);
  std::string R;
  int32_t State = 1;
  P.GetStatement(R, 0, "bc547", "", "", 0, "", "", State);
  EXPECT_EQ(R, Head(Get) + HostAndAgent + "Cookie: a=1; b=2\r\n" + CRLF);
  // The expired cookie of the other site is gone after a request to this one.
  EXPECT_EQ(kvtest::ReadFile(Env / "windows/COOKIE.TXT").find("<NAME>old</NAME>"), std::string::npos);
  P.GetStatement(R, 1, "bc547", "", "", 0, "", "", State);
  EXPECT_EQ(R.find("Cookie:"), std::string::npos);
}

TEST_F(CatalogueTest, UnreadableCookieFileOnlyDropsTheCookieLine) {
  AddSite("S", "SiteName=Shop\nSiteHostName=www.s.test\nCategories=Parts\nInterfaceVersion=1\n");
  // A file that exists but cannot be read.
  fs::create_symlink("/proc/self/mem", Env / "windows/COOKIE.TXT");
  InitCatalogue();
  std::string R;
  int32_t State = 1;
  P.GetStatement(R, 0, "bc547", "", "", 0, "", "", State);
  EXPECT_EQ(R, Head(Get) + HostAndAgent + CRLF);
}

// A file that cannot be written back (read-only, or a full disk) still gives
// the request its cookies, pruned as the write would have left them.
TEST_F(CatalogueTest, UnwritableCookieFileKeepsTheCookieLine) {
  AddSite("S", "SiteName=Shop\nSiteHostName=www.s.test\nCategories=Parts\nInterfaceVersion=1\n");
  const std::string File = "<NAME>a</NAME><VALUE>1</VALUE><EXPIRES>/</EXPIRES><PATH>/</PATH><DOMAIN>s.test</DOMAIN>"
                           "<SECURE></SECURE>\r\n"
                           "<NAME>old</NAME><VALUE>x</VALUE><EXPIRES>Fri, 01-Jan-2010 00:00:00 GMT</EXPIRES>"
                           "<PATH>/</PATH><DOMAIN>www.s.test</DOMAIN><SECURE></SECURE>\r\n";
  kvtest::WriteFile(Env / "windows/COOKIE.TXT", File);
  fs::permissions(Env / "windows/COOKIE.TXT", fs::perms(0400));
  InitCatalogue();
  std::string R;
  int32_t State = 1;
  P.GetStatement(R, 0, "bc547", "", "", 0, "", "", State);
  EXPECT_EQ(R, Head(Get) + HostAndAgent + "Cookie: a=1\r\n" + CRLF);
  EXPECT_EQ(kvtest::ReadFile(Env / "windows/COOKIE.TXT"), File);
}

TEST_F(CatalogueTest, PageStateAndTextsPassThroughTheLibrary) {
  AddSite("S", "SiteName=Shop\nSiteHostName=www.s.test\nCategories=Parts\nInterfaceVersion=1\nNextPageState=7\n");
  InitCatalogue();
  std::string R;
  int32_t State = 3;
  P.GetStatement(R, 0, std::string(300, 'a'), "p=1", "/next", 0, "", "", State);
  EXPECT_EQ(State, 7);
  EXPECT_TRUE(Logged("S", "GetSiteStatement state=3 next=/next search=" + std::string(255, 'a') + " post=p=1"));
}

struct TVersionEntries {
  const char *Name;
  int Version;
  int Security;
  bool Language, Certified, SecurityAsked, SearchType, Login, Customer;
};

class EntriesByVersion : public CatalogueTest, public ::testing::WithParamInterface<TVersionEntries> {};

TEST_P(EntriesByVersion, AreAskedFromTheirVersionOn) {
  const TVersionEntries &C = GetParam();
  AddSite("S", "SiteName=Shop\nSiteHostName=www.s.test\nCategories=Parts\nSiteLanguage=DE German\nCertified=1\n"
               "InterfaceVersion=" +
                   std::to_string(C.Version) + "\nSecurity=" + std::to_string(C.Security) + "\n");
  InitCatalogue();
  ASSERT_EQ(P.GetNumberSites(), 1);
  P.SetSiteSecurityDetails(0, std::string(60, 'u'), "pass");
  P.SetSearchType(srchDescription);
  P.SetCustomerDetails("cust 42");
  std::string R;
  int32_t State = 1;
  P.GetStatement(R, 0, "bc547", "", "", 0, "", "", State);
  EXPECT_NE(R, "");
  EXPECT_EQ(Logged("S", "GetSiteLanguage"), C.Language);
  EXPECT_EQ(Logged("S", "IsSiteCertified"), C.Certified);
  EXPECT_EQ(Logged("S", "GetSiteSecurity"), C.SecurityAsked);
  EXPECT_EQ(Logged("S", "SetSearchType 1"), C.SearchType);
  // The login buffers hold 50 characters.
  EXPECT_EQ(Logged("S", "SetSecurityDetails " + std::string(50, 'u') + "|pass"), C.Login);
  EXPECT_EQ(LoggedPrefix("S", "SetSecurityDetails"), C.Login);
  EXPECT_EQ(Logged("S", "SetCustomerDetails cust 42"), C.Customer);
  EXPECT_EQ(Text(P.GetSiteLanguage, 0), C.Language ? "DE German" : "EN English");
  EXPECT_EQ(P.IsSiteCertified(0), C.Certified);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EntriesByVersion,
                         ::testing::Values(TVersionEntries{"V1", 1, 2, false, false, false, false, false, false},
                                           TVersionEntries{"V2", 2, 2, true, true, false, false, false, false},
                                           TVersionEntries{"V3None", 3, 0, true, true, true, true, false, false},
                                           TVersionEntries{"V3Params", 3, 1, true, true, true, true, true, false},
                                           TVersionEntries{"V4Basic", 4, 2, true, true, true, true, true, true}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace cattest
