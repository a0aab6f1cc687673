// Documents made with cairo for the tests, and pages read back as pixels with pdftoppm.
#pragma once

#include <cairo-pdf.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/cairo_image.h"
#include "platform/print_job_settings.h"
#include "support/cups_sandbox.h"
#include "support/temporary_folder.h"

namespace tovanel::testing {

using Bytes = std::vector<uint8_t>;

// A PDF that cairo writes, one page of each size, each drawn by `draw(context, index)`.
inline Bytes cairoPdf(const std::vector<PaperSize>& pages,
                      const std::function<void(cairo_t*, int)>& draw) {
  Bytes pdf;
  CairoSurface surface(cairo_pdf_surface_create_for_stream(
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<Bytes*>(closure)->insert(static_cast<Bytes*>(closure)->end(), data,
                                             data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &pdf, pages.empty() ? 1 : pages[0].width, pages.empty() ? 1 : pages[0].height));
  for (size_t index = 0; index < pages.size(); ++index) {
    cairo_pdf_surface_set_size(surface.get(), pages[index].width, pages[index].height);
    CairoContext context(cairo_create(surface.get()));
    draw(context.get(), static_cast<int>(index));
    cairo_show_page(context.get());
  }
  cairo_surface_finish(surface.get());
  return pdf;
}

// A page as pdftoppm draws it in RGB: `dpi` pixels an inch.
struct PagePixels {
  int width = 0;
  int height = 0;
  Bytes rgb;

  // The three channels of a pixel, 0xRRGGBB.
  uint32_t at(int x, int y) const {
    const uint8_t* pixel = rgb.data() + 3 * (static_cast<size_t>(y) * width + x);
    return uint32_t{pixel[0]} << 16 | uint32_t{pixel[1]} << 8 | pixel[2];
  }
};

// The first page of the PDF drawn by pdftoppm; empty when it could not.
inline PagePixels renderedPage(const Bytes& pdf, int dpi, const std::string& options = "") {
  const TemporaryFolder folder;
  const std::string file = folder.write("page.pdf", pdf);
  const auto run = runShell("pdftoppm -singlefile -r " + std::to_string(dpi) + " " + options + " " +
                            file + " " + folder.file("page"));
  const std::string ppm = readFile(folder.file("page.ppm"));
  PagePixels page;
  int maxValue = 0, consumed = 0;
  if (run.status != 0 ||
      std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &page.width, &page.height, &maxValue, &consumed) !=
          3 ||
      ppm.size() != consumed + 1 + 3 * size_t(page.width) * page.height)
    return {};
  page.rgb.assign(ppm.begin() + consumed + 1, ppm.end());
  return page;
}

// Where anything darker than near-white lies on a page, in its pixels.
struct InkBox {
  int left = 0;
  int top = 0;
  int right = 0;  // one past the last column with ink
  int bottom = 0;

  friend bool operator==(const InkBox&, const InkBox&) = default;
};

inline InkBox inkBox(const PagePixels& page) {
  InkBox box{page.width, page.height, 0, 0};
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x)
      if ((page.at(x, y) & 0xff) < 128) {
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
               std::max(box.bottom, y + 1)};
      }
  return box.right > 0 ? box : InkBox{};
}

// The output of a shell command, "" when it failed.
inline std::string shellOutput(const std::string& command) {
  const auto run = runShell(command);
  return run.status == 0 ? run.output : "";
}

}  // namespace tovanel::testing
