#include "client/server/uAdverts.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

#include <map>
#include <random>

#include "client/server/uServer.h"
#include "client/uCatalogue.h"
#include "common/Common.h"
#include "components/GIFImage.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/gui/PlainText.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

const char *const AdvertPageFile = "Ad.AdH";

struct TPendingFetch {
  TAdverts *Owner;
  std::shared_ptr<TAdObject> Advert;
};

// Every fetch under way by its ticket, the user data the library hands back.
std::map<intptr_t, TPendingFetch> &PendingFetches() {
  static std::map<intptr_t, TPendingFetch> Pending;
  return Pending;
}
intptr_t NextTicket = 0;

std::vector<std::string> SplitLines(const std::string &Text) {
  std::vector<std::string> Lines;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find_first_of("\r\n", Start);
    if (End == std::string::npos) {
      Lines.push_back(Text.substr(Start));
      break;
    }
    Lines.push_back(Text.substr(Start, End - Start));
    Start = End + (Text[End] == '\r' && End + 1 < Text.size() && Text[End + 1] == '\n' ? 2 : 1);
  }
  return Lines;
}

std::string PositionDigit(int Position) { return IntToStr(Position); }

}  // namespace

std::string ExtractGifName(const std::string &Line) {
  const size_t P = UpperCase(Line).find(".GIF");
  if (P == std::string::npos)
    return "";
  const size_t Open = Line.find_last_of("\"'", P);
  if (Open == std::string::npos)
    return "";
  const size_t Close = Line.find(Line[Open], P);
  if (Close == std::string::npos)
    return "";
  return Line.substr(Open + 1, Close - Open - 1);
}

std::string ReadAdvertText(const std::string &Page, std::string &ClickURL) {
  std::string Joined, Picture;
  bool Found = false;
  for (const std::string &Line : SplitLines(Page)) {
    Joined += Line;
    if (!Found && UpperCase(Line).find(".GIF") != std::string::npos) {
      Picture = ExtractGifName(Line);
      Found = true;
    }
  }
  ClickURL = ChopLineOut(Joined, "href='", "'>");
  return Picture;
}

TAdvertSites CatalogueAdvertSites() {
  auto Text = [](primary::TGetSiteText TCatalogue::*Entry) {
    return [Entry](int Site) {
      std::string Result;
      if (Catalogue.*Entry)
        (Catalogue.*Entry)(Result, Site);
      return Result;
    };
  };
  TAdvertSites S;
  S.NumberSites = [] { return Catalogue.GetNumberSites ? int(Catalogue.GetNumberSites()) : 0; };
  S.HasAdvert = [](int Site) { return Catalogue.SiteHasAdvert && Catalogue.SiteHasAdvert(Site); };
  S.Advert = Text(&TCatalogue::GetSiteAdvert);
  S.URL = Text(&TCatalogue::GetSiteURL);
  S.Location = Text(&TCatalogue::GetSiteLocation);
  S.SecuredBasic = [](int Site) { return Catalogue.GetSiteSecurity && Catalogue.GetSiteSecurity(Site) == secBasic; };
  S.HasCategory = [](int Site, const std::string &Category) {
    return Catalogue.SiteHasCategory && Catalogue.SiteHasCategory(Site, Category);
  };
  return S;
}

TAdverts::TAdverts(const TWorkingSettings &Settings, TAdvertSites Sites, TAdvertEvents Events, QWidget *Panel1,
                   QWidget *Panel2, QObject *Owner)
    : QObject(Owner), FSettings(Settings), FSites(std::move(Sites)), FEvents(std::move(Events)) {
  gifBanner1 = new TPellGifImage(Panel1);
  gifBanner1->setObjectName("gifBanner1");
  gifBanner2 = new TPellGifImage(Panel2);
  gifBanner2->setObjectName("gifBanner2");
  for (TPellGifImage *G : {gifBanner1, gifBanner2})
    G->installEventFilter(this);
  timBanner = new QTimer(this);
  timBanner->setObjectName("timBanner");
  timBanner->setInterval(15000);
  connect(timBanner, &QTimer::timeout, this, [this] { timBannerTimer(); });
}

TAdverts::~TAdverts() {
  timBanner->stop();
  // Late callbacks of this owner's fetches find nothing.
  auto &Pending = PendingFetches();
  for (auto It = Pending.begin(); It != Pending.end();)
    It = It->second.Owner == this ? Pending.erase(It) : std::next(It);
}

size_t TAdverts::FetchesRunning() const {
  size_t N = 0;
  for (const auto &[Ticket, F] : PendingFetches())
    N += F.Owner == this;
  return N;
}

void TAdverts::LoadAdverts() {
  // Adverts of a chain still running stay alive in its pending fetch.
  FAdverts.clear();
  auto Server = std::make_shared<TAdObject>();
  Server->URL = ServerHost() + "/kv_client/kvbanners.asp?customer_id=" +
                HTTPEncode(FEvents.CustomerID ? FEvents.CustomerID() : std::string()) + "&banner_position=";
  Server->ClickURL = MakerHostName;
  Server->Secured = true;
  Server->User = ClientUser;
  Server->Password = ClientPassword;
  Server->DisplayTime = 15000;
  FAdverts.push_back(Server);
  if (!FSettings.MerchantMessages)
    return;
  const int Count = FSites.NumberSites ? FSites.NumberSites() : 0;
  for (int Site = 0; Site < Count; ++Site) {
    if (!SiteAdvertAllowed(Site))
      continue;
    std::string Picture, ClickURL;
    int Time = 15000;
    ParseAdvert(FSites.Advert ? FSites.Advert(Site) : std::string(), Picture, ClickURL, Time);
    auto Ad = std::make_shared<TAdObject>();
    Ad->URL = Picture;
    Ad->ClickURL = !ClickURL.empty() ? ClickURL : (FSites.URL ? FSites.URL(Site) : std::string());
    Ad->Secured = FSites.SecuredBasic && FSites.SecuredBasic(Site);
    Ad->DisplayTime = Time;
    FAdverts.push_back(Ad);
  }
}

bool TAdverts::SiteAdvertAllowed(int Site) const {
  if (!FSites.HasAdvert || !FSites.HasAdvert(Site))
    return false;
  if (FSettings.FindLocalSites && (!FSites.Location || FSites.Location(Site) != FSettings.LocalCountryCode))
    return false;
  if (Site < 0 || Site >= static_cast<int>(FSettings.SiteEnabled.size()) || FSettings.SiteEnabled[Site] != 1)
    return false;
  const int Category = FEvents.CategoryIndex ? FEvents.CategoryIndex() : 0;
  if (Category > 0)
    return FSites.HasCategory && FSites.HasCategory(Site, FEvents.CategoryText ? FEvents.CategoryText() : "");
  return true;
}

int TAdverts::Random(int Range) const {
  if (Range <= 0)
    return 0;
  if (FEvents.Random)
    return FEvents.Random(Range);
  static std::mt19937 Generator{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, Range - 1)(Generator);
}

void TAdverts::timBannerTimer() {
  if (FEvents.Stopping && FEvents.Stopping()) {
    timBanner->stop();
    return;
  }
  const int N = static_cast<int>(FAdverts.size());
  if (N == 0)
    return;
  int Index;
  if (!FSettings.BannerTips || BannerRotating) {
    // With only the server banner there is no site advert to find.
    Index = N > 1 ? 1 + Random(N - 1) : N;
    BannerRotating = false;
  } else {
    BannerRotating = true;
    Index = 0;
  }
  if (Index >= N)
    return;
  FPosition = 1;
  // Off before the fetch: a fetch that fails at once switches it on again.
  timBanner->stop();
  const std::shared_ptr<TAdObject> Advert = FAdverts[Index];
  FetchAdvert(Advert, Index == 0 ? Advert->URL + PositionDigit(1) : Advert->URL);
}

void TAdverts::EnableTimer() { timBanner->start(); }

void TAdverts::FetchAdvert(const std::shared_ptr<TAdObject> &Advert, const std::string &URL) {
  if (!Advert || Advert->URL.empty()) {
    EnableTimer();
    return;
  }
  if (UpperCase(URL).find(".GIF") != std::string::npos)
    Fetch(Advert, URL, FEvents.ProgramDir + "Addwn" + PositionDigit(FPosition) + ".sys", ImageDone,
          kv::limits::AdvertPicture);
  else
    Fetch(Advert, URL, FEvents.ProgramDir + AdvertPageFile, PageDone, kv::limits::AdvertPage);
}

void TAdverts::Fetch(const std::shared_ptr<TAdObject> &Advert, const std::string &URL, const std::string &File,
                     TGetFileDoneProc Done, const kv::TConversationLimits &Limits) {
  if (!FEvents.GetFile) {
    EnableTimer();
    return;
  }
  const intptr_t Ticket = ++NextTicket;
  PendingFetches()[Ticket] = TPendingFetch{this, Advert};
  const TProxySettings P = FEvents.Proxy ? FEvents.Proxy() : TProxySettings{};
  const std::string Target = ResolvePath(File);
  // A fetch takes its group's limits when it starts.
  SetFetchLimits(FEvents.SetFileGroupLimits, fgAdverts, Limits);
  FEvents.GetFile(URL.c_str(), Target.c_str(), "", "", Advert->User.c_str(), Advert->Password.c_str(),
                  P.ProxyServer.c_str(), P.ProxyPort.c_str(), P.ProxyUserName.c_str(), P.ProxyPassword.c_str(), Done,
                  P.UseProxy, Ticket, fgAdverts);
}

std::shared_ptr<TAdObject> TAdverts::TakeTicket(intptr_t Ticket, TAdverts *&Owner) {
  auto &Pending = PendingFetches();
  auto It = Pending.find(Ticket);
  if (It == Pending.end()) {
    Owner = nullptr;
    return nullptr;
  }
  Owner = It->second.Owner;
  std::shared_ptr<TAdObject> Advert = std::move(It->second.Advert);
  Pending.erase(It);
  return Advert;
}

void TAdverts::PageDone(int32_t Success, intptr_t Ticket) {
  TAdverts *Owner = nullptr;
  const std::shared_ptr<TAdObject> Advert = TakeTicket(Ticket, Owner);
  if (Owner)
    Owner->AdvertPageFetched(Success != 0, Advert);
}

void TAdverts::ImageDone(int32_t Success, intptr_t Ticket) {
  TAdverts *Owner = nullptr;
  const std::shared_ptr<TAdObject> Advert = TakeTicket(Ticket, Owner);
  if (Owner)
    Owner->AdvertImageFetched(Success != 0, Advert);
}

void TAdverts::AdvertPageFetched(bool Success, const std::shared_ptr<TAdObject> &Advert) {
  if (!Success) {
    EnableTimer();
    return;
  }
  const std::string Picture = ReadAdvertPage();
  if (!Picture.empty())
    FetchAdvert(Advert, Picture);
  else
    EnableTimer();
}

std::string TAdverts::ReadAdvertPage() {
  const std::string Path = ResolvePath(FEvents.ProgramDir + AdvertPageFile);
  std::string Page, ClickURL;
  const bool Read = ReadFileToString(Path, Page);
  const std::string Picture = Read ? ReadAdvertText(Page, ClickURL) : std::string();
  if (Read && !FAdverts.empty())
    FAdverts[0]->ClickURL = ClickURL;
  if (FileExists(Path))
    DeleteFile(Path);
  return Picture;
}

void TAdverts::AdvertImageFetched(bool Success, const std::shared_ptr<TAdObject> &Advert) {
  if (!Success) {
    // The rotation goes on with the next turn instead of stopping until the
    // next search.
    EnableTimer();
    return;
  }
  const std::string Digit = PositionDigit(FPosition);
  const std::string Downloaded = ResolvePath(FEvents.ProgramDir + "Addwn" + Digit + ".sys");
  const std::string Shown = ResolvePath(FEvents.ProgramDir + "Ad" + Digit + ".sys");
  if (FileExists(Downloaded))
    CopyFile(Downloaded, Shown, false);
  try {
    TPellGifImage *Banner = FPosition == 1 ? gifBanner1 : gifBanner2;
    Banner->LoadFromFile(Shown);
    Banner->SetAnimate(true);
    Banner->setToolTip(FromAnsi(Advert->ClickURL));
    WriteSettingString("Banner", "ClickURL" + Digit, Advert->ClickURL);
  } catch (...) {
  }
  if (FPosition == 1) {
    FPosition = 2;
    if (FAdverts.empty()) {
      EnableTimer();
      return;
    }
    const std::shared_ptr<TAdObject> Server = FAdverts[0];
    FetchAdvert(Server, Server->URL + PositionDigit(2));
    return;
  }
  timBanner->setInterval(std::max(Advert->DisplayTime, 1));
  timBanner->stop();
  timBanner->start();
}

void TAdverts::Click(TPellGifImage *Banner) {
  const std::string Hint = ToAnsi(Banner->toolTip());
  if (!Hint.empty() && FEvents.OpenURL)
    FEvents.OpenURL("http://" + Hint);
}

void TAdverts::gifBanner1Click() { Click(gifBanner1); }
void TAdverts::gifBanner2Click() { Click(gifBanner2); }

void TAdverts::LoadClickURLs() {
  gifBanner1->setToolTip(FromAnsi(FSettings.ClickURL1));
  gifBanner2->setToolTip(FromAnsi(FSettings.ClickURL2));
}

bool TAdverts::eventFilter(QObject *Watched, QEvent *Event) {
  // A banner's hint is its click address, from outside: shown as it is.
  if (Event->type() == QEvent::ToolTip && (Watched == gifBanner1 || Watched == gifBanner2)) {
    auto *Banner = static_cast<QWidget *>(Watched);
    if (Banner->toolTip().isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(static_cast<QHelpEvent *>(Event)->globalPos(), PlainHint(Banner->toolTip()), Banner);
    return true;
  }
  if (Event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent *>(Event)->button() == Qt::LeftButton) {
    if (Watched == gifBanner1)
      gifBanner1Click();
    else if (Watched == gifBanner2)
      gifBanner2Click();
  }
  return QObject::eventFilter(Watched, Event);
}
