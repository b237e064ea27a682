#pragma once
// The word processor and the spreadsheet program the list's exports drive,
// as in-process automation classes of our own: "word.application" writes
// its documents as Rich Text, "excel.application" its workbooks as XML
// Spreadsheet 2003 files. Each implements only the members the exports call.

namespace kv {

// Registers both classes in the automation layer's factory (replacing any
// class registered under those names).
void RegisterOfficeStandIns();

}  // namespace kv
