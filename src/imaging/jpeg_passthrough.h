// A JPEG printed as the bytes it came as: checked as the decoder checks it, but put on the page
// as its own compressed data and turned upright by the page's transform, never re-encoded.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <span>

#include "base/units.h"
#include "imaging/cairo_image.h"
#include "imaging/image_decoding.h"

namespace tovanel {

enum class JpegPassthroughFailure {
  none,
  notJpeg,        // the bytes do not start as a JPEG does
  tooLarge,       // over a byte or pixel limit, as decodeImageBytes refuses it
  unreadable,     // cut or damaged, as decodeImageBytes refuses it
  needsDecoding,  // a JPEG that cannot go on as it is (CMYK or YCCK, not 8-bit, arithmetic,
                  // lossless or hierarchical coding, not 1 or 3 components): decode it instead
};

class PassthroughJpeg;

struct JpegPassthroughResult {
  std::unique_ptr<PassthroughJpeg> image;  // set exactly when failure is none
  JpegPassthroughFailure failure = JpegPassthroughFailure::none;
};

// Checks the JPEG as decodeImageBytes does (the same limits, the end marker after the last
// scan, every entropy-coded byte read by libjpeg) but decodes it only at an eighth of its size,
// and keeps a copy of its bytes. tooLarge and unreadable are the decoder's own verdicts;
// needsDecoding is told from the headers before anything is decoded.
JpegPassthroughResult openPassthroughJpeg(std::span<const uint8_t> bytes,
                                          const ImageLimits& limits = {});

class PassthroughJpeg {
 public:
  // The upright picture's size in pixels, as decodeImageBytes would give it.
  int width() const;
  int height() const;
  // Its EXIF orientation, 1 to 8 (1 when it has none).
  int orientation() const { return orientation_; }

  // Draws the picture into `frame` (its top left corner at the context's origin) as a decoded
  // image is drawn on the page: upright, fitted with its aspect ratio kept, centred, smoothed
  // only where it is reduced past 300 pixels an inch. On a cairo PDF surface it goes in as the
  // JPEG's own bytes; on any other surface only an eighth-size preview shows. The context's
  // state is restored afterwards. False when cairo reports an error.
  bool draw(cairo_t* context, const PaperSize& frame) const;

 private:
  PassthroughJpeg(CairoSurface preview, int width, int height, int orientation);
  friend JpegPassthroughResult openPassthroughJpeg(std::span<const uint8_t>, const ImageLimits&);

  CairoSurface preview_;  // an eighth of the stored size, carrying the JPEG as MIME data
  int storedWidth_;
  int storedHeight_;
  int orientation_;
};

}  // namespace tovanel
