#pragma once
// The search box's history: the items of its list, most recent first, kept
// in the registry below the settings key in "\Searches" as "Search0",
// "Search1", ...
class QComboBox;

inline constexpr int MaxSearchHistory = 20;

// Appends the stored searches, in order, skipping empty values.
void LoadSearchHistory(QComboBox &Box);
// Puts the box's text first, replacing an item equal to it in any letter
// case, and keeps at most MaxSearchHistory items; the text stays in the box.
void AddToSearchHistory(QComboBox &Box);
// Writes every item by its position and removes the stored values past the
// last, so a shorter history does not read back with stale entries.
void SaveSearchHistory(const QComboBox &Box);
