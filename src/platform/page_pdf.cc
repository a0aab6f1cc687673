#include "platform/page_pdf.h"

#include <cairo-pdf.h>

#include <memory>

#include "platform/page_layout.h"

namespace tovanel {
namespace {

cairo_status_t writeToSink(void* closure, const unsigned char* data, unsigned int length) {
  const auto& sink = *static_cast<const ByteSink*>(closure);
  return sink({data, length}) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

cairo_surface_t* lendImage(cairo_pattern_t*, void* image, cairo_surface_t*,
                           const cairo_rectangle_int_t*) {
  return cairo_surface_reference(static_cast<cairo_surface_t*>(image));
}

void takeImageBack(cairo_pattern_t*, void*, cairo_surface_t* surface) {
  cairo_surface_destroy(surface);
}

struct PatternRelease {
  void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};

bool drawImage(cairo_t* context, const PaperSize& frame, const CairoImage& image) {
  const ImagePlacement placement = fitImage(frame, image.width(), image.height());
  cairo_translate(context, placement.x, placement.y);
  cairo_scale(context, placement.scale, placement.scale);
  // A raster source lends the pixels only while the page is written. A surface pattern
  // would leave a snapshot on the image, and the image's end would then copy all of its
  // pixels into that snapshot, for nothing.
  const std::unique_ptr<cairo_pattern_t, PatternRelease> pattern(cairo_pattern_create_raster_source(
      image.surface(), CAIRO_CONTENT_COLOR, image.width(), image.height()));
  cairo_raster_source_pattern_set_acquire(pattern.get(), lendImage, takeImageBack);
  // In PDF the filter becomes the image's /Interpolate flag for the printer's renderer.
  cairo_pattern_set_filter(pattern.get(),
                           placement.scale >= 1 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_set_source(context, pattern.get());
  cairo_paint(context);
  cairo_show_page(context);
  return cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool writeImagePage(const PaperSize& page, const PaperSize& frame, const CairoImage& image,
                    const ByteSink& sink) {
  if (!isPrintablePageSize(page) || !isPrintablePageSize(frame) || image.width() <= 0 ||
      image.height() <= 0) {
    return false;
  }
  CairoSurface pdf(cairo_pdf_surface_create_for_stream(writeToSink, const_cast<ByteSink*>(&sink),
                                                       page.width, page.height));
  if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
    return false;
  bool drawn;
  {
    CairoContext context(cairo_create(pdf.get()));
    drawn = drawImage(context.get(), frame, image);
  }
  // Finishing writes the image and the trailer; only then has the sink seen it all.
  cairo_surface_finish(pdf.get());
  return drawn && cairo_surface_status(pdf.get()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace tovanel
