#include "imaging/page_layout.h"

#include <algorithm>
#include <cmath>

namespace tovanel {
namespace {

bool isPrintableLength(double points) {
  return std::isfinite(points) && points >= kSmallestMediumSide && points <= kLargestMediumSide;
}

}  // namespace

bool isPrintablePageSize(const PaperSize& page) {
  return isPrintableLength(page.width) && isPrintableLength(page.height);
}

ImagePlacement fitImage(const PaperSize& frame, int width, int height) {
  const double scale = std::min(frame.width / width, frame.height / height);
  return {(frame.width - width * scale) / 2, (frame.height - height * scale) / 2, scale};
}

}  // namespace tovanel
