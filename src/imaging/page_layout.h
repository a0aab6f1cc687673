// Where an image lands on a page, and which page sizes a real medium can have.
#pragma once

#include "platform/print_job_settings.h"

namespace tovanel {

// No real medium is larger than 200 inches a side, or smaller than a point (0.35 mm).
inline constexpr double kLargestMediumSide = 200 * 72.0;
inline constexpr double kSmallestMediumSide = 1.0;

// True for a finite size between the smallest and the largest medium each way.
bool isPrintablePageSize(const PaperSize& page);

// The image, drawn at (x, y) and enlarged by `scale`, fills the frame one way and is
// centred the other: its aspect ratio is kept, the whole image shows, nothing spills.
struct ImagePlacement {
  double x = 0;
  double y = 0;
  double scale = 1;
};

// Needs a printable frame and an image of positive width and height in pixels.
ImagePlacement fitImage(const PaperSize& frame, int width, int height);

}  // namespace tovanel
