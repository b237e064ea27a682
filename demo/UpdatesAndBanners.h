#pragma once
// What the maker's server offers beside its conversations: the update page
// with its files, and the banner pages and pictures; and the banner picture
// every shop serves for its advert.
#include <string>

#include "demo/Http.h"

namespace kvdemo {

// The update files the page names, newest last; the catalogue reports 3003.
inline constexpr int UpdateFileCount = 3;
// File Number (1..UpdateFileCount) is answered with a server error from now
// on; 0 serves every file.
void SetFailingUpdateFile(int Number);

// True, with Reply, when Request is the update page, an update file, a
// banner page or a banner picture of the maker's server.
bool ServeUpdatesAndBanners(const TRequest &Request, TReply &Reply);
// True, with Reply, when Request asks a shop for its banner ("/banner.gif").
bool ServeShopBanner(const std::string &ShopKey, const TRequest &Request, TReply &Reply);

// A 234 x 62 animated banner of two frames; Variant picks its colours.
std::string BannerGif(unsigned Variant);

}  // namespace kvdemo
