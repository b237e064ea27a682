#include "client/search/uFollowUps.h"

#include "client/uCatalogue.h"
#include "client/search/uOffers.h"
#include "client/search/uSearch.h"
#include "components/replistv.h"
#include "platform/DateTime.h"
#include "platform/SysUtils.h"
#include "platform/qt/Messages.h"

using namespace kv;

bool TSearchEngine::NoMoreInfoForSite(int Site) const {
  for (const TMoreInfo &M : MoreQueue)
    if (M.SiteIndex == Site)
      return false;
  return true;
}

void TSearchEngine::AddMoreInfo(const char *URL, void *Row, int32_t PageState, void *Context) {
  TTambleSocket *S = nullptr;
  TSearchEngine *E = EngineOf(Context, S);
  if (!E)
    return;
  try {
    E->QueueMoreInfo(S, URL, Row, PageState);
  } catch (...) {
    E->CallbackFailed(S, nullptr);
  }
}

void TSearchEngine::QueueMoreInfo(TTambleSocket *S, const char *URL, void *Row, int32_t PageState) {
  // Nothing is queued for a search that is ending or for earlier work.
  if (Stopping || Closing() || S->Cancelled || Slot(S).Generation != FGeneration)
    return;
  TMoreInfo M;
  M.Row = FindRow(Row) >= 0 ? reinterpret_cast<uintptr_t>(Row) : 0;
  M.URL = URL ? URL : "";
  M.PageState = PageState;
  M.SiteIndex = S->SiteIndex;
  M.TermIndex = S->TermIndex;
  M.Generation = FGeneration;
  MoreQueue.push_back(M);
  if (!Closing() && !Stopping)
    StartMoreRequests();
}

// One entry after another, as long as sockets and the width allow.
void TSearchEngine::StartMoreRequests(bool WholePool) {
  while (StartOneMore(WholePool)) {
  }
}

// Starts the queue's first entry; false when nothing more can start now.
bool TSearchEngine::StartOneMore(bool WholePool) {
  YieldProcessor();
  if (Stopping || Closing() || ActiveCount() >= MaxSockets() || MoreQueue.empty())
    return false;
  const int Sites = Catalogue.GetNumberSites ? Catalogue.GetNumberSites() : 0;
  const int Width = WholePool || NextSite >= Sites ? PoolSize : MaxSockets() / 2;
  TTambleSocket *S = nullptr;
  for (int I = 0; I < Width && I < PoolSize; ++I)
    if (IsIdle(MorePool[I])) {
      S = MorePool[I];
      break;
    }
  if (!S)
    return false;
  const TMoreInfo M = std::move(MoreQueue.front());
  MoreQueue.pop_front();
  if (M.Generation != FGeneration || M.TermIndex < 0 || M.TermIndex >= SearchTerms.Count())
    return true;
  S->Cancelled = false;
  int PageState = M.PageState;
  const std::string Request = Statement(M.SiteIndex, SearchTerms.Get(M.TermIndex), "", M.URL, PageState);
  // Nothing to fetch: the follow-up ends before it holds a use or sends.
  if (Request.empty())
    return true;
  S->Request = Request;
  S->PageState = PageState;
  S->Row = RowHandle(M.Row);
  S->FollowURL = M.URL;
  S->SiteIndex = M.SiteIndex;
  S->TermIndex = M.TermIndex;
  SetTarget(S, M.SiteIndex);
  S->ProcessPageProc = Catalogue.GetProcessPageProc(M.SiteIndex);
  const uint64_t Start = Take(S);
  S->Rate = GetSiteCurrencyRate(M.SiteIndex);
  SetSearchStatus((Settings.MessageDebugMode ? "(More)Connecting to  " : "Connecting to  ") + SiteName(M.SiteIndex));
  S->StartTime = FClock->Now();
  S->DataReceived = false;
  S->Response.clear();
  try {
    S->SConnect();
  } catch (const EConvertError &) {
  }
  if (Slot(S).Start == Start && Holds(S)) {
    if (S->SocketHandle() != -1)
      SetSearchStatus((Settings.MessageDebugMode ? "(More)Connected to  " : "Connected to  ") + SiteName(M.SiteIndex));
    else
      Release(S);  // could not be started: the socket is free for the next entry
  }
  return !(Closing() || Stopping);
}

void *TSearchEngine::AddMoreProduct(void *Context, const char *ProductText, const char *StockText,
                                    const char *PriceText, const char *ProductURL, uint8_t *Stop) {
  return OfferCallback(&TSearchEngine::AddMoreRow, Context, ProductText, StockText, PriceText, ProductURL, Stop);
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
  if (!Holds(S) || !lstProducts)
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
  const std::string StockWord = Trim(StockText ? StockText : "");
  if (!StockWord.empty()) {
    std::string Ignored = Offer.Quantity;
    Stock = ReadStock(StockWord, Ignored);
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
