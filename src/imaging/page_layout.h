// Where a page lands on a sheet and an image on the page: the settings of a print, in
// points, as plain data.
#pragma once

#include "base/units.h"

namespace tovanel {

// How an image is fitted to its frame.
enum class ImageScaling {
  proportionallyDown = 0,  // reduced to fit, never enlarged, aspect ratio kept
  axesIndependently = 1,   // stretched to fill the frame both ways
  none = 2,                // at one image pixel a point
  proportionallyUpOrDown = 3,
};

// A page laid on a sheet: the sheet is the PDF page the printer gets; the frame is the
// page that was asked for, in which the image is fitted and centred. The frame lies in
// the sheet's area inside the margins, centred there each way that is centred, else at
// the area's left or top edge; a turned frame lies there a quarter turn
// counter-clockwise, as CUPS turns a landscape page.
struct PageLayout {
  PaperSize sheet{};
  PaperSize frame{};
  bool turned = false;
  double topMargin = 0;
  double bottomMargin = 0;
  double leftMargin = 0;
  double rightMargin = 0;
  bool horizontallyCentered = true;
  bool verticallyCentered = true;
  ImageScaling scaling = ImageScaling::proportionallyUpOrDown;

  friend bool operator==(const PageLayout&, const PageLayout&) = default;
};

// The image, drawn at (x, y) in the frame and scaled by (scaleX, scaleY), as `scaling`
// says, centred in the frame.
struct ImagePlacement {
  double x = 0;
  double y = 0;
  double scaleX = 1;
  double scaleY = 1;

  friend bool operator==(const ImagePlacement&, const ImagePlacement&) = default;
};

// Needs a frame and content of positive width and height (an image's pixels count as
// points).
ImagePlacement fitImage(const PaperSize& frame, const PaperSize& content, ImageScaling scaling);

// Printers resolve 200 to 600 dots per inch. An image of fewer pixels per inch than this
// is enlarged on most of them, where smoothing would blur a barcode's bars; only denser
// images, which every printer reduces, are smoothed.
inline constexpr double kSmoothAbovePixelsPerInch = 300;

// Whether an image drawn at `scale` (points per pixel) is smoothed.
inline bool smoothedAt(double scale) {
  return 72.0 / scale > kSmoothAbovePixelsPerInch;
}

// The top left corner of the frame on the sheet, before any turn.
struct FrameOrigin {
  double x = 0;
  double y = 0;

  friend bool operator==(const FrameOrigin&, const FrameOrigin&) = default;
};
FrameOrigin frameOrigin(const PageLayout& layout);

}  // namespace tovanel
