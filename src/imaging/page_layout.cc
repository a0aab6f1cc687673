#include "imaging/page_layout.h"

#include <algorithm>

namespace tovanel {

ImagePlacement fitImage(const PaperSize& frame, const PaperSize& content, ImageScaling scaling) {
  const double width = content.width, height = content.height;
  const double fitX = frame.width / width, fitY = frame.height / height;
  double scaleX = 1, scaleY = 1;
  switch (scaling) {
    case ImageScaling::proportionallyDown:
      scaleX = scaleY = std::min({fitX, fitY, 1.0});
      break;
    case ImageScaling::axesIndependently:
      scaleX = fitX, scaleY = fitY;
      break;
    case ImageScaling::none:
      break;
    case ImageScaling::proportionallyUpOrDown:
      scaleX = scaleY = std::min(fitX, fitY);
      break;
  }
  return {(frame.width - width * scaleX) / 2, (frame.height - height * scaleY) / 2, scaleX, scaleY};
}

FrameOrigin frameOrigin(const PageLayout& layout) {
  // The room the frame takes on the sheet: turned, its sides change places.
  const double width = layout.turned ? layout.frame.height : layout.frame.width;
  const double height = layout.turned ? layout.frame.width : layout.frame.height;
  const double areaWidth = layout.sheet.width - layout.leftMargin - layout.rightMargin;
  const double areaHeight = layout.sheet.height - layout.topMargin - layout.bottomMargin;
  return {layout.leftMargin + (layout.horizontallyCentered ? (areaWidth - width) / 2 : 0),
          layout.topMargin + (layout.verticallyCentered ? (areaHeight - height) / 2 : 0)};
}

}  // namespace tovanel
