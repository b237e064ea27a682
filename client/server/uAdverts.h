#pragma once
// The banner adverts: the maker's own banner and the adverts site libraries
// carry for their shops, fetched with the file-fetching library into files of
// the program folder and rotated on the two banner pictures while a search
// runs. A fetch chain holds its advert, so a chain still running when the next
// search rebuilds the list finds its advert alive, and one whose owner is gone
// finds nothing.
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/server/uServer.h"
#include "client/settings/uSettings.h"
#include "fetch/Fetchlet.h"

class QTimer;
class QWidget;
class TPellGifImage;

class TAdObject {
public:
  std::string URL;       // the picture or the advert page
  std::string ClickURL;  // opened on a click, without the scheme
  bool Secured = false;
  std::string User, Password;  // Basic authorisation of the fetch; empty: none
  int DisplayTime = 15000;     // ms until the next rotation after banner 2
};

// The picture reference of a line: the text between the quotes around the
// first ".GIF" (the quote nearest before it decides which); empty when either
// quote is missing.
std::string ExtractGifName(const std::string &Line);
// The picture reference of an advert page (its first line naming a ".GIF"),
// and in ClickURL the text between "href='" and "'>". Lines end at CR, LF or
// CR LF.
std::string ReadAdvertText(const std::string &Page, std::string &ClickURL);

// What the banners need of the catalogue's sites.
struct TAdvertSites {
  std::function<int()> NumberSites;
  std::function<bool(int Site)> HasAdvert;
  std::function<std::string(int Site)> Advert, URL, Location;
  std::function<bool(int Site)> SecuredBasic;
  std::function<bool(int Site, const std::string &Category)> HasCategory;
};
// The bound catalogue's entry points.
TAdvertSites CatalogueAdvertSites();

// What the banners need of the main window. Unset members do nothing.
struct TAdvertEvents {
  std::string ProgramDir;  // with its trailing separator
  TGetFileProc GetFile = nullptr;
  TSetFileGroupLimitsProc SetFileGroupLimits = nullptr;
  std::function<TProxySettings()> Proxy;
  std::function<std::string()> CustomerID;
  // The search has stopped: banners rotate only while one runs.
  std::function<bool()> Stopping;
  // The category box: its selected index (0 is every category) and text.
  std::function<int()> CategoryIndex;
  std::function<std::string()> CategoryText;
  std::function<void(const std::string &URL)> OpenURL;
  // 0 <= result < Range; the program's random numbers unless set.
  std::function<int(int Range)> Random;
};

class TAdverts : public QObject {
public:
  // The pictures are made here, gifBanner1 in Panel1 and gifBanner2 in Panel2;
  // Settings are the main window's working settings.
  TAdverts(const TWorkingSettings &Settings, TAdvertSites Sites, TAdvertEvents Events, QWidget *Panel1,
           QWidget *Panel2, QObject *Owner = nullptr);
  ~TAdverts() override;
  TAdverts(const TAdverts &) = delete;
  TAdverts &operator=(const TAdverts &) = delete;

  TPellGifImage *gifBanner1, *gifBanner2;
  QTimer *timBanner;

  void LoadAdverts();
  bool SiteAdvertAllowed(int Site) const;
  void timBannerTimer();
  void FetchAdvert(const std::shared_ptr<TAdObject> &Advert, const std::string &URL);
  void AdvertPageFetched(bool Success, const std::shared_ptr<TAdObject> &Advert);
  void AdvertImageFetched(bool Success, const std::shared_ptr<TAdObject> &Advert);
  // Reads and deletes the downloaded page; the server banner's click address
  // comes from it.
  std::string ReadAdvertPage();
  void gifBanner1Click();
  void gifBanner2Click();
  // The banners' click addresses from the settings.
  void LoadClickURLs();

  const std::vector<std::shared_ptr<TAdObject>> &AdvertList() const { return FAdverts; }
  int Position() const { return FPosition; }
  // True when the last rotation chose the server banner.
  bool BannerRotating = false;
  // Fetches handed to the library whose callback has not come yet.
  size_t FetchesRunning() const;

protected:
  bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
  static void PageDone(int32_t Success, intptr_t Ticket);
  static void ImageDone(int32_t Success, intptr_t Ticket);
  // The advert of a finished fetch and its owner; nothing when the owner went.
  static std::shared_ptr<TAdObject> TakeTicket(intptr_t Ticket, TAdverts *&Owner);
  void Fetch(const std::shared_ptr<TAdObject> &Advert, const std::string &URL, const std::string &File,
             TGetFileDoneProc Done, const kv::TConversationLimits &Limits);
  void Click(TPellGifImage *Banner);
  void EnableTimer();
  int Random(int Range) const;

  const TWorkingSettings &FSettings;
  TAdvertSites FSites;
  TAdvertEvents FEvents;
  std::vector<std::shared_ptr<TAdObject>> FAdverts;
  int FPosition = 1;
};
