// Lengths in the three units the host meets, one size type for each: points (1/72 inch)
// in print settings and pages, millimetres on the channel, and hundredths of a
// millimetre in IPP's media sizes. Every conversion between them is here.
#pragma once

#include <cmath>

namespace tovanel {

// Width and height in points.
struct PaperSize {
  double width = 0;
  double height = 0;
  friend bool operator==(const PaperSize&, const PaperSize&) = default;
};

// Width and height in millimetres. Zero by zero stands for a size not recognised.
struct PaperDimensions {
  double width = 0;
  double height = 0;
  friend bool operator==(const PaperDimensions&, const PaperDimensions&) = default;
};

// Width and height in hundredths of a millimetre. Media are compared in this unit, as
// whole numbers, so that no rounding noise decides a comparison.
struct MediaSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const MediaSize&, const MediaSize&) = default;
};

// Points to millimetres: times 25.4, then divided by 72, unrounded.
inline double pointsToMillimetres(double points) {
  return points * 25.4 / 72.0;
}

// Millimetres to points: times 72, then divided by 25.4, unrounded, so that 101.6 x 152.4
// gives exactly 288.0 x 432.00000000000006.
inline double millimetresToPoints(double millimetres) {
  return (millimetres * 72.0) / 25.4;
}

inline PaperSize pointsOf(const PaperDimensions& size) {
  return {millimetresToPoints(size.width), millimetresToPoints(size.height)};
}

inline PaperDimensions millimetresOf(const PaperSize& size) {
  return {pointsToMillimetres(size.width), pointsToMillimetres(size.height)};
}

// A size in points rounded to the nearest hundredth of a millimetre. Needs a finite size
// of at most 200 inches a side, as every printable page is.
inline MediaSize mediaSizeOf(const PaperSize& size) {
  return {static_cast<int>(std::lround(size.width * 2540 / 72)),
          static_cast<int>(std::lround(size.height * 2540 / 72))};
}

inline PaperSize pointsOf(const MediaSize& size) {
  return {size.width * 72.0 / 2540, size.height * 72.0 / 2540};
}

}  // namespace tovanel
