// Documents made with cairo for the tests, and pages read back in grey with pdftoppm.
#pragma once

#include <cairo-pdf.h>

#include <array>
#include <functional>

#include "imaging/cairo_image.h"
#include "platform/print_job_settings.h"
#include "support/cups_sandbox.h"
#include "support/temporary_folder.h"

namespace tovanel::testing {

using Bytes = std::vector<uint8_t>;

// A PDF that cairo writes: a page of each size, each drawn by `draw(context, index)`.
inline Bytes cairoPdf(const std::vector<PaperSize>& pages,
                      const std::function<void(cairo_t*, int)>& draw) {
  Bytes pdf;
  const auto append = [](void* to, const unsigned char* data, unsigned int length) {
    static_cast<Bytes*>(to)->insert(static_cast<Bytes*>(to)->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
  };
  CairoSurface surface(cairo_pdf_surface_create_for_stream(append, &pdf, 1, 1));
  for (size_t index = 0; index < pages.size(); ++index) {
    cairo_pdf_surface_set_size(surface.get(), pages[index].width, pages[index].height);
    const CairoContext context(cairo_create(surface.get()));
    draw(context.get(), static_cast<int>(index));
    cairo_show_page(context.get());
  }
  cairo_surface_finish(surface.get());
  return pdf;
}

// The first page as pdftoppm draws it in grey, a byte a pixel, or empty when it cannot.
struct GreyPage {
  int width = 0;
  int height = 0;
  std::string pixels;
};

inline GreyPage greyPage(const Bytes& pdf, int dpi) {
  const TemporaryFolder folder;
  runShell("pdftoppm -gray -singlefile -r " + std::to_string(dpi) + " " +
           folder.write("page.pdf", pdf) + " " + folder.file("page"));
  const std::string pgm = readFile(folder.file("page.pgm"));
  GreyPage page;
  int consumed = 0;
  if (std::sscanf(pgm.c_str(), "P5 %d %d 255%n", &page.width, &page.height, &consumed) == 2)
    page.pixels = pgm.substr(consumed + 1);
  return page.pixels.size() == size_t(page.width) * page.height ? page : GreyPage{};
}

// Left, top, right and bottom (one past) of where a page is darker than mid grey.
inline std::array<int, 4> inkBox(const GreyPage& page) {
  std::array<int, 4> box{page.width, page.height, 0, 0};
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x)
      if (uint8_t(page.pixels[size_t(y) * page.width + x]) < 128)
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1),
               std::max(box[3], y + 1)};
  return box;
}

}  // namespace tovanel::testing
