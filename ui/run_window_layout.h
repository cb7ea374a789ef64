#pragma once
// Where the run window's parts go, in 1/96 inch, which each window shell
// scales to the display: the log view keeps a 500 × 400 client area of its
// own, and the progress strip adds its height below it.

struct LayoutBox {
  int x, y, width, height;
};

constexpr int kRunWindowWidth = 500;
constexpr int kRunWindowHeight = 446;
constexpr LayoutBox kLogViewBox{10, 10, 480, 380};
// A progress bar and one status line under the log view.
constexpr LayoutBox kProgressStripBox{10, 398, 480, 38};
