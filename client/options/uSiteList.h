#pragma once
// The sites of the options dialog: one TSite per site number, the merge of
// the installation's site list ("Korvandel.cfg" [Sites]) with the libraries
// present, and the stored "SiteInfo\Sites" flags.
#include <string>
#include <vector>

#include "platform/StringList.h"

struct TSite {
  bool Enabled = true;  // searched
  bool IsNew = false;   // shown with the "new" picture
};

// The one site that can never be switched off.
extern const char *const KorvandelDirectName;
extern const char *const NoOptionDisplayFeature;

// "Site" + the site's library name: its flag in "SiteInfo\Sites" and
// "SiteInfo\NewSites", and its key in the configuration's [Sites].
std::string SiteFlagName(int Site);
bool IsKorvandelDirect(int Site);

// When "Korvandel.cfg" lists some sites in [Sites] but fewer than are present,
// [NewSites] is rewritten with every present site it does not list.
void MergeConfigSites();
// One TSite per site number from the stored flags.
std::vector<TSite> BuildSiteList();
// Whether a site is listed in the dialog: allowed by the features and not
// marked "NO OPTION DISPLAY".
bool SiteListed(int Site, kv::TStrings *Features);
// The flag a site is saved with. Before a logon (no features) a site keeps
// its choice, as do sites hidden by "NO OPTION DISPLAY".
bool SavedSiteFlag(int Site, const TSite &S, kv::TStrings *Features);
// "1 Supplier Site" for fewer than two, else "<n> Distributor Sites".
std::string SiteCountText(int Count);
