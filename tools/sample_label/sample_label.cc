// Draws a sample 4 x 6 inch shipping label (sender, recipient, a Code128 tracking barcode)
// into a PNG at 203 dpi, the resolution of a common thermal label printer, or, for an
// OUT ending in .pdf or .svg, into a vector document of 4 x 6 inches, as carriers send
// their labels: text as text, bars as rectangles.
//
//   sample_label OUT.png|OUT.pdf|OUT.svg [--tracking TEXT]
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <zint.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr int kWidth = 812;    // 4 in at 203 dpi
constexpr int kHeight = 1218;  // 6 in at 203 dpi
constexpr double kMargin = 40;

struct SymbolDeleter {
  void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};
struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

void text(cairo_t* cr, double x, double y, double size, bool bold, const std::string& line) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, line.c_str());
}

void centredText(cairo_t* cr, double y, double size, const std::string& line) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, line.c_str(), &extents);
  cairo_move_to(cr, (kWidth - extents.x_advance) / 2, y);
  cairo_show_text(cr, line.c_str());
}

void rule(cairo_t* cr, double y, double thickness) {
  cairo_rectangle(cr, kMargin, y, kWidth - 2 * kMargin, thickness);
  cairo_fill(cr);
}

// Draws the bars of a Code128 symbol with whole-pixel modules, so that it stays crisp at
// the printer's resolution. Returns false when the text cannot be encoded.
bool barcode(cairo_t* cr, const std::string& data, double top, double barHeight) {
  std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
  symbol->symbology = BARCODE_CODE128;
  symbol->show_hrt = 0;
  symbol->whitespace_width = 0;
  if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.c_str()),
                      static_cast<int>(data.size())) >= ZINT_ERROR) {
    return false;
  }
  if (ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR || !symbol->vector)
    return false;
  const double modules = symbol->width;
  const double modulePixels = std::floor((kWidth - 2 * kMargin) / (modules + 20));
  const double unitsPerModule = symbol->vector->width / modules;
  const double left = std::round((kWidth - modules * modulePixels) / 2);
  for (auto* bar = symbol->vector->rectangles; bar; bar = bar->next) {
    const double x = left + std::round(bar->x / unitsPerModule) * modulePixels;
    const double width = std::round(bar->width / unitsPerModule) * modulePixels;
    cairo_rectangle(cr, x, top, width, barHeight);
  }
  cairo_fill(cr);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  std::string tracking = "TOV1Z4X6000042";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tracking") == 0 && i + 1 < argc) {
      tracking = argv[++i];
    } else if (argv[i][0] != '-' && out.empty()) {
      out = argv[i];
    } else {
      std::fprintf(stderr, "usage: sample_label OUT.png|OUT.pdf|OUT.svg [--tracking TEXT]\n");
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: sample_label OUT.png|OUT.pdf|OUT.svg [--tracking TEXT]\n");
    return 2;
  }

  // A document is drawn in the PNG's pixels, scaled to points.
  const double points = 72.0 / 203;
  const bool pdf = out.ends_with(".pdf"), svg = out.ends_with(".svg");
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      pdf   ? cairo_pdf_surface_create(out.c_str(), kWidth * points, kHeight * points)
      : svg ? cairo_svg_surface_create(out.c_str(), kWidth * points, kHeight * points)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
  std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
  cairo_t* cr = context.get();
  if (pdf || svg)
    cairo_scale(cr, points, points);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  // Bilevel output, as a thermal printer prints it.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);

  // A solid block in the top left corner shows at a glance if the label turned or flipped.
  cairo_rectangle(cr, kMargin, kMargin, 90, 90);
  cairo_fill(cr);
  text(cr, kMargin + 110, kMargin + 52, 44, true, "TOVANEL EXPRESS");
  text(cr, kMargin + 112, kMargin + 88, 24, false, "Ground  \xc2\xb7  1 of 1  \xc2\xb7  2.4 kg");
  rule(cr, 160, 6);

  text(cr, kMargin, 205, 22, true, "FROM");
  const char* sender[] = {"Velmar Supplies Ltd", "14 Harbour Road", "Unit 3B",
                          "Port Alder, PA 40312"};
  for (int i = 0; i < 4; ++i)
    text(cr, kMargin, 240 + i * 30, 24, false, sender[i]);
  rule(cr, 370, 3);

  text(cr, kMargin, 420, 26, true, "SHIP TO");
  const char* recipient[] = {"Dana Okafor", "221 Linden Avenue, Apt 5", "Fairmont Hills",
                             "NE 68102-4417"};
  for (int i = 0; i < 4; ++i)
    text(cr, kMargin, 475 + i * 50, 40, i == 0, recipient[i]);
  rule(cr, 700, 6);

  text(cr, kMargin, 750, 22, true, "TRACKING");
  if (!barcode(cr, tracking, 775, 260)) {
    std::fprintf(stderr, "sample_label: cannot encode \"%s\" as Code128\n", tracking.c_str());
    return 1;
  }
  centredText(cr, 1085, 36, tracking);
  rule(cr, 1120, 3);
  text(cr, kMargin, 1170, 22, false, "Printed silently by the Tovanel printing host");

  context.reset();
  if (pdf || svg)
    cairo_surface_finish(surface.get());  // a document is written as it is finished
  const cairo_status_t written = pdf || svg
                                     ? cairo_surface_status(surface.get())
                                     : cairo_surface_write_to_png(surface.get(), out.c_str());
  if (written != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "sample_label: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
