#pragma once
// What the program accepts from each outside server, in one place: the
// largest reply a conversation keeps and its time limits. Every conversation
// takes its entry from here; a reply over its cap ends the conversation as a
// lost connection does. The caps sit far above any real reply: they exist so
// a broken or hostile server cannot take the client's memory.
#include <cstddef>

namespace kv {

// Seconds: while no data has arrived, and in any case (0: no limit).
struct TTimeLimits {
  int NoData;
  int InAll;
};

// Past one of the limits Ms milliseconds after the start; a limit of 0 is none.
inline bool PastLimits(TTimeLimits Limits, long long Ms, bool DataReceived) {
  if (!DataReceived && Limits.NoData > 0 && Ms > Limits.NoData * 1000LL)
    return true;
  return Limits.InAll > 0 && Ms > Limits.InAll * 1000LL;
}

struct TConversationLimits {
  const char *Name;
  std::size_t MaxReply; // bytes of reply taken, status line and headers included
  TTimeLimits Time;
};

inline constexpr std::size_t KiB = 1024;
inline constexpr std::size_t MiB = 1024 * KiB;

namespace limits {
// The maker's server.
inline constexpr TConversationLimits Check{"check", 64 * KiB, {30, 60}};
inline constexpr TConversationLimits Logon{"logon", 1 * MiB, {90, 120}};
inline constexpr TConversationLimits Usage{"usage record", 64 * KiB, {30, 60}};
inline constexpr TConversationLimits UpdatePage{"update page", 16 * MiB, {60, 300}};
// The shortages exchange: the user's details, then the form posted.
inline constexpr TConversationLimits UserDetails{"user details", 1 * MiB, {30, 60}};
inline constexpr TConversationLimits ShortagesForm{"shortages form", 4 * MiB, {30, 60}};
inline constexpr TConversationLimits Suggestion{"suggestion", 64 * KiB, {30, 60}};
// Banner hosts and update files, fetched through the file-fetching library.
inline constexpr TConversationLimits AdvertPage{"banner page", 1 * MiB, {30, 60}};
inline constexpr TConversationLimits AdvertPicture{"banner picture", 8 * MiB, {30, 120}};
inline constexpr TConversationLimits UpdateFile{"update file", 512 * MiB, {60, 3600}};
// The shops.
inline constexpr TConversationLimits ShopPage{"shop page", 32 * MiB, {50, 180}};
inline constexpr TConversationLimits FollowUp{"follow-up page", 32 * MiB, {50, 180}};
// The currency rates page: one short line, which the options dialog waits
// for with every other rate.
inline constexpr TConversationLimits Rates{"rates", 16 * KiB, {15, 30}};
} // namespace limits

} // namespace kv
