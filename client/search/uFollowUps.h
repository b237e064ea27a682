#pragma once
// Follow-up requests: a site library asks for a further page of an offer
// (AddMoreInfo); the engine queues it, fetches it on its follow-up pool and
// hands it to the same page procedure, whose offers update the row the
// request was made for (AddMoreProduct). The engine's methods for this are
// in uFollowUps.cpp; this header holds the queue's entry.
#include <cstdint>
#include <string>

// One queued follow-up request.
struct TMoreInfo {
  uint64_t Row = 0;  // row identifier, 0 for none
  std::string URL;
  int PageState = 0;
  int SiteIndex = -1;
  int TermIndex = 0;
  uint64_t Generation = 0;  // the search that asked for it
};
