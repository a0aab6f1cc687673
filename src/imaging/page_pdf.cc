#include "imaging/page_pdf.h"

#include <cairo-pdf.h>

#include <numbers>

#include "imaging/page_layout.h"

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

bool drawImage(cairo_t* context, const PaperSize& page, const PaperSize& frame, bool turned,
               const CairoImage& image) {
  if (turned) {
    // The frame's top left corner goes to the bottom left of where it lands.
    cairo_translate(context, (page.width - frame.height) / 2, (page.height + frame.width) / 2);
    cairo_rotate(context, -std::numbers::pi / 2);
  } else {
    cairo_translate(context, (page.width - frame.width) / 2, (page.height - frame.height) / 2);
  }
  const ImagePlacement placement = fitImage(frame, image.width(), image.height());
  cairo_translate(context, placement.x, placement.y);
  cairo_scale(context, placement.scale, placement.scale);
  cairo_set_source_surface(context, image.surface(), 0, 0);
  // In PDF the filter becomes the image's /Interpolate flag for the printer's renderer.
  const double pixelsPerInch = 72.0 / placement.scale;
  cairo_pattern_set_filter(cairo_get_source(context), pixelsPerInch > kSmoothAbovePixelsPerInch
                                                          ? CAIRO_FILTER_GOOD
                                                          : CAIRO_FILTER_NEAREST);
  cairo_paint(context);
  cairo_show_page(context);
  return cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool writeImagePage(const PaperSize& page, const PaperSize& frame, bool turned,
                    const CairoImage& image, const ByteSink& sink) {
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
    drawn = drawImage(context.get(), page, frame, turned, image);
  }
  // Finishing writes the image and the trailer; only then has the sink seen it all.
  cairo_surface_finish(pdf.get());
  return drawn && cairo_surface_status(pdf.get()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace tovanel
