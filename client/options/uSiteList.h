#pragma once
// The sites of the options dialog: one TSite per site number, the merge of
// the installation's site list ("Korvandel.cfg" [Sites]) with the libraries
// present, and the stored "SiteInfo\Sites" flags.
#include <string>
#include <vector>

struct TSite {
  bool Enabled = true;  // searched
  bool IsNew = false;   // shown with the "new" picture
};

// When "Korvandel.cfg" lists some sites in [Sites] but fewer than are present,
// [NewSites] is rewritten with every present site it does not list.
void MergeConfigSites();
// One TSite per site number from the stored flags.
std::vector<TSite> BuildSiteList();
