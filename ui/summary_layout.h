#pragma once
// How the end-of-run dialog sizes and places itself, the same in every shell.
// A plain message box grows with its text until its button leaves the
// screen; this dialog grows only up to a share of the work area and then
// scrolls. All values are device pixels unless a name says otherwise.

#include <cstddef>

struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// Widths of the whole dialog in 1/96 inch: no wider however long the lines,
// no narrower than a small message box.
constexpr int kSummaryMaxWidth = 560;
constexpr int kSummaryMinWidth = 300;
// Lines measured to size the view; more would not fit in its largest height.
constexpr size_t kMeasuredLines = 400;

// The text view's width: the text's own width plus the view's padding, kept
// so that the dialog (view plus chrome) lies between minBox and maxBox, and
// never wider than the work area allows.
int summaryViewWidth(int textWidth, int chromeWidth, int minBox, int maxBox, int areaWidth);
// The text view's height: the wrapped text's height, while the whole dialog
// stays within two thirds of the work area's height, but at least one line;
// never so high that the dialog leaves the work area.
int summaryViewHeight(int textHeight, int lineHeight, int chromeHeight, int areaHeight);
// Where a dialog of the given outer size goes: centred on (centreX, centreY),
// then moved wholly into the area; its top-left corner wins when it is
// larger than the area.
ScreenRect placeInArea(const ScreenRect& area, int centreX, int centreY, int width, int height);
