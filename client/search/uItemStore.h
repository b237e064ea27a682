#pragma once
// The data object of every result row. Site libraries never see it: they get
// the row's identifier, which stays unique for the engine's life, so a row
// kept by a library after the list was cleared is recognised as gone.
#include <cstdint>
#include <string>

struct TItemStore {
  std::string ProductURL;
  double Rate = 0;
  bool FollowUp = false;
  std::string SiteURL;
  std::string DatasheetURL;
  uint64_t RowId = 0;
};
