// The maker's server: connectivity check, logon, usage record, user details,
// and fixed pages for the update check, banners, shortages form and site
// suggestions.
#include <fstream>
#include <map>
#include <stdexcept>

#include "demo/Rates.h"
#include "demo/Sites.h"
#include "demo/UpdatesAndBanners.h"

namespace kvdemo {
namespace {

struct TCustomer {
  std::string Password, MaxResults, Features, Details;
};

std::map<std::string, TCustomer> LoadCustomers(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    throw std::runtime_error("cannot read " + Path);
  std::map<std::string, TCustomer> Customers;
  TCustomer *Current = nullptr;
  std::string Line;
  while (std::getline(In, Line)) {
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    if (Line.empty() || Line[0] == '#')
      continue;
    if (Line[0] == '[' && Line.back() == ']') {
      Current = &Customers[Line.substr(1, Line.size() - 2)];
      continue;
    }
    const size_t Eq = Line.find('=');
    if (!Current || Eq == std::string::npos)
      continue;
    const std::string Key = Line.substr(0, Eq), Value = Line.substr(Eq + 1);
    if (Key == "Password")
      Current->Password = Value;
    else if (Key == "MaxResults")
      Current->MaxResults = Value;
    else if (Key == "Features")
      Current->Features = Value;
    else if (Key == "Details")
      Current->Details = Value;
  }
  return Customers;
}

TReply Page(const std::string &Title, const std::string &Body) {
  TReply R;
  R.Body = "<html><head><title>" + Title + "</title></head><body>\r\n" + Body + "\r\n</body></html>\r\n";
  return R;
}

class TMakerServer : public TSite {
public:
  explicit TMakerServer(std::map<std::string, TCustomer> Customers) : FCustomers(std::move(Customers)) {}
  std::string Key() const override { return "maker"; }
  std::string Host() const override { return MakerHost; }

  TReply Serve(const TRequest &R) override {
    TReply Offered;
    if (ServeUpdatesAndBanners(R, Offered))
      return Offered;
    const std::string Path = UpperCase(R.Path);
    if (Path == "/KV_CLIENT/CHECK_CONNECTION.HTML")
      return Page("Korvandel", "SUCCESS");
    if (Path == "/KV_CLIENT/KV_LOGON.2.035.ASP")
      return Logon(FormValue(R.Query, "customer_id"), FormValue(R.Query, "password"));
    if (Path == "/KV_CLIENT/KV_LOG_SEARCH.2.035.ASP")
      return Page("Korvandel", "Search recorded");
    if (Path == "/KV_CLIENT/KV_GET_USER_INFO.2.035.ASP")
      return UserDetails(FormValue(R.Query, "customer_id"));
    if (Path == "/KV_HOMEPAGE/SHORTAGES_FORM.ASP")
      return ShortagesForm(R.Body);
    if (Path == "/KV_CLIENT/TWSUGGEST.PL")
      return Page("Korvandel", "<p>Thank you for your suggestion.</p>");
    if (IsRatesPage(R.Path))
      return RatesPage(R);
    if (Path == "/")
      return Page("Korvandel", "<h1>Korvandel</h1><p>The component search for engineers and buyers.</p>");
    TReply NotFound = Page("Not found", "<p>No such page.</p>");
    NotFound.Status = 404;
    return NotFound;
  }

private:
  TReply Logon(const std::string &Id, const std::string &Password) {
    auto It = FCustomers.find(Id);
    if (Id.empty() || It == FCustomers.end())
      return Page("Korvandel logon", "<p>Invalid Customer ID</p>");
    if (It->second.Password != Password)
      return Page("Korvandel logon", "<p>Invalid Password</p>");
    const TCustomer &C = It->second;
    const std::string Script = C.MaxResults.empty() ? "" : "MaxResults|" + C.MaxResults;
    return Page("Korvandel logon", "<OsTransmission><OsConfigScript>" + Script +
                                       "</OsConfigScript><OsMessages>Welcome to Korvandel.</OsMessages><KvFeatures>" +
                                       C.Features + "</KvFeatures></OsTransmission>");
  }

  TReply UserDetails(const std::string &Id) {
    auto It = FCustomers.find(Id);
    TReply R;
    R.ContentType = "text/plain; charset=windows-1252";
    R.Body = It == FCustomers.end() ? "Error: unknown customer" : It->second.Details;
    return R;
  }

  // The shortages form, filled in with what the client posted.
  TReply ShortagesForm(const std::string &Form) {
    std::string Fields;
    for (const char *Name : {"first_name", "last_name", "email_address", "company", "phone", "fax", "country",
                             "company_size", "title", "type_of_company"})
      Fields += std::string("<p>") + Name + ": <input name=\"" + Name + "\" value=\"" +
                HtmlEscape(FormValue(Form, Name)) + "\"></p>\r\n";
    return Page("Parts shortages", "<h1>Parts shortages</h1>\r\n<form method=\"post\" action=\"http://" +
                                       std::string(MakerHost) + "/kv_homepage/shortages_sent.asp\">\r\n" + Fields +
                                       "<p>Parts needed: <textarea name=\"parts\"></textarea></p>\r\n"
                                       "<input type=\"submit\" value=\"Send\"></form>");
  }

  std::map<std::string, TCustomer> FCustomers;
};

}  // namespace

std::unique_ptr<TSite> MakeMakerServer(const std::string &CustomersPath) {
  return std::make_unique<TMakerServer>(LoadCustomers(CustomersPath));
}

}  // namespace kvdemo
