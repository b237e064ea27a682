#include "client/search/uSearch.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "client/uCatalogue.h"
#include "client/search/uOffers.h"
#include "client/uTextUtils.h"
#include "components/replistv.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"
#include "platform/gui/Cursor.h"
#include "platform/qt/Messages.h"

#include <QThread>

using namespace kv;

namespace {

// Engines alive, so a callback can tell a context it was handed from a stale one.
std::vector<TSearchEngine *> &Engines() {
  static std::vector<TSearchEngine *> E;
  return E;
}

// Just past the blank line that ends the header block ("\n\n" or
// "\n\r\n"), looking from From on; npos while it has not arrived.
size_t HeaderBlockEnd(const std::string &Reply, size_t From) {
  for (size_t P = Reply.find('\n', From); P != std::string::npos; P = Reply.find('\n', P + 1)) {
    size_t Q = P + 1;
    if (Q < Reply.size() && Reply[Q] == '\r')
      ++Q;
    if (Q < Reply.size() && Reply[Q] == '\n')
      return Q + 1;
  }
  return std::string::npos;
}

const TSystemClock SystemClock;

}  // namespace

TSearchEngine *TSearchEngine::EngineOf(void *Context, TTambleSocket *&Socket) {
  for (TSearchEngine *E : Engines())
    for (const auto *Pool : {&E->SitePool, &E->MorePool})
      for (TTambleSocket *S : *Pool)
        if (S == Context) {
          Socket = S;
          return E;
        }
  return nullptr;
}

TSearchEngine::TSearchEngine(TWorkingSettings &S, TReportListView *List, TSearchEvents Events, QObject *Owner)
    : QObject(Owner), Settings(S), lstProducts(List), FEvents(std::move(Events)), FClock(&SystemClock) {
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
  connect(&FReadWaiting, &QTimer::timeout, this, [this] { ReadWaitingPages(); });
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

TSearchEngine::TSlot &TSearchEngine::Slot(const TTambleSocket *S) const {
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

bool TSearchEngine::SocketsOpen() const {
  for (const auto *Pool : {&SitePool, &MorePool})
    for (const TTambleSocket *S : *Pool)
      if (S->SocketHandle() != -1)
        return true;
  return false;
}

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
    // A Stop or Clear of an earlier search whose finish this start interrupted.
    StoppedByUser = false;
    ClearRequested = false;
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
    // Both entries are optional in a catalogue: called only when bound.
    if (hPrimary && Catalogue.SetSiteSearchStopped)
      Catalogue.SetSiteSearchStopped(0);
    if (hPrimary && Catalogue.SetCustomerDetails)
      Catalogue.SetCustomerDetails(FEvents.CustomerDetails ? FEvents.CustomerDetails() : std::string());
  } catch (...) {
    ReleaseRows();
    kv::RestoreCursor();
    throw;
  }
  kv::RestoreCursor();
  const uint64_t Generation = FGeneration;
  ActivateSockets();
  if (FEvents.SitesStarted)
    FEvents.SitesStarted();
  if (FGeneration == Generation && FSearching && ActiveCount() == 0 && NothingLeftToStart())
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
      if (!FSearching || Stopping || Closing() || ActiveCount() >= MaxSockets())
        return;
      int PageState = 1;
      if (NextSite >= Catalogue.GetNumberSites())
        return;
      const int Site = NextSite;
      if (!SiteEligible(Site)) {
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
      S->Cancelled = false;
      S->Request = Request;
      SetTarget(S, Site);
      S->StartTime = FClock->Now();
      S->DataReceived = false;
      S->SiteIndex = Site;
      S->PageState = PageState;
      S->Response.clear();
      S->ProcessPageProc = Catalogue.GetProcessPageProc(Site);
      const uint64_t Start = Take(S);
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
      // A report of the connect itself may have ended the site already.
      if (Slot(S).Start == Start && Holds(S)) {
        if (S->SocketHandle() != -1) {
          SetSearchStatus("Connected to  " + SiteName(Site));
        } else {
          // Refused before it began (no address, say): the socket is free for
          // the next site at once.
          Release(S);
        }
      }
      if (Closing() || Stopping)
        return;
    }
  } catch (const EListError &E) {
    MessageBox("ActivateSockets  " + std::string(E.what()), "", MB_OK);
  }
}

bool TSearchEngine::SiteEligible(int Site) const {
  if (Settings.FindLocalSites) {
    std::string Location;
    Catalogue.GetSiteLocation(Location, Site);
    if (Location != Settings.LocalCountryCode)
      return false;
  }
  if (Settings.LanguageSites) {
    std::string Language;
    Catalogue.GetSiteLanguage(Language, Site);
    if (Pos(Language, Settings.LocalLanguage) != 1)
      return false;
  }
  if (Settings.RegionSites) {
    std::string Location, Region;
    Catalogue.GetSiteLocation(Location, Site);
    Catalogue.GetRegionCodeForCountry(Region, Location);
    if (Pos(Region, Settings.LocalRegion) != 1)
      return false;
  }
  if (Site < 0 || Site >= static_cast<int>(Settings.SiteEnabled.size()) || Settings.SiteEnabled[Site] != 1)
    return false;
  if (Number(FEvents.CategoryIndex) != 0)
    return Catalogue.SiteHasCategory(Site, FEvents.CategoryText ? FEvents.CategoryText() : std::string());
  return true;
}

int TSearchEngine::ActiveCount() const {
  int N = 0;
  for (const auto *Pool : {&SitePool, &MorePool})
    for (const TTambleSocket *S : *Pool)
      N += Holds(S) ? 1 : 0;
  return N;
}

bool TSearchEngine::NothingLeftToStart() const {
  const int Sites = Catalogue.GetNumberSites ? Catalogue.GetNumberSites() : 0;
  return Stopping || Closing() || !hPrimary || MaxSockets() <= 0 || (NextSite >= Sites && MoreQueue.empty());
}

void TSearchEngine::GoOn() {
  if (!FSearching)
    return;
  const uint64_t Generation = FGeneration;
  const auto Current = [this, Generation] { return FSearching && FGeneration == Generation; };
  try {
    if (!Stopping && !Closing()) {
      StartMoreRequests();
      if (Current())
        ActivateSockets();
      // The sites left may all have been skipped after the follow-ups had
      // their turn: with nothing active no site waits for a socket, so the
      // queue may use the whole pool before the search ends.
      if (Current() && ActiveCount() == 0 && !MoreQueue.empty() && !Stopping && !Closing())
        StartMoreRequests(true);
    }
  } catch (const EListError &E) {
    MessageBox("SetActiveSites  " + std::string(E.what()), "", MB_OK);
  }
  // A finish of this search under way completes it once its own pump is over.
  const bool Finishing = FFinishDepth > 0 && FFinishGeneration == FGeneration;
  if (Current() && !Finishing && ActiveCount() == 0 && NothingLeftToStart())
    FinishSearch();
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
  ClearRows();
}

void TSearchEngine::ClearRows() {
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

void TSearchEngine::GiveBackUse(TTambleSocket *S) {
  TSlot &Sl = Slot(S);
  if (!Sl.HoldsUse)
    return;
  Sl.HoldsUse = false;
  const bool Freed = Catalogue.FinishedWithSite(S->SiteIndex);
  // Told that searching stopped, then freed: told again once the search ends.
  FFreedSinceStopped = FFreedSinceStopped || (Freed && Stopping);
  if (Freed && NoMoreInfoForSite(S->SiteIndex) && FEvents.SiteCompleted)
    FEvents.SiteCompleted();
}

bool TSearchEngine::Holds(const TTambleSocket *S) const {
  const TSlot &Sl = Slot(S);
  return Sl.Active && Sl.Generation == FGeneration;
}

uint64_t TSearchEngine::Take(TTambleSocket *S) {
  TSlot &Sl = Slot(S);
  Sl.HoldsUse = true;
  Sl.Active = true;
  Sl.CookiesRead = false;
  Sl.Generation = FGeneration;
  Sl.Start = ++FStarts;
  return Sl.Start;
}

void TSearchEngine::Release(TTambleSocket *S) {
  GiveBackUse(S);
  S->Request.clear();
  S->Response.clear();
  S->StartTime = 0;
  Slot(S).Active = false;
}

void TSearchEngine::EndSite(TTambleSocket *S) {
  const int Site = S->SiteIndex;
  Release(S);
  if (Settings.MessageDebugMode)
    SetSearchStatus((S->FollowUp ? "(more)Closed  " : "Closed  ") + SiteName(Site));
  // Also for a socket of an earlier search: the current one may wait for it.
  GoOn();
}

void TSearchEngine::EndUnconnected(TTambleSocket *S) {
  try {
    S->Disconnect();
  } catch (const std::exception &) {
  }
  if (!S->Parsing)
    EndSite(S);
}

void TSearchEngine::ReadCookies(TTambleSocket *S, size_t From) {
  TSlot &Sl = Slot(S);
  if (Sl.CookiesRead)
    return;
  // Each piece is looked at once; the blank line may have begun in the
  // piece before.
  const size_t End = HeaderBlockEnd(S->Response, From > 2 ? From - 2 : 0);
  if (End == std::string::npos)
    return;
  Sl.CookiesRead = true;
  try {
    ParseSetCookies(S->Response.substr(0, End), HostName(S->SiteIndex));
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
  const size_t Kept = S->Response.size();
  const size_t Cap = S->FollowUp ? MaxFollowUpReply : MaxPageReply;
  if (Data.size() > Cap - std::min(Cap, Kept)) {
    // Nothing of the page is read: the site ends as a page that fails does,
    // and only then its message shows, whose box's loop would read on.
    const int Site = S->SiteIndex;
    const char *What = S->FollowUp ? kv::limits::FollowUp.Name : kv::limits::ShopPage.Name;
    S->Cancelled = true;
    S->Cancel();
    ShowPageError(Site, "The " + std::string(What) + " is larger than " + std::to_string(Cap) + " bytes");
    return;
  }
  if (Settings.DebugMode && FEvents.DebugText)
    FEvents.DebugText(Data);
  S->Response += Data;
  ReadCookies(S, Kept);
}

void TSearchEngine::ShowPageError(int Site, const std::string &What) const {
  if (Settings.DebugMode)
    MessageBox("Error with: " + SiteName(Site) + "\r\n" + What, "", MB_OK);
}

void TSearchEngine::SiteSessionClosed(TTambleSocket *S) {
  if (Closing())
    return;
  if (Stopping || S->Cancelled || Slot(S).Generation != FGeneration) {
    EndSite(S);
    return;
  }
  if (ReadingInThisLoop()) {
    WaitToRead(S);
    return;
  }
  const int Site = S->SiteIndex;
  S->Parsing = true;
  try {
    if (S->ProcessPageProc) {
      if (Settings.MessageDebugMode)
        SetSearchStatus("Parsing  " + SiteName(Site));
      // The page lives for the whole call: callbacks pump messages, and
      // Response may change under them. It is taken, not copied.
      const std::string Page = std::move(S->Response);
      S->Response.clear();
      char Next[TWL_REQUEST_BUFFER_SIZE];
      std::memset(Next, 0, sizeof Next);
      Slot(S).Failure = nullptr;
      FReadingLevels.push_back(QThread::currentThread()->loopLevel());
      // Pages that waited for this one are read next, from the loop.
      struct TRead {
        TSearchEngine &E;
        ~TRead() {
          E.FReadingLevels.pop_back();
          if (!E.FWaitingPages.empty())
            E.FReadWaiting.start(0);
        }
      } Reading{*this};
      const int R = static_cast<uint16_t>(
          S->ProcessPageProc(S->PageState, Page.c_str(), Next,
                             S->FollowUp ? &TSearchEngine::AddMoreProduct : &TSearchEngine::AddProduct,
                             &TSearchEngine::AddMoreInfo, S));
      if (std::exception_ptr Failure = std::exchange(Slot(S).Failure, nullptr))
        std::rethrow_exception(Failure);
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
    // The page was whole and its connection is closed: nothing of it is read
    // under the box, and while it counts as being read neither the time
    // limits nor a stop end the site there.
    ShowPageError(Site, E.what());
  } catch (...) {
    ShowPageError(Site, "");
  }
  S->Parsing = false;
  EndSite(S);
}

bool TSearchEngine::ReadingInThisLoop() const {
  return !FReadingLevels.empty() && FReadingLevels.back() >= QThread::currentThread()->loopLevel();
}

// The page is whole and its connection closed; it counts as being read, so
// neither the time limits nor a stop end it while it waits.
void TSearchEngine::WaitToRead(TTambleSocket *S) {
  S->Parsing = true;
  FWaitingPages.push_back(S);
  FReadWaiting.start();
}

void TSearchEngine::ReadWaitingPages() {
  while (!FWaitingPages.empty() && (Closing() || !ReadingInThisLoop())) {
    TTambleSocket *S = FWaitingPages.front();
    FWaitingPages.erase(FWaitingPages.begin());
    S->Parsing = false;
    SiteSessionClosed(S);
  }
  if (FWaitingPages.empty())
    FReadWaiting.stop();
  else
    FReadWaiting.start(10);
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
  if (S->SocketHandle() == -1 && !S->Request.empty() && !S->Busy)
    EndSite(S);
}

void TSearchEngine::SiteErrorOccurred(TTambleSocket *S, int Socket, int Error, const std::string &Msg) {
  (void)Socket;
  (void)Error;
  const int Site = S->SiteIndex;
  S->Cancelled = true;
  // A busy socket's done event ends its site.
  if (S->Busy)
    S->Cancel();
  else
    EndUnconnected(S);
  // Only once the site has ended: the box's loop runs the time limits and
  // starts the next sites, and would find this one still to end, perhaps on
  // a socket that holds the next site by then.
  if (Settings.DebugMode)
    MessageBox(SiteName(Site) + "\r\n" + Msg, "", MB_OK | MB_ICONERROR);
}

void TSearchEngine::EndTimedOut(TTambleSocket *S) {
  S->Cancelled = true;
  if (S->Busy)
    S->Cancel();
  else
    EndUnconnected(S);
}

// A callback failed: the site's work is given up (the library is told to
// stop) and the failure is raised once the page procedure has returned.
void TSearchEngine::CallbackFailed(TTambleSocket *S, uint8_t *Stop) noexcept {
  S->Cancelled = true;
  if (Stop)
    *Stop = 1;
  std::exception_ptr &Failure = Slot(S).Failure;
  if (!Failure)
    Failure = std::current_exception();
}

void TSearchEngine::ShowCount() {
  SetSearchCount(ProductCountText(lstProducts ? lstProducts->ItemCount() : 0));
}

void *TSearchEngine::AddProduct(void *Context, const char *ProductText, const char *StockText,
                                const char *PriceText, const char *ProductURL, uint8_t *Stop) {
  return OfferCallback(&TSearchEngine::AddRow, Context, ProductText, StockText, PriceText, ProductURL, Stop);
}

void *TSearchEngine::OfferCallback(TOfferRow Row, void *Context, const char *ProductText, const char *StockText,
                                   const char *PriceText, const char *ProductURL, uint8_t *Stop) {
  TTambleSocket *S = nullptr;
  TSearchEngine *E = EngineOf(Context, S);
  if (!E) {
    if (Stop)
      *Stop = 1;
    return nullptr;
  }
  try {
    return (E->*Row)(S, ProductText, StockText, PriceText, ProductURL, Stop);
  } catch (...) {
    E->CallbackFailed(S, Stop);
    return nullptr;
  }
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
  // A page of an earlier search read on while this one started.
  if (!Holds(S) || !lstProducts) {
    if (Stop)
      *Stop = 1;
    return nullptr;
  }
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
      S->Cancelled = true;
      if (S->Busy) {
        S->Cancel();
      } else if (!S->Parsing && (Slot(S).Active || Slot(S).HoldsUse || S->SocketHandle() != -1)) {
        // Still connecting: it ends now, not at an event that may come
        // during the next search.
        EndUnconnected(S);
      }
      if (!S->Parsing)
        S->Request.clear();
    }
}

void TSearchEngine::FinishSearch() {
  // Cancelling ends sites, which finishes the search again from inside this
  // call; only the outer call of a search forgets that the user pressed Stop.
  const uint64_t Generation = FGeneration;
  if (FFinishGeneration != Generation) {
    FFinishGeneration = Generation;
    FFinishDepth = 0;
  }
  struct TDepth {
    int &D;
    const uint64_t &Current;
    const uint64_t Mine;
    TDepth(int &Depth, const uint64_t &Gen) : D(Depth), Current(Gen), Mine(Gen) { ++D; }
    ~TDepth() {
      if (Current == Mine)
        --D;
    }
  } Depth(FFinishDepth, FFinishGeneration);
  // The inner call gives the Find button back while this one still pumps:
  // a search started there is a newer one, and nothing here is for it.
  const auto Superseded = [this, Generation] { return FGeneration != Generation; };
  // A search completes once; Stop or Clear with no search running completes
  // at once.
  const bool WasSearching = FSearching;
  SetStatus("Stopping all searches", false);
  kv::ShowHourglass();
  const bool WasStopping = Stopping;
  Stopping = true;
  ProcessMessages();
  if (Superseded())
    return;
  if (FEvents.StopBanner)
    FEvents.StopBanner();
  SetStatus("Stopping all searches", false);
  if (hPrimary && Catalogue.SetSiteSearchStopped)
    Catalogue.SetSiteSearchStopped(1);
  FFreedSinceStopped = false;
  CancelAllSockets();
  SetStatus("Stopping all searches", false);
  for (int I = 0; I < 1001 && !Superseded(); ++I)
    ProcessMessages();
  if (Superseded())
    return;
  EnableButton(SearchButton::Stop, false);
  if (ActiveCount() == 0 && (FSearching || !WasSearching)) {
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
    // The animation and the status may pump messages: a search started
    // there is a newer one.
    if (Superseded())
      return;
    FSearching = false;
    if (std::exchange(FFreedSinceStopped, false) && hPrimary && Catalogue.SetSiteSearchStopped)
      Catalogue.SetSiteSearchStopped(1);
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
      // ClearResults, with a look after its pump: a newer search keeps its rows.
      ProcessMessages();
      if (Superseded())
        return;
      ClearRows();
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
