#pragma once
// The web sites the demo server plays: the maker's server and the shops.
#include <memory>
#include <string>
#include <vector>

#include "demo/Catalogue.h"
#include "demo/Http.h"

namespace kvdemo {

class TSite {
public:
  virtual ~TSite() = default;
  // Short name for the ports file and the log ("maker", "tolbrook", ...).
  virtual std::string Key() const = 0;
  // The host name the client reaches it by.
  virtual std::string Host() const = 0;
  virtual TReply Serve(const TRequest &Request) = 0;
};

inline constexpr const char *MakerHost = "www.korvandel.test";

// Reads the customers file; throws std::runtime_error when it cannot.
std::unique_ptr<TSite> MakeMakerServer(const std::string &CustomersPath);
// The four shops over the catalogue, which must outlive them.
std::vector<std::unique_ptr<TSite>> MakeShops(const std::vector<TOffer> &Catalogue);

// The numbered shops "shop01".."shopNN" (Count up to 99) with synthetic
// offers: every non-blank term finds Pages * PerPage of them in each shop.
// With FollowUps the item lines leave stock and quantity to a stock page.
std::vector<std::unique_ptr<TSite>> MakeNumberedShops(int Count, int Pages, int PerPage, bool FollowUps);
// Offer Index (from 1) of numbered shop Shop for Term, as its pages list it;
// deterministic, so tests can predict every row.
TOffer NumberedOffer(int Shop, const std::string &Term, int Index);

}  // namespace kvdemo
