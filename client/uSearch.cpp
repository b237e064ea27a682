#include "client/uSearch.h"

#include <algorithm>
#include <cstring>

#include "client/uCatalogue.h"
#include "client/uOffers.h"
#include "client/uTextUtils.h"
#include "components/replistv.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"
#include "platform/gui/Cursor.h"
#include "platform/qt/Messages.h"

using namespace kv;

// What the engine knows of each pool socket beyond its own fields: whether it
// holds a use of its site library and whether it is counted in ActiveCount,
// so each is given back exactly once however the site ends.
struct TSearchEngine::TSlot {
  bool HoldsUse = false;
  bool Counted = false;
  bool CookiesRead = false;
  uint64_t Generation = 0;  // the search the socket was started for
};

namespace {

// Engines alive, so a callback can tell a context it was handed from a stale one.
std::vector<TSearchEngine *> &Engines() {
  static std::vector<TSearchEngine *> E;
  return E;
}

TSearchEngine *EngineOf(void *Context, TTambleSocket *&Socket) {
  for (TSearchEngine *E : Engines())
    for (const auto *Pool : {&E->SitePool, &E->MorePool})
      for (TTambleSocket *S : *Pool)
        if (S == Context) {
          Socket = S;
          return E;
        }
  return nullptr;
}

const char *const DataSheetCell = "http://Datasheet";

}  // namespace

TSearchEngine::TSearchEngine(TWorkingSettings &S, TReportListView *List, TSearchEvents Events, QObject *Owner)
    : QObject(Owner), Settings(S), lstProducts(List), FEvents(std::move(Events)) {
  // Both pools share the data, end and error handlers; FollowUp tells them apart.
  for (const bool FollowUp : {false, true})
    for (int I = 0; I < PoolSize; ++I) {
      auto *Sock = new TTambleSocket(this);
      Sock->MaximumReceiveLength = 65000;
      Sock->FollowUp = FollowUp;
      Sock->OnDataAvailable = [this, Sock](TMsgSocket *, int) { SiteDataAvailable(Sock); };
      Sock->OnDone = [this](TTambleSocket *Sender) { SiteSessionClosed(Sender); };
      Sock->OnErrorOccurred = [this, Sock](TMsgSocket *, int Socket, int Error, const std::string &Msg) {
        SiteErrorOccurred(Sock, Socket, Error, Msg);
      };
      (FollowUp ? MorePool : SitePool).push_back(Sock);
      (FollowUp ? FMoreSlots : FSlots).push_back(std::make_unique<TSlot>());
    }
  FPublish.setInterval(PublishInterval);
  connect(&FPublish, &QTimer::timeout, this, [this] {
    if (FHoldingRows && lstProducts) {
      lstProducts->EndUpdate();
      lstProducts->BeginUpdate();
    }
  });
  Engines().push_back(this);
}

TSearchEngine::~TSearchEngine() {
  Engines().erase(std::remove(Engines().begin(), Engines().end(), this), Engines().end());
  std::vector<TTambleSocket *> All = SitePool;
  All.insert(All.end(), MorePool.begin(), MorePool.end());
  for (TTambleSocket *S : All) {
    S->OnDone = nullptr;
    S->OnDataAvailable = nullptr;
    S->OnErrorOccurred = nullptr;
    try {
      if (S->SocketHandle() != -1)
        S->Disconnect();
    } catch (const std::exception &) {
    }
  }
  ReleaseRows();
  FreeItemStores();
}

void TSearchEngine::HoldRows() {
  if (FHoldingRows || !lstProducts)
    return;
  lstProducts->BeginUpdate();
  FHoldingRows = true;
  FPublish.start();
}

void TSearchEngine::ReleaseRows() {
  FPublish.stop();
  if (!FHoldingRows)
    return;
  FHoldingRows = false;
  if (lstProducts)
    lstProducts->EndUpdate();
}

TSearchEngine::TSlot &TSearchEngine::Slot(const TTambleSocket *S) {
  const auto It = std::find(SitePool.begin(), SitePool.end(), S);
  if (It != SitePool.end())
    return *FSlots[static_cast<size_t>(It - SitePool.begin())];
  const auto More = std::find(MorePool.begin(), MorePool.end(), S);
  return *FMoreSlots[static_cast<size_t>(More - MorePool.begin())];
}

// A socket still connecting has no request once cancelled, and one whose page
// is being read has closed its connection: neither may be given a site.
bool TSearchEngine::IsIdle(const TTambleSocket *S) const {
  return S->Request.empty() && !S->Parsing && S->SocketHandle() == -1;
}

bool TSearchEngine::Closing() const { return FEvents.Closing && FEvents.Closing(); }

int TSearchEngine::MaxSockets() const { return std::min(Settings.MaxSockets, PoolSize); }

std::string TSearchEngine::SiteName(int Site) const {
  std::string Name;
  try {
    if (Catalogue.GetSiteName)
      Catalogue.GetSiteName(Name, Site);
  } catch (const EListError &) {
  }
  return Name;
}

std::string TSearchEngine::HostName(int Site) const {
  std::string Host;
  if (Catalogue.GetHostName)
    Catalogue.GetHostName(Host, Site);
  return Host;
}

std::string TSearchEngine::Statement(int Site, const std::string &Term, const std::string &PostData,
                                     const std::string &NextURL, int &PageState) const {
  std::string Request;
  int32_t State = PageState;
  Catalogue.GetStatement(Request, Site, Term, PostData, NextURL, Settings.UseProxy ? 1 : 0, Settings.ProxyUserName,
                         Settings.ProxyPassword, State);
  PageState = State;
  return Request;
}

void TSearchEngine::SetTarget(TTambleSocket *S, int Site) const {
  if (Settings.UseProxy) {
    S->IPAddr = Settings.ProxyServer;
    S->Port = Settings.ProxyPort;
  } else {
    S->IPAddr = HostName(Site);
    S->Port = "80";
  }
}

void TSearchEngine::SetStatus(const std::string &Text, bool Flash) const {
  if (FEvents.SetStatus)
    FEvents.SetStatus(Text, Flash);
}
void TSearchEngine::SetSearchStatus(const std::string &Text) const {
  if (FEvents.SetSearchStatus)
    FEvents.SetSearchStatus(Text);
}
void TSearchEngine::SetSearchCount(const std::string &Text) const {
  if (FEvents.SetSearchCount)
    FEvents.SetSearchCount(Text);
}
void TSearchEngine::EnableButton(int Index, bool Enabled) const {
  if (FEvents.EnableButton)
    FEvents.EnableButton(Index, Enabled);
}

void TSearchEngine::StartSearch(const std::string &SearchText) {
  if (Closing() || SearchText.empty())
    return;
  EnableButton(SearchButton::Find, false);
  if (FEvents.ShowResults) {
    FEvents.ShowResults();
    ProcessMessages();
  }
  kv::ShowHourglass();
  try {
    SetStatus("Initializing Searches", true);
    for (int B : {SearchButton::Find, SearchButton::Shortages, SearchButton::Export, SearchButton::Import,
                  SearchButton::Print})
      EnableButton(B, false);
    // SettingsChanged stays set: every later search reloads the settings too.
    if (FEvents.SettingsChanged && FEvents.SettingsChanged() && FEvents.LoadSettings)
      FEvents.LoadSettings();
    if (FEvents.Statistics)
      FEvents.Statistics(true);
    ParseSearchTerms(SearchText);
    SetSearchCount("");
    Stopping = false;
    ClearResults();
    HoldRows();
    ResetSiteCounters();
    if (FEvents.SearchStarting)
      FEvents.SearchStarting(SearchText, SearchTerms.Get(0));
    EnableButton(SearchButton::Stop, true);
    SetSearchStatus("Starting Search");
    try {
      if (FEvents.Animate)
        FEvents.Animate(true);
    } catch (const std::exception &) {
    }
    ProcessMessages();
    if (Closing()) {
      ReleaseRows();
      kv::RestoreCursor();
      return;
    }
    if (FEvents.SendUsageRecord) {
      TStringList Names;
      const int Count = Catalogue.GetNumberSites ? Catalogue.GetNumberSites() : 0;
      for (int I = 0; I < Count; ++I)
        if (I < static_cast<int>(Settings.SiteEnabled.size()) && Settings.SiteEnabled[I] == 1)
          Names.Add(SiteName(I));
      FEvents.SendUsageRecord(SearchTerms, Names);
    }
    FSearching = true;
    ++FGeneration;
    // Entries of an earlier search name rows and terms that are gone.
    ClearMoreQueue();
    SetNextSite(0);
    SetStatus("Searching", true);
    if (FEvents.EnableTimeOut)
      FEvents.EnableTimeOut(true);
    if (hPrimary) {
      Catalogue.SetSiteSearchStopped(0);
      Catalogue.SetCustomerDetails(FEvents.CustomerDetails ? FEvents.CustomerDetails() : std::string());
    }
  } catch (...) {
    ReleaseRows();
    kv::RestoreCursor();
    throw;
  }
  kv::RestoreCursor();
  ActivateSockets();
  if (FEvents.SitesStarted)
    FEvents.SitesStarted();
  if (ActiveCount == 0)
    FinishSearch();
}

void TSearchEngine::ParseSearchTerms(const std::string &SearchText) {
  SplitStringSimple(SearchText, ",", SearchTerms, false, false);
  for (int I = 0; I < SearchTerms.Count(); ++I)
    SearchTerms.Put(I, Trim(SearchTerms.Get(I)));
  if (SearchTerms.Count() == 0)
    SearchTerms.Add("");
}

void TSearchEngine::ActivateSockets() {
  if (!hPrimary)
    return;
  try {
    // One pass per site considered; a skipped site is just the next pass.
    for (;;) {
      YieldProcessor();
      ProcessMessages();
      const int CategoryIndex = Number(FEvents.CategoryIndex);
      const std::string Category = FEvents.CategoryText ? FEvents.CategoryText() : std::string();
      if (Stopping || Closing() || ActiveCount >= MaxSockets())
        return;
      int PageState = 1;
      if (NextSite >= Catalogue.GetNumberSites())
        return;
      const int Site = NextSite;
      bool Skip = false;
      if (Settings.FindLocalSites) {
        std::string Location;
        Catalogue.GetSiteLocation(Location, Site);
        Skip = Location != Settings.LocalCountryCode;
      }
      if (!Skip && Settings.LanguageSites) {
        std::string Language;
        Catalogue.GetSiteLanguage(Language, Site);
        Skip = Pos(Language, Settings.LocalLanguage) != 1;
      }
      if (!Skip && Settings.RegionSites) {
        std::string Location, Region;
        Catalogue.GetSiteLocation(Location, Site);
        Catalogue.GetRegionCodeForCountry(Region, Location);
        Skip = Pos(Region, Settings.LocalRegion) != 1;
      }
      if (!Skip)
        Skip = Site >= static_cast<int>(Settings.SiteEnabled.size()) || Settings.SiteEnabled[Site] != 1;
      if (!Skip && CategoryIndex != 0)
        Skip = !Catalogue.SiteHasCategory(Site, Category);
      if (Skip) {
        SetNextSite(NextSite + 1);
        continue;
      }
      TTambleSocket *S = nullptr;
      for (int I = 0; I < MaxSockets(); ++I)
        if (IsIdle(SitePool[I])) {
          S = SitePool[I];
          break;
        }
      if (!S)
        return;
      S->TermIndex = 0;
      const std::string Request = Statement(Site, SearchTerms.Get(0), "", "", PageState);
      if (Request.empty()) {
        // Nothing to fetch: the site is done before it holds a use.
        SetNextSite(NextSite + 1);
        if (FEvents.SiteCompleted)
          FEvents.SiteCompleted();
        continue;
      }
      TSlot &Sl = Slot(S);
      S->Cancelled = false;
      S->Request = Request;
      SetTarget(S, Site);
      S->StartTime = Now();
      S->DataReceived = false;
      S->SiteIndex = Site;
      S->PageState = PageState;
      S->Response.clear();
      Sl.CookiesRead = false;
      S->ProcessPageProc = Catalogue.GetProcessPageProc(Site);
      Sl.HoldsUse = true;
      Sl.Generation = FGeneration;
      S->Rate = GetSiteCurrencyRate(Site);
      SetNextSite(NextSite + 1);
      SetSearchStatus("Connecting to  " + SiteName(Site));
      try {
        S->SConnect();
      } catch (const EConvertError &) {
        // A proxy port that is no number: the site cannot be reached.
      }
      if (FEvents.SiteStarted)
        FEvents.SiteStarted();
      if (S->SocketHandle() != -1 && Sl.HoldsUse) {
        Sl.Counted = true;
        SetActiveSites(ActiveCount + 1);
        SetSearchStatus("Connected to  " + SiteName(Site));
      } else {
        // Request stays set: the socket sits out the rest of this search.
        GiveBackUse(S);
      }
      if (Closing() || Stopping)
        return;
    }
  } catch (const EListError &E) {
    MessageBox("ActivateSockets  " + std::string(E.what()), "", MB_OK);
  }
}

void TSearchEngine::SetActiveSites(int N) {
  try {
    const int Old = ActiveCount;
    ActiveCount = N;
    if (N < Old && !Stopping && !Closing()) {
      StartMoreRequests();
      ActivateSockets();
    }
    if (ActiveCount <= 0) {
      ActiveCount = 0;
      FinishSearch();
    }
  } catch (const EListError &E) {
    MessageBox("SetActiveSites  " + std::string(E.what()), "", MB_OK);
  }
}

double TSearchEngine::GetSiteCurrencyRate(int Site) {
  double Rate = 0;
  TStringList Currencies;
  Catalogue.LoadSiteCurrencies(&Currencies);
  std::string Currency;
  Catalogue.GetSiteCurrency(Currency, Site);
  for (int I = 0; I < Catalogue.NumberCurrencies(); ++I) {
    if (Copy(Currencies.Get(I), 1, 3) != Currency)
      continue;
    double R = 0;
    Rate = I < static_cast<int>(Settings.CurrencyRates.size()) && TryStrToFloat(Settings.CurrencyRates[I], R) ? R : 0;
  }
  return Rate;
}

void TSearchEngine::ClearResults() {
  ProcessMessages();
  if (!lstProducts)
    return;
  FreeItemStores();
  lstProducts->ClearItems();
}

void TSearchEngine::FreeItemStores() {
  if (!lstProducts)
    return;
  for (int I = 0; I < lstProducts->ItemCount(); ++I) {
    delete static_cast<TItemStore *>(lstProducts->ItemData(I));
    lstProducts->SetItemData(I, nullptr);
  }
}

void TSearchEngine::ResetSiteCounters() {
  SiteCounters.assign(static_cast<size_t>(std::max(0, Catalogue.GetNumberSites ? Catalogue.GetNumberSites() : 0)),
                      0);
}

bool TSearchEngine::MatchesPartNumber(const std::string &PartNumber, int TermIndex) const {
  const std::string Term = TermIndex >= 0 && TermIndex < SearchTerms.Count() ? SearchTerms.Get(TermIndex) : "";
  return PartNumberMatches(PartNumber, Term, Number(FEvents.SearchTypeIndex), Number(FEvents.FilterIndex));
}

bool TSearchEngine::NoMoreInfoForSite(int Site) const {
  for (const TMoreInfo &M : MoreQueue)
    if (M.SiteIndex == Site)
      return false;
  return true;
}

void TSearchEngine::GiveBackUse(TTambleSocket *S) {
  TSlot &Sl = Slot(S);
  if (!Sl.HoldsUse)
    return;
  Sl.HoldsUse = false;
  if (Catalogue.FinishedWithSite(S->SiteIndex) && NoMoreInfoForSite(S->SiteIndex) && FEvents.SiteCompleted)
    FEvents.SiteCompleted();
}

void TSearchEngine::Uncount(TTambleSocket *S) {
  TSlot &Sl = Slot(S);
  if (!Sl.Counted)
    return;
  Sl.Counted = false;
  SetActiveSites(ActiveCount - 1);
}

void TSearchEngine::EndSite(TTambleSocket *S) {
  GiveBackUse(S);
  S->Request.clear();
  S->Response.clear();
  S->StartTime = 0;
  const int Site = S->SiteIndex;
  Uncount(S);
  if (Settings.MessageDebugMode)
    SetSearchStatus((S->FollowUp ? "(more)Closed  " : "Closed  ") + SiteName(Site));
  if (!Stopping && !Closing()) {
    if (S->FollowUp)
      StartMoreRequests();
    else
      ActivateSockets();
  }
}

void TSearchEngine::ReadCookies(TTambleSocket *S) {
  TSlot &Sl = Slot(S);
  if (Sl.CookiesRead)
    return;
  size_t End = S->Response.find("\r\n\r\n");
  if (End == std::string::npos)
    End = S->Response.find("\n\n");
  if (End == std::string::npos)
    return;
  Sl.CookiesRead = true;
  const std::string Head = S->Response.substr(0, End + 2);
  if (Pos("SET-COOKIE", UpperCase(Head)) == 0)
    return;
  try {
    ParseSetCookies(Head, HostName(S->SiteIndex));
  } catch (const std::exception &) {
    // Cookies are a courtesy to the shop; a file that cannot be written
    // does not end the search.
  }
}

void TSearchEngine::SiteDataAvailable(TTambleSocket *S) {
  YieldProcessor();
  S->DataReceived = true;
  if (Stopping) {
    S->Cancel();
    return;
  }
  SetSearchStatus("Searching  " + SiteName(S->SiteIndex));
  const std::string Data = S->GetText();
  if (!S->Busy)
    return;  // a failed receive ended the site
  if (Settings.DebugMode && FEvents.DebugText)
    FEvents.DebugText(Data);
  S->Response += Data;
  ReadCookies(S);
}

void TSearchEngine::SiteSessionClosed(TTambleSocket *S) {
  if (Closing())
    return;
  if (Stopping || S->Cancelled || Slot(S).Generation != FGeneration) {
    EndSite(S);
    return;
  }
  const int Site = S->SiteIndex;
  S->Parsing = true;
  try {
    if (S->ProcessPageProc) {
      if (Settings.MessageDebugMode)
        SetSearchStatus("Parsing  " + SiteName(Site));
      // The page lives for the whole call: callbacks pump messages, and
      // Response may change under them.
      const std::string Page = S->Response;
      char Next[TWL_REQUEST_BUFFER_SIZE];
      std::memset(Next, 0, sizeof Next);
      const int R = static_cast<uint16_t>(
          S->ProcessPageProc(S->PageState, Page.c_str(), Next,
                             S->FollowUp ? &TSearchEngine::AddMoreProduct : &TSearchEngine::AddProduct,
                             &TSearchEngine::AddMoreInfo, S));
      const std::string NextText(Next, strnlen(Next, sizeof Next));
      if (Settings.MessageDebugMode)
        SetSearchStatus("Parsed  " + SiteName(Site));
      ShowCount();
      // A follow-up page has no further search terms.
      if (!(Stopping || S->Cancelled || Closing()) && ((R == 0 && !S->FollowUp) || R == 1 || R == 2)) {
        int PageState = 1;
        std::string Pending;
        if (R == 0) {
          ++S->TermIndex;
          if (S->TermIndex < SearchTerms.Count())
            Pending = Statement(Site, SearchTerms.Get(S->TermIndex), "", "", PageState);
        } else {
          PageState = S->PageState;
          const std::string Term = SearchTerms.Get(S->TermIndex);
          Pending = R == 1 ? Statement(Site, Term, "", NextText, PageState)
                           : Statement(Site, Term, NextText, "", PageState);
        }
        // An empty request is nothing to fetch: the site ends.
        if (!Pending.empty() && !(Stopping || S->Cancelled || Closing())) {
          S->PendingRequest = Pending;
          S->NextPageState = PageState;
          S->Parsing = false;
          ReconnectSite(S);
          return;
        }
      }
    }
  } catch (const std::exception &E) {
    if (Settings.DebugMode)
      MessageBox("Error with: " + SiteName(Site) + "\r\n" + E.what(), "", MB_OK);
  } catch (...) {
    if (Settings.DebugMode)
      MessageBox("Error with: " + SiteName(Site) + "\r\n", "", MB_OK);
  }
  S->Parsing = false;
  EndSite(S);
}

void TSearchEngine::ReconnectSite(TTambleSocket *S) {
  if (Stopping || S->Cancelled || Closing()) {
    EndSite(S);
    return;
  }
  S->Request = S->PendingRequest;
  S->PageState = S->NextPageState;
  S->Response.clear();
  Slot(S).CookiesRead = false;
  SetSearchStatus((Settings.MessageDebugMode ? "(next)Connecting to  " : "Connecting to  ") + SiteName(S->SiteIndex));
  try {
    S->SConnect();
  } catch (const EConvertError &) {
  }
  if (S->SocketHandle() == -1 && !S->Request.empty()) {
    S->Request.clear();
    S->Response.clear();
    S->StartTime = 0;
    GiveBackUse(S);
    Uncount(S);
  }
}

void TSearchEngine::SiteErrorOccurred(TTambleSocket *S, int Socket, int Error, const std::string &Msg) {
  (void)Socket;
  (void)Error;
  if (Settings.DebugMode)
    MessageBox(SiteName(S->SiteIndex) + "\r\n" + Msg, "", MB_OK | MB_ICONERROR);
  S->Cancelled = true;
  if (S->Busy) {
    S->Cancel();
  } else {
    // Not connected yet, or its page is being read: either way the
    // connection goes, and the site ends here once.
    try {
      S->Disconnect();
    } catch (const std::exception &) {
    }
    if (S->Parsing)
      return;
    GiveBackUse(S);
    S->StartTime = 0;
    Uncount(S);
  }
  if (!Closing() && !Stopping)
    S->FollowUp ? StartMoreRequests() : ActivateSockets();
}

void TSearchEngine::EndTimedOut(TTambleSocket *S) {
  S->Cancelled = true;
  if (S->Busy) {
    S->Cancel();
    return;
  }
  if (S->Parsing)
    return;
  try {
    S->Disconnect();
  } catch (const std::exception &) {
  }
  S->Request.clear();
  GiveBackUse(S);
  S->StartTime = 0;
  Uncount(S);
  if (!Closing() && !Stopping)
    S->FollowUp ? StartMoreRequests() : ActivateSockets();
}

void TSearchEngine::ShowCount() {
  SetSearchCount(ProductCountText(lstProducts ? lstProducts->ItemCount() : 0));
}

void *TSearchEngine::AddProduct(void *Context, const char *ProductText, const char *StockText,
                                const char *PriceText, const char *ProductURL, uint8_t *Stop) {
  TTambleSocket *S = nullptr;
  TSearchEngine *E = EngineOf(Context, S);
  if (!E) {
    if (Stop)
      *Stop = 1;
    return nullptr;
  }
  return E->AddRow(S, ProductText, StockText, PriceText, ProductURL, Stop);
}

void *TSearchEngine::AddRow(TTambleSocket *S, const char *ProductText, const char *StockText,
                            const char *PriceText, const char *ProductURL, uint8_t *Stop) {
  YieldProcessor();
  ProcessMessages();
  if (S->Cancelled || Stopping || Closing()) {
    if (Stop)
      *Stop = 1;
    return nullptr;
  }
  if (ActiveCount == 0 || !lstProducts)
    return nullptr;
  const int Site = S->SiteIndex;
  if (Settings.LimitResults) {
    if (Settings.ResultsPer == 1) {
      if (lstProducts->ItemCount() >= Settings.MaxResults) {
        SetSearchStatus("Max Products Reached, Closing");
        FinishSearch();
        Stopping = true;
        return nullptr;
      }
    } else if (Site >= 0 && Site < static_cast<int>(SiteCounters.size()) && SiteCounters[Site] >= Settings.MaxResults) {
      S->Cancelled = true;
      return nullptr;
    }
  }
  TOfferText Offer = ParseProductText(ProductText ? ProductText : "");
  const std::string Stock = ReadStock(StockText ? StockText : "", Offer.Quantity);
  if (Offer.PartNumber.empty())
    return nullptr;
  if (!MatchesPartNumber(Offer.PartNumber, S->TermIndex))
    return nullptr;
  if (Settings.InStockOnly && Stock != "Y")
    return nullptr;
  std::string Prices[4];
  ParsePrices(PriceText ? PriceText : "", Prices);

  auto *Store = new TItemStore;
  Store->ProductURL = Trim(ProductURL ? ProductURL : "");
  Store->Rate = S->Rate;
  if (Catalogue.GetSiteURL)
    Catalogue.GetSiteURL(Store->SiteURL, Site);
  Store->DatasheetURL = Offer.Datasheet;
  Store->RowId = FNextRowId++;
  TReportItem Item;
  Item.Caption = Offer.PartNumber;
  Item.SubItems = {Offer.Description, Offer.Manufacturer, Offer.Datasheet.empty() ? "" : DataSheetCell,
                   Prices[0],         Stock,              Offer.Quantity,
                   SiteName(Site)};
  Item.ImageIndex = Store->ProductURL.empty() ? 0 : 1;
  Item.SubItemImages.assign(Item.SubItems.size(), 8);
  Item.SubItemImages[4] = Stock == "Y" ? 3 : Stock == "Call" ? 4 : 5;
  Item.Data = Store;
  lstProducts->AddItem(std::move(Item));
  if (Site >= 0 && Site < static_cast<int>(SiteCounters.size()))
    ++SiteCounters[Site];
  return RowHandle(Store->RowId);
}

void TSearchEngine::AddMoreInfo(const char *URL, void *Row, int32_t PageState, void *Context) {
  TTambleSocket *S = nullptr;
  TSearchEngine *E = EngineOf(Context, S);
  // Nothing is queued for a search that is ending or for earlier work.
  if (!E || E->Stopping || E->Closing() || S->Cancelled || E->Slot(S).Generation != E->FGeneration)
    return;
  TMoreInfo M;
  M.Row = E->FindRow(Row) >= 0 ? reinterpret_cast<uintptr_t>(Row) : 0;
  M.URL = URL ? URL : "";
  M.PageState = PageState;
  M.SiteIndex = S->SiteIndex;
  M.TermIndex = S->TermIndex;
  M.Generation = E->FGeneration;
  E->MoreQueue.push_back(M);
  if (!E->Closing() && !E->Stopping)
    E->StartMoreRequests();
}

int TSearchEngine::FindRow(const void *Row) const {
  const auto Id = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(Row));
  if (!lstProducts || Id == 0)
    return -1;
  for (int I = 0; I < lstProducts->ItemCount(); ++I) {
    const auto *Store = static_cast<const TItemStore *>(lstProducts->ItemData(I));
    if (Store && Store->RowId == Id)
      return I;
  }
  return -1;
}

void TSearchEngine::CancelAllSockets() {
  Stopping = true;
  SetNextSite(Catalogue.GetNumberSites ? Catalogue.GetNumberSites() : 0);
  ClearMoreQueue();
  for (const auto *Pool : {&SitePool, &MorePool})
    for (TTambleSocket *S : *Pool) {
      S->Request.clear();
      S->Cancelled = true;
      if (S->Busy)
        S->Cancel();
    }
}

void TSearchEngine::FinishSearch() {
  // Cancelling ends sites, which finishes the search again from inside this
  // call; only the outer call forgets that the user pressed Stop.
  struct TDepth {
    int &D;
    explicit TDepth(int &Depth) : D(Depth) { ++D; }
    ~TDepth() { --D; }
  } Depth(FFinishDepth);
  SetStatus("Stopping all searches", false);
  kv::ShowHourglass();
  const bool WasStopping = Stopping;
  Stopping = true;
  ProcessMessages();
  if (FEvents.StopBanner)
    FEvents.StopBanner();
  SetStatus("Stopping all searches", false);
  if (hPrimary)
    Catalogue.SetSiteSearchStopped(1);
  CancelAllSockets();
  SetStatus("Stopping all searches", false);
  for (int I = 0; I < 1001; ++I)
    ProcessMessages();
  EnableButton(SearchButton::Stop, false);
  if (ActiveCount == 0) {
    try {
      kv::RestoreCursor();
      if (FEvents.Animate)
        FEvents.Animate(false);
    } catch (const std::exception &) {
    }
    try {
      SetStatus("Search Complete!", false);
      if (!Closing() && FEvents.Beep)
        FEvents.Beep();
      SetSearchStatus("Clicking on the Column Headings will sort your results!");
      if (FEvents.EndUsageRecord)
        FEvents.EndUsageRecord();
    } catch (const std::exception &) {
    }
    FSearching = false;
    ReleaseRows();
    if (FEvents.EnableTimeOut)
      FEvents.EnableTimeOut(false);
    const bool Rows = lstProducts && lstProducts->ItemCount() > 0;
    EnableButton(SearchButton::Find, true);
    EnableButton(SearchButton::Export, Rows);
    EnableButton(SearchButton::Import, true);
    EnableButton(SearchButton::Print, Rows);
    EnableButton(SearchButton::Shortages, true);
    if (FEvents.SearchControlsBack)
      FEvents.SearchControlsBack(Rows);
    if (FEvents.Statistics)
      FEvents.Statistics(false);
    if (ClearRequested) {
      ClearResults();
      if (FEvents.SearchCleared)
        FEvents.SearchCleared();
      ClearRequested = false;
    }
  }
  const bool Visible = lstProducts && !lstProducts->isHidden();
  if (lstProducts && lstProducts->ItemCount() == 0 && Visible && !WasStopping && !Closing() && !StoppedByUser)
    SetSearchCount("No Matches Found");
  if (FFinishDepth == 1)
    StoppedByUser = false;
  if (Settings.DebugMode && FEvents.SaveDebugText)
    FEvents.SaveDebugText();
}

void TSearchEngine::btnStopClick() {
  SetStatus("Stopping all searches", false);
  StoppedByUser = true;
  if (Settings.MessageDebugMode)
    SetSearchStatus("Stop Button Pressed");
  FinishSearch();
}

void TSearchEngine::btnNewSearchClick() {
  ClearRequested = true;
  try {
    FinishSearch();
  } catch (const std::exception &) {
  }
}

// One entry after another, as long as sockets and the width allow.
void TSearchEngine::StartMoreRequests() {
  while (StartOneMore()) {
  }
}

// Starts the queue's first entry; false when nothing more can start now.
bool TSearchEngine::StartOneMore() {
  YieldProcessor();
  if (Stopping || Closing() || ActiveCount >= MaxSockets() || MoreQueue.empty())
    return false;
  const int Sites = Catalogue.GetNumberSites ? Catalogue.GetNumberSites() : 0;
  const int Width = NextSite >= Sites ? PoolSize : MaxSockets() / 2;
  TTambleSocket *S = nullptr;
  for (int I = 0; I < Width && I < PoolSize; ++I)
    if (IsIdle(MorePool[I])) {
      S = MorePool[I];
      break;
    }
  if (!S)
    return false;
  const TMoreInfo M = MoreQueue.front();
  MoreQueue.erase(MoreQueue.begin());
  if (M.Generation != FGeneration || M.TermIndex < 0 || M.TermIndex >= SearchTerms.Count())
    return true;
  S->Cancelled = false;
  int PageState = M.PageState;
  const std::string Request = Statement(M.SiteIndex, SearchTerms.Get(M.TermIndex), "", M.URL, PageState);
  // Nothing to fetch: the follow-up ends before it holds a use or sends.
  if (Request.empty())
    return true;
  TSlot &Sl = Slot(S);
  S->Request = Request;
  S->PageState = PageState;
  S->Row = RowHandle(M.Row);
  S->FollowURL = M.URL;
  S->SiteIndex = M.SiteIndex;
  S->TermIndex = M.TermIndex;
  SetTarget(S, M.SiteIndex);
  S->ProcessPageProc = Catalogue.GetProcessPageProc(M.SiteIndex);
  Sl.HoldsUse = true;
  Sl.Generation = FGeneration;
  Sl.CookiesRead = false;
  S->Rate = GetSiteCurrencyRate(M.SiteIndex);
  SetSearchStatus((Settings.MessageDebugMode ? "(More)Connecting to  " : "Connecting to  ") + SiteName(M.SiteIndex));
  S->StartTime = Now();
  S->DataReceived = false;
  S->Response.clear();
  try {
    S->SConnect();
  } catch (const EConvertError &) {
  }
  if (S->SocketHandle() != -1 && Sl.HoldsUse) {
    Sl.Counted = true;
    SetActiveSites(ActiveCount + 1);
    SetSearchStatus((Settings.MessageDebugMode ? "(More)Connected to  " : "Connected to  ") + SiteName(M.SiteIndex));
  } else {
    // Request stays set: the socket sits out the rest of this search.
    GiveBackUse(S);
  }
  return !(Closing() || Stopping);
}

void *TSearchEngine::AddMoreProduct(void *Context, const char *ProductText, const char *StockText,
                                    const char *PriceText, const char *ProductURL, uint8_t *Stop) {
  TTambleSocket *S = nullptr;
  TSearchEngine *E = EngineOf(Context, S);
  if (!E) {
    if (Stop)
      *Stop = 1;
    return nullptr;
  }
  return E->AddMoreRow(S, ProductText, StockText, PriceText, ProductURL, Stop);
}

void *TSearchEngine::AddMoreRow(TTambleSocket *S, const char *ProductText, const char *StockText,
                                const char *PriceText, const char *ProductURL, uint8_t *Stop) {
  YieldProcessor();
  ProcessMessages();
  if (S->Cancelled || Stopping || Closing()) {
    if (Stop)
      *Stop = 1;
    return S->Row;
  }
  if (ActiveCount == 0 || !lstProducts)
    return S->Row;
  const int Site = S->SiteIndex;
  const int Index = FindRow(S->Row);
  // A row that is gone is no row to update.
  if (Index < 0) {
    void *Row = AddRow(S, ProductText, StockText, PriceText, ProductURL, Stop);
    const int Added = FindRow(Row);
    if (Added >= 0) {
      auto *Store = static_cast<TItemStore *>(lstProducts->ItemData(Added));
      if (Store->ProductURL.empty())
        Store->ProductURL = "http://" + HostName(Site) + S->FollowURL;
      Store->FollowUp = true;
      lstProducts->SetItemImage(Added, 1);
    }
    S->Row = Row;
    return Row;
  }
  auto *Store = static_cast<TItemStore *>(lstProducts->ItemData(Index));
  if (!Store->FollowUp) {
    UpdateRow(Index, S, ProductText, StockText, PriceText, ProductURL);
    Store->FollowUp = true;
    return S->Row;
  }
  if (Settings.LimitResults) {
    if (Settings.ResultsPer == 1) {
      if (lstProducts->ItemCount() >= Settings.MaxResults) {
        Stopping = true;
        return S->Row;
      }
    } else if (Site >= 0 && Site < static_cast<int>(SiteCounters.size()) && SiteCounters[Site] >= Settings.MaxResults) {
      S->Cancelled = true;
      return S->Row;
    }
  }
  // The row as it was goes on as a copy; the offer's values go into the row.
  TReportItem Copy = lstProducts->Item(Index);
  auto *CopyStore = new TItemStore;
  CopyStore->Rate = Store->Rate;
  CopyStore->ProductURL = Store->ProductURL;
  CopyStore->SiteURL = Store->SiteURL;
  CopyStore->DatasheetURL = Store->DatasheetURL;
  CopyStore->FollowUp = true;
  CopyStore->RowId = FNextRowId++;
  Copy.Data = CopyStore;
  lstProducts->AddItem(Copy);
  if (Site >= 0 && Site < static_cast<int>(SiteCounters.size()))
    ++SiteCounters[Site];
  UpdateRow(Index, S, ProductText, StockText, PriceText, ProductURL);
  return RowHandle(CopyStore->RowId);
}

void TSearchEngine::UpdateRow(int Index, TTambleSocket *S, const char *ProductText, const char *StockText,
                              const char *PriceText, const char *ProductURL) {
  TReportItem Item = lstProducts->Item(Index);
  auto *Store = static_cast<TItemStore *>(Item.Data);
  TOfferText Offer = ParseProductText(ProductText ? ProductText : "");
  // Not filtered: a part number of another term only annotates the description.
  if (!MatchesPartNumber(Offer.PartNumber, S->TermIndex) && !Offer.Description.empty()) {
    std::string Caption = Item.Caption;
    const size_t Open = Caption.rfind('[');
    if (Open != std::string::npos)
      Caption.erase(0, Open + 1);
    const size_t Close = Caption.find(']');
    if (Close != std::string::npos)
      Caption.erase(Close);
    Offer.Description += " [" + Caption + "]";
  }
  std::string Stock, Quantity = Offer.Quantity;
  if (!Trim(StockText ? StockText : "").empty()) {
    std::string Ignored = Offer.Quantity;
    Stock = ReadStock(StockText, Ignored);
    if (Stock == "N")
      Quantity = "0";
  }
  std::string Prices[4];
  ParsePrices(PriceText ? PriceText : "", Prices);
  Item.SubItems.resize(7);
  Item.SubItemImages.resize(7, 8);
  auto Put = [](std::string &Cell, const std::string &Value) {
    if (!Value.empty())
      Cell = Value;
  };
  Put(Item.Caption, Offer.PartNumber);
  Put(Item.SubItems[0], Offer.Description);
  Put(Item.SubItems[1], Offer.Manufacturer);
  Put(Item.SubItems[3], Prices[0]);
  Put(Item.SubItems[4], Stock);
  Put(Item.SubItems[5], Quantity);
  if (!Offer.Datasheet.empty()) {
    Item.SubItems[2] = DataSheetCell;
    Store->DatasheetURL = Offer.Datasheet;
  }
  const std::string URL = Trim(ProductURL ? ProductURL : "");
  if (!URL.empty())
    Store->ProductURL = URL;
  if (!Store->ProductURL.empty())
    Item.ImageIndex = 1;
  if (!Stock.empty())
    Item.SubItemImages[4] = Stock == "Y" ? 3 : Stock == "Call" ? 4 : 5;
  lstProducts->SetItem(Index, Item);
}
