// The four demo shops, each with its own search form and page format:
// Tolbrook (UK) an HTML table, Haller (Switzerland) a list of blocks with a
// posted next-page form, Harbor (US) price breaks in a table of their own,
// and Korvandel Direct an XML list. Two of them leave part of an offer to a
// page of its own, which the client fetches as a follow-up: Tolbrook the
// price breaks after the first, Korvandel Direct the quantity in stock.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "demo/Sites.h"
#include "demo/UpdatesAndBanners.h"

namespace kvdemo {
namespace {

// "1308.25" -> "1,308.25" with Separator between groups of three digits.
std::string Grouped(const std::string &Number, char Separator) {
  const size_t Dot = Number.find('.');
  std::string Int = Number.substr(0, Dot);
  const std::string Rest = Dot == std::string::npos ? "" : Number.substr(Dot);
  for (int P = static_cast<int>(Int.size()) - 3; P > 0; P -= 3)
    Int.insert(static_cast<size_t>(P), 1, Separator);
  return Int + Rest;
}

int PageNumber(const std::string &Text) { return std::max(1, WholeNumber(Text, 1)); }

class TShop : public TSite {
public:
  TShop(const std::vector<TOffer> &Catalogue, std::string Key, std::string Host, std::string Name,
        std::string CookieName, std::string ItemPrefix, size_t PageSize)
      : FCatalogue(Catalogue), FKey(std::move(Key)), FHost(std::move(Host)), FName(std::move(Name)),
        FCookieName(std::move(CookieName)), FItemPrefix(std::move(ItemPrefix)), FPageSize(PageSize) {}

  std::string Key() const override { return FKey; }
  std::string Host() const override { return FHost; }

  TReply Serve(const TRequest &R) override {
    TReply Reply;
    if (ServeShopBanner(FKey, R, Reply))
      return Reply;
    if (R.Path == SearchPath())
      Reply = Search(R);
    else if (R.Path.rfind(FItemPrefix, 0) == 0)
      Reply = ItemPage(R.Path.substr(FItemPrefix.size()));
    else if (R.Path.size() > 4 && UpperCase(R.Path.substr(R.Path.size() - 4)) == ".PDF")
      Reply = Html(FName + ": datasheet", "<p>Datasheet " + HtmlEscape(R.Path) + " (a placeholder of the demo).</p>");
    else if (R.Path == "/")
      Reply = Html(FName, "<h1>" + FName + "</h1><p>Electronic components from stock.</p>");
    else {
      Reply = Html(FName + ": not found", "<p>No such page.</p>");
      Reply.Status = 404;
    }
    if (R.Cookie(FCookieName).empty())
      Reply.ExtraHeaders.push_back(SessionCookie());
    return Reply;
  }

protected:
  virtual std::string SearchPath() const = 0;
  virtual TReply Search(const TRequest &R) = 0;

  TReply Html(const std::string &Title, const std::string &Body) const {
    TReply R;
    R.Body = "<html><head><title>" + HtmlEscape(Title) + "</title></head>\r\n<body>\r\n" + Body +
             "\r\n</body></html>\r\n";
    return R;
  }

  TReply NoSuchItem() const {
    TReply R = Html(FName + ": not found", "<p>No such item.</p>");
    R.Status = 404;
    return R;
  }

  // What follows the item prefix in the path, still encoded.
  virtual TReply ItemPage(const std::string &Rest) const { return Item(UrlDecode(Rest)); }

  // The page of Offers, counting from 1, and whether another follows.
  std::vector<const TOffer *> PageOf(const std::vector<const TOffer *> &Offers, size_t First, bool &More) const {
    std::vector<const TOffer *> Page;
    for (size_t I = First; I < Offers.size() && Page.size() < FPageSize; ++I)
      Page.push_back(Offers[I]);
    More = First + Page.size() < Offers.size();
    return Page;
  }

  virtual std::string SessionCookie() {
    return "Set-Cookie: " + FCookieName + "=" + NewSession() + "; path=/";
  }

  std::string NewSession() {
    static std::atomic<unsigned> Counter{0};
    const auto Now = std::chrono::steady_clock::now().time_since_epoch().count();
    char Text[32];
    std::snprintf(Text, sizeof Text, "%08x%06x", static_cast<unsigned>(Now & 0xFFFFFFFF),
                  (++Counter * 2654435761u) & 0xFFFFFF);
    return Text;
  }

  const TOffer *FindSku(const std::string &Sku) const {
    for (const TOffer &O : FCatalogue)
      if (O.Shop == FKey && O.Sku == Sku)
        return &O;
    return nullptr;
  }

  virtual TReply Item(const std::string &Sku) const {
    const TOffer *O = FindSku(Sku);
    if (!O)
      return NoSuchItem();
    std::string Body = "<h1>" + HtmlEscape(O->PartNumber) + "</h1>\r\n<p>" + HtmlEscape(O->Manufacturer) + "</p>\r\n<p>" +
                       HtmlEscape(O->Description) + "</p>\r\n<ul>";
    for (const TPriceBreak &B : O->Breaks)
      Body += "<li>" + B.Quantity + "+ " + B.Price + "</li>";
    return Html(FName + ": " + O->PartNumber, Body + "</ul>");
  }

  const std::vector<TOffer> &FCatalogue;
  const std::string FKey, FHost, FName, FCookieName, FItemPrefix;
  const size_t FPageSize;
};

class TTolbrook : public TShop {
public:
  explicit TTolbrook(const std::vector<TOffer> &C)
      : TShop(C, "tolbrook", "www.tolbrook.test", "Tolbrook Components", "TBSESSION", "/product/", 5) {}

protected:
  std::string SearchPath() const override { return "/search"; }

  TReply Search(const TRequest &R) override {
    const std::string Term = FormValue(R.Query, "q"), Type = FormValue(R.Query, "type");
    const int Page = PageNumber(FormValue(R.Query, "page"));
    const auto Offers = FindOffers(FCatalogue, FKey, Term, Type == "kw");
    bool More = false;
    const auto Shown = PageOf(Offers, static_cast<size_t>(Page - 1) * FPageSize, More);
    std::string B = "<div id=\"header\"><a href=\"/\">Tolbrook Components</a> | Prices in GBP, excluding VAT</div>\r\n"
                    "<form action=\"/search\" method=\"get\"><input name=\"q\" value=\"" +
                    HtmlEscape(Term) + "\"><input type=\"submit\" value=\"Search\"></form>\r\n";
    if (Shown.empty())
      return Html("Tolbrook Components: " + Term,
                  B + "<p class=\"none\">No products match <b>" + HtmlEscape(Term) + "</b>.</p>");
    const size_t First = static_cast<size_t>(Page - 1) * FPageSize + 1;
    B += "<p class=\"count\">Results " + std::to_string(First) + " to " + std::to_string(First + Shown.size() - 1) +
         " of " + std::to_string(Offers.size()) + " for <b>" + HtmlEscape(Term) + "</b></p>\r\n";
    B += "<table class=\"results\" border=\"1\">\r\n<tr><th>Part number</th><th>Manufacturer</th><th>Description</th>"
         "<th>Datasheet</th><th>Availability</th><th>Price each</th></tr>\r\n";
    for (const TOffer *O : Shown) {
      B += "<tr class=\"item\"><td class=\"pn\"><a href=\"/product/" + UrlEncode(O->Sku) + "\">" +
           HtmlEscape(O->PartNumber) + "</a></td><td class=\"mfr\">" + HtmlEscape(O->Manufacturer) +
           "</td><td class=\"desc\">" + HtmlEscape(O->Description) + "</td><td class=\"ds\">";
      B += O->Datasheet.empty() ? "-" : "<a href=\"" + HtmlEscape(O->Datasheet) + "\">PDF</a>";
      B += "</td><td class=\"stock\">";
      if (O->Stock == "Y")
        B += "In stock: " + Grouped(O->Quantity, ',');
      else if (O->Stock == "N")
        B += "Out of stock";
      else
        B += "Call for availability";
      // Only the first break here; the item page has them all.
      B += "</td><td class=\"price\">";
      if (!O->Breaks.empty())
        B += O->Breaks[0].Quantity + "+ \xA3" + Grouped(O->Breaks[0].Price, ',');
      if (O->Breaks.size() > 1)
        B += "<br><a class=\"breaks\" href=\"/product/" + UrlEncode(O->Sku) + "\">more prices</a>";
      B += "</td></tr>\r\n";
    }
    B += "</table>\r\n<p class=\"pages\">Page " + std::to_string(Page);
    if (More)
      B += " <a class=\"next\" href=\"/search?q=" + UrlEncode(Term) + "&amp;type=" + (Type == "kw" ? "kw" : "pn") +
           "&amp;page=" + std::to_string(Page + 1) + "\">Next page &gt;</a>";
    return Html("Tolbrook Components: " + Term, B + "</p>");
  }

  TReply Item(const std::string &Sku) const override {
    const TOffer *O = FindSku(Sku);
    if (!O)
      return NoSuchItem();
    std::string B =
        "<h1 class=\"pn\">" + HtmlEscape(O->PartNumber) + "</h1>\r\n<p class=\"mfr\">" +
        HtmlEscape(O->Manufacturer) + "</p>\r\n<p class=\"desc\">" + HtmlEscape(O->Description) +
        "</p>\r\n<table class=\"breaks\" border=\"1\">\r\n<tr><th>Quantity</th><th>Price each</th></tr>\r\n";
    for (const TPriceBreak &P : O->Breaks)
      B += "<tr><td class=\"qty\">" + P.Quantity + "+</td><td class=\"price\">\xA3" + Grouped(P.Price, ',') +
           "</td></tr>\r\n";
    return Html("Tolbrook Components: " + O->PartNumber, B + "</table>");
  }
};

class THaller : public TShop {
public:
  explicit THaller(const std::vector<TOffer> &C)
      : TShop(C, "haller", "www.haller-elektronik.test", "Haller Elektronik", "HALLERSID", "/artikel/", 4) {}

protected:
  std::string SearchPath() const override { return "/suche"; }

  TReply Search(const TRequest &R) override {
    const std::string &Form = R.Method == "POST" ? R.Body : R.Query;
    const std::string Term = FormValue(Form, "suchbegriff"), Mode = FormValue(Form, "modus");
    const int Page = PageNumber(FormValue(Form, "seite"));
    const auto Offers = FindOffers(FCatalogue, FKey, Term, Mode == "text");
    bool More = false;
    const auto Shown = PageOf(Offers, static_cast<size_t>(Page - 1) * FPageSize, More);
    std::string B = "<div class=\"kopf\"><h1>Haller Elektronik AG</h1><p>Preise in CHF inkl. MwSt.</p></div>\r\n";
    if (Shown.empty())
      return Html("Haller Elektronik - Suche", B + "<p class=\"keine\">Keine Artikel gefunden.</p>");
    B += "<p class=\"treffer\">" + std::to_string(Offers.size()) + " Treffer, Seite " + std::to_string(Page) +
         "</p>\r\n<div class=\"liste\">\r\n";
    for (const TOffer *O : Shown) {
      B += "<div class=\"artikel\">\r\n<h3><a href=\"/artikel/" + UrlEncode(O->Sku) + "\">" +
           HtmlEscape(O->PartNumber) + "</a></h3>\r\n<p class=\"hersteller\">Hersteller: " +
           HtmlEscape(O->Manufacturer) + "</p>\r\n<p class=\"text\">" + HtmlEscape(O->Description) +
           "</p>\r\n<p class=\"lager\">";
      if (O->Stock == "Y")
        B += "ab Lager: " + Grouped(O->Quantity, '\'') + " Stk.";
      else if (O->Stock == "N")
        B += "nicht an Lager";
      else
        B += "Lieferzeit auf Anfrage";
      B += "</p>\r\n<ul class=\"staffel\">";
      for (const TPriceBreak &P : O->Breaks)
        B += "<li>ab " + P.Quantity + " Stk. CHF " + Grouped(P.Price, '\'') + "</li>";
      B += "</ul>\r\n";
      // Datasheet links on the shop's own host are written relative to it.
      const std::string Own = "http://" + FHost;
      if (!O->Datasheet.empty())
        B += "<p><a class=\"datenblatt\" href=\"" +
             HtmlEscape(O->Datasheet.rfind(Own, 0) == 0 ? O->Datasheet.substr(Own.size()) : O->Datasheet) +
             "\">Datenblatt (PDF)</a></p>\r\n";
      B += "</div>\r\n";
    }
    B += "</div>\r\n";
    if (More)
      B += "<form class=\"weiter\" method=\"post\" action=\"/suche\">\r\n"
           "<input type=\"hidden\" name=\"suchbegriff\" value=\"" +
           HtmlEscape(Term) + "\">\r\n<input type=\"hidden\" name=\"modus\" value=\"" +
           (Mode == "text" ? "text" : "artikel") + "\">\r\n<input type=\"hidden\" name=\"seite\" value=\"" +
           std::to_string(Page + 1) + "\">\r\n<input type=\"submit\" value=\"Weiter &raquo;\">\r\n</form>";
    return Html("Haller Elektronik - Suche", B);
  }
};

class THarbor : public TShop {
public:
  explicit THarbor(const std::vector<TOffer> &C)
      : TShop(C, "harbor", "www.harborparts.test", "Harbor Parts Supply", "HPS_ID", "/item/", 6) {}

protected:
  std::string SearchPath() const override { return "/cgi-bin/find"; }

  std::string SessionCookie() override {
    return "Set-Cookie: HPS_ID=" + NewSession() + "; path=/; expires=Fri, 31-Dec-2037 23:59:59 GMT";
  }

  TReply Search(const TRequest &R) override {
    const std::string Term = FormValue(R.Query, "part"), By = FormValue(R.Query, "by");
    const size_t Start = static_cast<size_t>(WholeNumber(FormValue(R.Query, "start"), 0));
    const auto Offers = FindOffers(FCatalogue, FKey, Term, By == "desc");
    bool More = false;
    const auto Shown = PageOf(Offers, Start, More);
    std::string B = "<center><h1>HARBOR PARTS SUPPLY</h1><i>Since 1987. All prices in US dollars.</i></center>\r\n";
    if (Shown.empty())
      return Html("Harbor Parts Supply - Search", B + "<p>Sorry, no items matched your search.</p>");
    B += "<table id=\"items\" border=\"1\">\r\n<tr><th>Item #</th><th>Mfr. Part #</th><th>Manufacturer</th>"
         "<th>Description</th><th>In Stock</th><th>Datasheet</th></tr>\r\n";
    for (const TOffer *O : Shown) {
      B += "<tr><td>" + HtmlEscape(O->Sku) + "</td><td><a href=\"/item/" + UrlEncode(O->Sku) + "\">" +
           HtmlEscape(O->PartNumber) + "</a></td><td>" + HtmlEscape(O->Manufacturer) + "</td><td>" +
           HtmlEscape(O->Description) + "</td><td>" +
           (O->Stock == "Y" ? Grouped(O->Quantity, ',') : O->Stock == "N" ? "Backordered" : "Call") + "</td><td>" +
           (O->Datasheet.empty() ? "&nbsp;" : "<a href=\"" + HtmlEscape(O->Datasheet) + "\">PDF</a>") +
           "</td></tr>\r\n";
    }
    // Break by break rather than item by item: each price row names its item.
    B += "</table>\r\n<h2>Volume pricing</h2>\r\n<table id=\"pricing\" border=\"1\">\r\n"
         "<tr><th>Item #</th><th>Quantity</th><th>Unit Price</th></tr>\r\n";
    for (size_t Level = 0; Level < 4; ++Level)
      for (const TOffer *O : Shown)
        if (Level < O->Breaks.size())
          B += "<tr><td>" + HtmlEscape(O->Sku) + "</td><td>" + O->Breaks[Level].Quantity + "</td><td>$" +
               Grouped(O->Breaks[Level].Price, ',') + "</td></tr>\r\n";
    B += "</table>\r\n<p class=\"nav\">Showing " + std::to_string(Start + 1) + "-" +
         std::to_string(Start + Shown.size()) + " of " + std::to_string(Offers.size()) + ".";
    if (More)
      B += " <a href=\"/cgi-bin/find?part=" + UrlEncode(Term) + "&amp;by=" + (By == "desc" ? "desc" : "part") +
           "&amp;start=" + std::to_string(Start + Shown.size()) + "\">Next " + std::to_string(FPageSize) +
           " &gt;&gt;</a>";
    return Html("Harbor Parts Supply - Search", B + "</p>");
  }
};

class TDirect : public TShop {
public:
  explicit TDirect(const std::vector<TOffer> &C)
      : TShop(C, "direct", "direct.korvandel.test", "Korvandel Direct", "KDSESS", "/part/", 9) {}

protected:
  std::string SearchPath() const override { return "/api/search"; }

  TReply Search(const TRequest &R) override {
    const std::string Term = FormValue(R.Query, "q"), Mode = FormValue(R.Query, "mode");
    const int Page = PageNumber(FormValue(R.Query, "p"));
    const auto Offers = FindOffers(FCatalogue, FKey, Term, Mode == "text");
    bool More = false;
    const auto Shown = PageOf(Offers, static_cast<size_t>(Page - 1) * FPageSize, More);
    const size_t Pages = (Offers.size() + FPageSize - 1) / FPageSize;
    TReply Reply;
    Reply.ContentType = "text/xml; charset=windows-1252";
    std::string &B = Reply.Body;
    B = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<results query=\"" + HtmlEscape(Term) + "\" page=\"" +
        std::to_string(Page) + "\" of=\"" + std::to_string(Pages) + "\" total=\"" + std::to_string(Offers.size()) +
        "\">\r\n";
    for (const TOffer *O : Shown) {
      B += "<part>\r\n<sku>" + HtmlEscape(O->Sku) + "</sku>\r\n<number>" + HtmlEscape(O->PartNumber) +
           "</number>\r\n<maker>" + HtmlEscape(O->Manufacturer) + "</maker>\r\n<text>" +
           HtmlEscape(O->Description) + "</text>\r\n";
      // The quantity of a part in stock is in its stock document.
      if (O->Stock == "Y")
        B += "<stock status=\"Y\" qty=\"\" href=\"/part/" + UrlEncode(O->Sku) + "/stock\"/>\r\n";
      else
        B += "<stock status=\"" + O->Stock + "\" qty=\"" + O->Quantity + "\"/>\r\n";
      for (const TPriceBreak &P : O->Breaks)
        B += "<price from=\"" + P.Quantity + "\">" + P.Price + "</price>\r\n";
      B += O->Datasheet.empty() ? "<datasheet/>\r\n" : "<datasheet>" + HtmlEscape(O->Datasheet) + "</datasheet>\r\n";
      B += "<link>http://" + FHost + "/part/" + UrlEncode(O->Sku) + "</link>\r\n</part>\r\n";
    }
    if (More)
      B += "<next>/api/search?q=" + UrlEncode(Term) + "&amp;mode=" + (Mode == "text" ? "text" : "pn") +
           "&amp;p=" + std::to_string(Page + 1) + "</next>\r\n";
    B += "</results>\r\n";
    return Reply;
  }

  TReply ItemPage(const std::string &Rest) const override {
    const std::string Suffix = "/stock";
    if (Rest.size() > Suffix.size() && Rest.compare(Rest.size() - Suffix.size(), Suffix.size(), Suffix) == 0)
      return StockDocument(UrlDecode(Rest.substr(0, Rest.size() - Suffix.size())));
    return TShop::ItemPage(Rest);
  }

  TReply StockDocument(const std::string &Sku) const {
    TReply Reply;
    Reply.ContentType = "text/xml; charset=windows-1252";
    Reply.Body = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n";
    const TOffer *O = FindSku(Sku);
    if (!O) {
      Reply.Status = 404;
      Reply.Body += "<error>No such part</error>\r\n";
      return Reply;
    }
    Reply.Body += "<availability>\r\n<sku>" + HtmlEscape(O->Sku) + "</sku>\r\n<number>" +
                  HtmlEscape(O->PartNumber) + "</number>\r\n<stock status=\"" + O->Stock + "\" qty=\"" +
                  O->Quantity + "\"/>\r\n</availability>\r\n";
    return Reply;
  }
};

}  // namespace

std::vector<std::unique_ptr<TSite>> MakeShops(const std::vector<TOffer> &Catalogue) {
  std::vector<std::unique_ptr<TSite>> Shops;
  Shops.push_back(std::make_unique<TTolbrook>(Catalogue));
  Shops.push_back(std::make_unique<THaller>(Catalogue));
  Shops.push_back(std::make_unique<THarbor>(Catalogue));
  Shops.push_back(std::make_unique<TDirect>(Catalogue));
  return Shops;
}

}  // namespace kvdemo
