// The PDF documents behind "printDocument" on any bytes, with a page limit small enough that
// refusals come quickly: a document comes back exactly when nothing failed, within limits, and
// every page of it draws into a PDF page whose bytes go nowhere.
#include <cairo-pdf.h>

#include "imaging/cairo_image.h"
#include "imaging/pdf_document.h"

// fontconfig keeps what it reads of the system's fonts for the whole process, from the first
// text drawn on: that is no leak of an input's (a thousand drawings leave the memory flat).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const PdfLimits limits{.maxPages = 20};
  const auto result = openPdfDocument(std::span<const uint8_t>(data, size), limits);
  if ((result.document != nullptr) != (result.failure == PdfFailure::none))
    __builtin_trap();
  if (!result.document)
    return 0;
  const int pages = result.document->pageCount();
  if (pages < 1 || pages > limits.maxPages)
    __builtin_trap();
  const CairoSurface pdf(cairo_pdf_surface_create_for_stream(
      [](void*, const unsigned char*, unsigned int) { return CAIRO_STATUS_SUCCESS; }, nullptr, 288,
      432));
  const CairoContext context(cairo_create(pdf.get()));
  for (int page = 0; page < pages; ++page) {
    const PaperSize size = result.document->pageSize(page);
    if (!(size.width > 0 && size.height > 0))
      __builtin_trap();
    result.document->drawPage(page, context.get(), {288, 432});
    cairo_show_page(context.get());
  }
  return 0;
}
