#include "imaging/page_pdf.h"

#include <cairo-pdf.h>

#include <numbers>

namespace tovanel {
namespace {

cairo_status_t writeToSink(void* closure, const unsigned char* data, unsigned int length) {
  const auto& sink = *static_cast<const ByteSink*>(closure);
  return sink({data, length}) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

// Moves the context's origin to the frame's top left corner on the sheet, turned with it.
void placeFrame(cairo_t* context, const PageLayout& layout) {
  const FrameOrigin origin = frameOrigin(layout);
  if (layout.turned) {
    // The frame's top left corner goes to the bottom left of where it lands.
    cairo_translate(context, origin.x, origin.y + layout.frame.width);
    cairo_rotate(context, -std::numbers::pi / 2);
  } else {
    cairo_translate(context, origin.x, origin.y);
  }
}

bool drawPages(cairo_t* context, const PageLayout& layout, const Printable& printable) {
  for (int index = 0; index < printable.pageCount(); ++index) {
    cairo_save(context);
    placeFrame(context, layout);
    const bool drawn = printable.drawPage(index, context, layout.frame, layout.scaling);
    cairo_restore(context);
    cairo_show_page(context);
    if (!drawn || cairo_status(context) != CAIRO_STATUS_SUCCESS)
      return false;
  }
  return true;
}

}  // namespace

bool writePages(const PageLayout& layout, const Printable& printable, const ByteSink& sink) {
  CairoSurface pdf(cairo_pdf_surface_create_for_stream(writeToSink, const_cast<ByteSink*>(&sink),
                                                       layout.sheet.width, layout.sheet.height));
  if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
    return false;
  bool drawn;
  {
    CairoContext context(cairo_create(pdf.get()));
    drawn = drawPages(context.get(), layout, printable);
  }
  // Finishing writes the images and the trailer; only then has the sink seen it all.
  cairo_surface_finish(pdf.get());
  return drawn && cairo_surface_status(pdf.get()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace tovanel
