// The benchmarks' shipping label: the tests' Code128 label with lines of text over it, as
// an RGB PNG and as the RGBA PNG that Flutter exports.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/cairo_image.h"
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
  const CairoSurface label(cairo_image_surface_create_from_png(path.c_str()));
  const CairoContext owned(cairo_create(label.get()));
  cairo_t* context = owned.get();
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
  cairo_surface_write_to_png(label.get(), path.c_str());
  const std::string bytes = testing::readFile(path);
  return {bytes.begin(), bytes.end()};
}

// The same PNG as Flutter exports it: RGBA, its top-left pixel clear (or cairo would write
// an opaque image as RGB).
inline std::vector<uint8_t> withAlphaChannel(const std::vector<uint8_t>& png) {
  const testing::TemporaryFolder folder;
  const std::string path = folder.write("label.png", png);
  const CairoSurface opaque(cairo_image_surface_create_from_png(path.c_str()));
  const CairoSurface image(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(opaque.get()),
                                 cairo_image_surface_get_height(opaque.get())));
  {
    const CairoContext context(cairo_create(image.get()));
    cairo_set_source_surface(context.get(), opaque.get(), 0, 0);
    cairo_paint(context.get());
    cairo_set_operator(context.get(), CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(context.get(), 0, 0, 1, 1);
    cairo_fill(context.get());
  }  // drawing is flushed before the surface is written
  cairo_surface_write_to_png(image.get(), path.c_str());
  const std::string bytes = testing::readFile(path);
  return {bytes.begin(), bytes.end()};
}

}  // namespace tovanel::bench
