#pragma once
// The search engine: turns the search text into terms, starts up to
// MaxSockets enabled sites on the site pool with the requests the catalogue
// builds, hands every reply to its site library's page procedure, turns the
// offers it reports into rows of the result list, and ends the search by
// itself or by Stop. It talks to the main window through TSearchEvents and to
// the catalogue through the bound entry points (Catalogue).
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/search/uFollowUps.h"
#include "client/search/uItemStore.h"
#include "client/settings/uSettings.h"
#include "client/uTimeLimits.h"
#include "components/replistv.h"
#include "net/cTambSoc.h"
#include "platform/Limits.h"
#include "platform/StringList.h"

// Toolbar buttons by index, as the main window numbers them.
namespace SearchButton {
inline constexpr int Import = 0, Export = 1, Print = 2, Find = 3, Stop = 4, Clear = 5, Shortages = 6;
}

// What the engine needs of the main window. Unset members do nothing (and
// answer false, 0 or empty).
struct TSearchEvents {
  std::function<bool()> Closing;
  std::function<void(const std::string &Text, bool Flash)> SetStatus;
  std::function<void(const std::string &Text)> SetSearchStatus;
  std::function<void(const std::string &Text)> SetSearchCount;
  std::function<void(int Index, bool Enabled)> EnableButton;
  // The boxes of the search bar: category (index 0 is "(All Categories)"),
  // search type (0 part number) and match (a TFilterType).
  std::function<int()> CategoryIndex;
  std::function<std::string()> CategoryText;
  std::function<int()> SearchTypeIndex;
  std::function<int()> FilterIndex;
  std::function<bool()> SettingsChanged;
  std::function<void()> LoadSettings;
  // "<CUSTOMER_ID>..</CUSTOMER_ID><CUSTOMER_PW>..</CUSTOMER_PW>"
  std::function<std::string()> CustomerDetails;
  // Shows the result list when hidden (and lays the window out again).
  std::function<void()> ShowResults;
  // The controls of a running search: menus, the search bar, the hint
  // window, the search history (with the search text), the debug memo.
  std::function<void(const std::string &SearchText, const std::string &FirstTerm)> SearchStarting;
  // The controls of an idle search again; HasRows: the list holds rows.
  std::function<void(bool HasRows)> SearchControlsBack;
  // After "Clear": the search box emptied, "&Find..." off, the memo hidden.
  std::function<void()> SearchCleared;
  std::function<void(bool On)> Animate;
  std::function<void(bool On)> EnableTimeOut;
  std::function<void()> StopBanner;
  // The usage record of this search: the terms and the enabled sites' names.
  std::function<void(const kv::TStrings &SearchTerms, const kv::TStrings &SiteNames)> SendUsageRecord;
  std::function<void()> EndUsageRecord;
  // The advert list of this search and the update check, once sites started.
  std::function<void()> SitesStarted;
  // The system's information beep.
  std::function<void()> Beep;
  // Statistics: counting on/off, one site started, one site completed.
  std::function<void(bool On)> Statistics;
  std::function<void()> SiteStarted;
  std::function<void()> SiteCompleted;
  // Debug mode: received data for the memo, and its saving at the end.
  std::function<void(const std::string &Text)> DebugText;
  std::function<void()> SaveDebugText;
};

class TSearchEngine : public QObject {
public:
  // Settings are the main window's working settings; List the result list,
  // whose rows the engine adds and clears.
  TSearchEngine(TWorkingSettings &Settings, kv::TReportListView *List, TSearchEvents Events,
                QObject *Owner = nullptr);
  ~TSearchEngine() override;
  TSearchEngine(const TSearchEngine &) = delete;
  TSearchEngine &operator=(const TSearchEngine &) = delete;

  // The Find button: a search for SearchText (the search box's text).
  void StartSearch(const std::string &SearchText);
  void btnFindNowClick(const std::string &SearchText) { StartSearch(SearchText); }
  void btnStopClick();
  void btnNewSearchClick();
  void FinishSearch();
  void CancelAllSockets();

  void ParseSearchTerms(const std::string &SearchText);
  void ActivateSockets();
  // Whether a search with the current filters, enabled sites and category
  // uses the site.
  bool SiteEligible(int Site) const;
  void SetNextSite(int Site) { NextSite = Site; }
  // The sockets of either pool that hold a site or follow-up of the current
  // search: the search finishes when none does and nothing is left to start.
  int ActiveCount() const;
  double GetSiteCurrencyRate(int Site);
  void ClearResults();
  void FreeItemStores();
  void ResetSiteCounters();
  bool MatchesPartNumber(const std::string &PartNumber, int TermIndex) const;

  // Follow-up requests (uFollowUps.cpp): the queue and its start on the
  // follow-up pool.
  bool NoMoreInfoForSite(int Site) const;
  void ClearMoreQueue() { MoreQueue.clear(); }
  // WholePool: every follow-up socket may be used, as once every site started.
  void StartMoreRequests(bool WholePool = false);

  void SiteDataAvailable(kv::TTambleSocket *S);
  void SiteSessionClosed(kv::TTambleSocket *S);
  void SiteErrorOccurred(kv::TTambleSocket *S, int Socket, int Error, const std::string &Msg);
  void ReconnectSite(kv::TTambleSocket *S);

  // The callbacks handed to page procedures; AddMoreProduct and AddMoreInfo
  // are the follow-ups' (uFollowUps.cpp).
  static void *AddProduct(void *Context, const char *ProductText, const char *StockText, const char *PriceText,
                          const char *ProductURL, uint8_t *Stop);
  static void *AddMoreProduct(void *Context, const char *ProductText, const char *StockText,
                              const char *PriceText, const char *ProductURL, uint8_t *Stop);
  static void AddMoreInfo(const char *URL, void *Row, int32_t PageState, void *Context);

  // The row a library holds by its identifier; -1 when the row is gone.
  int FindRow(const void *Row) const;
  static void *RowHandle(uint64_t RowId) { return reinterpret_cast<void *>(static_cast<uintptr_t>(RowId)); }
  // MaxSockets of the settings, at most the pool's size.
  int MaxSockets() const;
  bool Searching() const { return FSearching; }
  // Whether any socket of either pool has a connection.
  bool SocketsOpen() const;
  // Counts the searches started, so work of an earlier search can be told apart.
  uint64_t Generation() const { return FGeneration; }
  // Ends a socket that ran past its time limit: a busy one is cancelled, one
  // still connecting is closed and ended as a connection error would end it.
  void EndTimedOut(kv::TTambleSocket *S);
  std::string SiteName(int Site) const;
  // The clock a socket's start time is read from, the one the time-out tick
  // judges by; the system's unless set.
  void SetClock(const TClock &Clock) { FClock = &Clock; }

  TWorkingSettings &Settings;
  // Guarded: the window may destroy its list before its engine.
  QPointer<kv::TReportListView> lstProducts;
  int NextSite = 0;
  bool Stopping = false;
  bool StoppedByUser = false;
  bool ClearRequested = false;
  kv::TStringList SearchTerms;
  std::vector<kv::TTambleSocket *> SitePool;
  std::vector<kv::TTambleSocket *> MorePool;  // follow-up requests
  std::deque<TMoreInfo> MoreQueue;  // taken from the front: no shifting per entry
  std::vector<int> SiteCounters;
  static constexpr int PoolSize = 32;
  // The largest reply a shop page and a follow-up page may bring; a page
  // over it fails. From the limits table (tests lower them).
  std::size_t MaxPageReply = kv::limits::ShopPage.MaxReply;
  std::size_t MaxFollowUpReply = kv::limits::FollowUp.MaxReply;

private:
  // What the engine knows of each pool socket beyond its own fields: whether it
  // holds a use of its site library and whether it holds a site at all, so
  // each is given back exactly once however the site ends.
  struct TSlot {
    bool HoldsUse = false;
    bool Active = false;
    bool CookiesRead = false;
    uint64_t Generation = 0;  // the search the socket was started for
    uint64_t Start = 0;       // which start of the socket this is
    // What a callback of the page being read raised; nothing may cross into
    // the library, so it waits here and is raised after the library returns.
    std::exception_ptr Failure;
  };
  // The engine whose pool holds Context, and the socket; nullptr for none.
  static TSearchEngine *EngineOf(void *Context, kv::TTambleSocket *&Socket);
  static constexpr const char *DataSheetCell = "http://Datasheet";
  TSlot &Slot(const kv::TTambleSocket *S) const;
  bool IsIdle(const kv::TTambleSocket *S) const;
  bool Closing() const;
  std::string HostName(int Site) const;
  std::string Statement(int Site, const std::string &Term, const std::string &PostData, const std::string &NextURL,
                        int &PageState) const;
  void SetTarget(kv::TTambleSocket *S, int Site) const;
  void GiveBackUse(kv::TTambleSocket *S);
  // Whether the socket holds a site of the current search.
  bool Holds(const kv::TTambleSocket *S) const;
  // Takes the socket for a site of the current search; the returned number
  // tells, after a call that pumps messages, whether it is still this start.
  uint64_t Take(kv::TTambleSocket *S);
  // The socket idle again, its use given back; nothing else moves.
  void Release(kv::TTambleSocket *S);
  void EndSite(kv::TTambleSocket *S);
  // Stores the reply's cookies once its header block has arrived; From is
  // where the data not yet looked at starts.
  void ReadCookies(kv::TTambleSocket *S, std::size_t From);
  // A page that cannot be read: its site's message in debug mode. A box runs
  // its own loop: a page still arriving, or a site still connected, must end
  // first, or the loop would read on in the page or end the site twice.
  void ShowPageError(int Site, const std::string &What) const;
  // Connection gone or never made: the site ends, unless its page is being
  // read, whose handler ends it once the page procedure returns.
  void EndUnconnected(kv::TTambleSocket *S);
  // After a site ended: the freed socket goes to the follow-ups and the next
  // sites, and the search finishes once nothing holds a socket or waits.
  void GoOn();
  bool NothingLeftToStart() const;
  // Whether a page procedure runs in the event loop now running: a page
  // completed meanwhile came through that procedure's own pumping.
  bool ReadingInThisLoop() const;
  void WaitToRead(kv::TTambleSocket *S);
  void ReadWaitingPages();
  void *AddRow(kv::TTambleSocket *S, const char *ProductText, const char *StockText, const char *PriceText,
               const char *ProductURL, uint8_t *Stop);
  void CallbackFailed(kv::TTambleSocket *S, uint8_t *Stop) noexcept;
  using TOfferRow = void *(TSearchEngine::*)(kv::TTambleSocket *S, const char *ProductText, const char *StockText,
                                             const char *PriceText, const char *ProductURL, uint8_t *Stop);
  // An offer callback's way into the engine: a context that names no socket
  // stops the library, and nothing the engine raises reaches it.
  static void *OfferCallback(TOfferRow Row, void *Context, const char *ProductText, const char *StockText,
                             const char *PriceText, const char *ProductURL, uint8_t *Stop);
  // Follow-ups (uFollowUps.cpp).
  void *AddMoreRow(kv::TTambleSocket *S, const char *ProductText, const char *StockText, const char *PriceText,
                   const char *ProductURL, uint8_t *Stop);
  void UpdateRow(int Index, kv::TTambleSocket *S, const char *ProductText, const char *StockText,
                 const char *PriceText, const char *ProductURL);
  bool StartOneMore(bool WholePool);
  void QueueMoreInfo(kv::TTambleSocket *S, const char *URL, void *Row, int32_t PageState);
  void ClearRows();
  void HoldRows();
  void ReleaseRows();
  void ShowCount();
  void SetStatus(const std::string &Text, bool Flash) const;
  void SetSearchStatus(const std::string &Text) const;
  void SetSearchCount(const std::string &Text) const;
  void EnableButton(int Index, bool Enabled) const;
  int Number(const std::function<int()> &F) const { return F ? F() : 0; }

  TSearchEvents FEvents;
  std::vector<std::unique_ptr<TSlot>> FSlots, FMoreSlots;
  uint64_t FNextRowId = 1;
  bool FSearching = false;
  uint64_t FGeneration = 0;
  uint64_t FStarts = 0;
  bool FFreedSinceStopped = false;
  const TClock *FClock;
  // Nesting of FinishSearch calls for the search of FFinishGeneration.
  int FFinishDepth = 0;
  uint64_t FFinishGeneration = 0;
  // While a search runs, the list learns of new rows a few times a second:
  // offers pump messages one by one, and a shown list would lay itself out
  // and repaint for every row, stalling every connection with it.
  static constexpr int PublishInterval = 250;
  QTimer FPublish;
  bool FHoldingRows = false;
  // Page procedures never nest inside one another in one event loop: the
  // offers of a page pump messages, and a dialog opened there would hold
  // every page nested below it. A page completed while another is read
  // waits for it; a dialog's own loop reads the waiting pages.
  std::vector<int> FReadingLevels;  // the loop level of each page procedure running
  std::vector<kv::TTambleSocket *> FWaitingPages;
  QTimer FReadWaiting;
};
