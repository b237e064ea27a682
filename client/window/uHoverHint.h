#pragma once
// The result list's hover hint: a part number too wide for its cell is shown
// whole in the hint form, which stays off screen (at x = -500) until the
// hint-show timer brings it to its target position.
class QTimer;
class TfrmHint;
namespace kv {
class TReportListView;
}

// A mouse move over the list to (X, Y) in its viewport's coordinates.
void lstProducts1MouseMove(kv::TReportListView &List, TfrmHint &Hint, QTimer &timHintShow, int X, int Y);
// Moves the hint form and its target position off screen.
void HideHoverHint(TfrmHint &Hint);
