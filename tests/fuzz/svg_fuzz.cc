// The SVG drawings behind "printDocument" on any bytes: a drawing comes back exactly when
// nothing failed, with a usable size, and draws into a PDF page whose bytes go nowhere.
#include <cairo-pdf.h>

#include <cmath>

#include "imaging/cairo_image.h"
#include "imaging/svg_document.h"

// fontconfig keeps what it reads of the system's fonts for the whole process, from the first
// text drawn on: that is no leak of an input's (a thousand drawings leave the memory flat).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const std::span<const uint8_t> bytes(data, size);
  looksLikeSvg(bytes);
  const auto result = openSvgDocument(bytes);
  if ((result.document != nullptr) != (result.failure == SvgFailure::none))
    __builtin_trap();
  if (!result.document)
    return 0;
  const PaperSize drawing = result.document->size();
  if (!(std::isfinite(drawing.width) && std::isfinite(drawing.height) && drawing.width > 0 &&
        drawing.height > 0))
    __builtin_trap();
  const CairoSurface pdf(cairo_pdf_surface_create_for_stream(
      [](void*, const unsigned char*, unsigned int) { return CAIRO_STATUS_SUCCESS; }, nullptr, 288,
      432));
  const CairoContext context(cairo_create(pdf.get()));
  result.document->draw(context.get(), {288, 432});
  cairo_show_page(context.get());
  return 0;
}
