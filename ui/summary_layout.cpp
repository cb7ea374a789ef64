#include "ui/summary_layout.h"

#include <algorithm>

int summaryViewWidth(int textWidth, int chromeWidth, int minBox, int maxBox, int areaWidth) {
  int width = std::clamp(textWidth, minBox - chromeWidth, std::max(1, maxBox - chromeWidth));
  return std::max(1, std::min(width, areaWidth - chromeWidth));
}

int summaryViewHeight(int textHeight, int lineHeight, int chromeHeight, int areaHeight) {
  int highest = std::max(lineHeight, areaHeight * 2 / 3 - chromeHeight);
  highest = std::min(highest, std::max(1, areaHeight - chromeHeight));
  return std::clamp(textHeight, 1, std::max(1, highest));
}

ScreenRect placeInArea(const ScreenRect& area, int centreX, int centreY, int width, int height) {
  int x = std::min(centreX - width / 2, area.x + area.width - width);
  int y = std::min(centreY - height / 2, area.y + area.height - height);
  return ScreenRect{std::max(area.x, x), std::max(area.y, y), width, height};
}
