#include "imaging/page_pdf.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <numbers>

namespace tovanel {
namespace {

// Printers resolve 200 to 600 dots per inch. An image of fewer pixels per inch than this
// is enlarged on most of them, where smoothing would blur a barcode's bars; only denser
// images, which every printer reduces, are smoothed.
constexpr double kSmoothAbovePixelsPerInch = 300;

cairo_status_t writeToSink(void* closure, const unsigned char* data, unsigned int length) {
  const auto& sink = *static_cast<const ByteSink*>(closure);
  return sink({data, length}) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

bool drawImage(cairo_t* context, const PageLayout& layout, const CairoImage& image) {
  const FrameOrigin origin = frameOrigin(layout);
  if (layout.turned) {
    // The frame's top left corner goes to the bottom left of where it lands.
    cairo_translate(context, origin.x, origin.y + layout.frame.width);
    cairo_rotate(context, -std::numbers::pi / 2);
  } else {
    cairo_translate(context, origin.x, origin.y);
  }
  const ImagePlacement placement =
      fitImage(layout.frame, image.width(), image.height(), layout.scaling);
  cairo_translate(context, placement.x, placement.y);
  cairo_scale(context, placement.scaleX, placement.scaleY);
  cairo_set_source_surface(context, image.surface(), 0, 0);
  // In PDF the filter becomes the image's /Interpolate flag for the printer's renderer.
  const double pixelsPerInch = 72.0 / std::min(placement.scaleX, placement.scaleY);
  cairo_pattern_set_filter(cairo_get_source(context), pixelsPerInch > kSmoothAbovePixelsPerInch
                                                          ? CAIRO_FILTER_GOOD
                                                          : CAIRO_FILTER_NEAREST);
  cairo_paint(context);
  cairo_show_page(context);
  return cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool writeImagePage(const PageLayout& layout, const CairoImage& image, const ByteSink& sink) {
  if (image.width() <= 0 || image.height() <= 0)
    return false;
  CairoSurface pdf(cairo_pdf_surface_create_for_stream(writeToSink, const_cast<ByteSink*>(&sink),
                                                       layout.sheet.width, layout.sheet.height));
  if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
    return false;
  bool drawn;
  {
    CairoContext context(cairo_create(pdf.get()));
    drawn = drawImage(context.get(), layout, image);
  }
  // Finishing writes the image and the trailer; only then has the sink seen it all.
  cairo_surface_finish(pdf.get());
  return drawn && cairo_surface_status(pdf.get()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace tovanel
