// The benchmarks' shipping label: the tests' Code128 label with lines of text over it.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/print_images.h"
#include "support/temporary_folder.h"

namespace tovanel::bench {

// A label as label software draws it for a thermal printer, pure black and white: address
// lines of glyph-like strokes and rings (no fonts, so nothing depends on what is
// installed), a rule, and the barcode below.
inline std::vector<uint8_t> shippingLabelPng(int width, int height, int module) {
  const testing::TemporaryFolder folder;
  const std::string path =
      folder.write("label.png", testing::code128LabelPng("TOVANEL-4711", width, height, module));
  cairo_surface_t* label = cairo_image_surface_create_from_png(path.c_str());
  cairo_t* context = cairo_create(label);
  cairo_set_antialias(context, CAIRO_ANTIALIAS_NONE);
  cairo_set_source_rgb(context, 0, 0, 0);
  const double glyph = height / 40.0;
  cairo_set_line_width(context, glyph / 6);
  for (int line = 0; line < 4; ++line) {
    const double baseline = height / 12.0 + line * height / 22.0;
    for (int character = 0; character < 18 - 3 * line; ++character) {
      const double x = width / 3.0 + character * glyph * 0.9;
      if (character % 3 == 0) {
        cairo_new_sub_path(context);
        cairo_arc(context, x + glyph * 0.35, baseline - glyph * 0.4, glyph * 0.3, 0,
                  6.283185307179586);
      } else {
        cairo_move_to(context, x, baseline);
        cairo_line_to(context, x + glyph * 0.35, baseline - glyph);
        cairo_line_to(context, x + glyph * 0.7, baseline);
      }
    }
    cairo_stroke(context);
  }
  cairo_set_line_width(context, width / 100.0);
  cairo_move_to(context, width / 40.0, height / 3.6);
  cairo_line_to(context, width - width / 40.0, height / 3.6);
  cairo_stroke(context);
  cairo_destroy(context);
  cairo_surface_write_to_png(label, path.c_str());
  cairo_surface_destroy(label);
  const std::string bytes = testing::readFile(path);
  return {bytes.begin(), bytes.end()};
}

}  // namespace tovanel::bench
