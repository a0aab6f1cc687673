// What a job prints, told apart by its bytes and drawn page by page: a decoded image or a
// camera JPEG sent on as its bytes is one page, a PDF document one page for each of its
// own, an SVG drawing one page.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <span>

#include "base/units.h"
#include "imaging/cairo_image.h"
#include "imaging/image_decoding.h"
#include "imaging/page_layout.h"

namespace tovanel {

class Printable {
 public:
  virtual ~Printable() = default;
  virtual int pageCount() const { return 1; }
  // The first page's own size: an image's in pixels, a document's in points.
  virtual PaperSize size() const = 0;
  // Draws page `index` fitted into `frame`, whose top left corner is the context's origin:
  // an image as `scaling` says, a document's page as an image is scaled by default. False
  // when cairo reports an error. Needs 0 <= index < pageCount().
  virtual bool drawPage(int index, cairo_t* context, const PaperSize& frame,
                        ImageScaling scaling) const = 0;
};

// A decoded image, as pixels.
class RasterPage final : public Printable {
 public:
  explicit RasterPage(std::unique_ptr<CairoImage> image) : image_(std::move(image)) {}
  PaperSize size() const override;
  bool drawPage(int index, cairo_t* context, const PaperSize& frame,
                ImageScaling scaling) const override;
  const CairoImage& image() const { return *image_; }

 private:
  std::unique_ptr<CairoImage> image_;
};

enum class PrintableFailure {
  none,
  unsupported,  // bytes of no kind the host prints
  refused,      // over a limit, cut, damaged, locked, or a document with no or too many pages
};

struct DecodedPrintable {
  std::unique_ptr<Printable> printable;  // set exactly when failure is none
  PrintableFailure failure = PrintableFailure::none;
};

// Tells the bytes apart by what they begin with, never by a name: a PDF document, a JPEG
// (sent on as its bytes when it can go as it is, else decoded), an SVG drawing, or an
// image for the decoder (PNG, GIF, BMP, TIFF, WebP, HEIC). Reads nothing but the bytes.
DecodedPrintable decodePrintable(std::span<const uint8_t> bytes, const ImageLimits& limits = {});

}  // namespace tovanel
