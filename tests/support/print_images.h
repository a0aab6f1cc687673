// Test images and documents made on the spot with cairo, zint and Debian's converters, so no
// binary file is shipped; and pages read back with pdftoppm.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/units.h"
#include "imaging/cairo_image.h"

namespace tovanel::testing {

using Bytes = std::vector<uint8_t>;

// A blue PNG with a red top-left square a fifth of its shorter side: turns show on paper.
// With `alpha`, an RGBA PNG whose top-left pixel is clear.
Bytes markerImagePng(int width, int height, bool alpha = false);

// A white label: a frame, a ring, and a crisp Code128 barcode of `text`, `module` pixels a
// bar module. Pure black and white, as label software draws for thermal printers, unless
// `antialiased` (the ring's edges grey, as on a screen).
Bytes code128LabelPng(const std::string& text, int width, int height, int module,
                      bool antialiased = false);

// A white 1-bit PNG: a few kilobytes however many pixels it claims.
Bytes whitePng(int width, int height);

// A copy of an image surface's pixels with nothing attached (no 1-bit form): a page drawn
// from it is drawn from the colours.
CairoSurface coloursOnly(cairo_surface_t* image);

// A PDF that cairo writes: a page of each size, each drawn by `draw(context, index)`.
Bytes cairoPdf(const std::vector<PaperSize>& pages, const std::function<void(cairo_t*, int)>& draw);

// The file "out" that a shell command leaves, run in a fresh folder holding `files` by name.
Bytes shellMade(const std::string& command,
                const std::vector<std::pair<std::string, Bytes>>& files);

// The first page of a PDF as pdftoppm draws it, in RGB or grey; no pixels when it cannot.
struct Raster {
  int width = 0, height = 0, channels = 3;
  Bytes pixels{};
  const uint8_t* at(int x, int y) const {
    return &pixels[(static_cast<size_t>(y) * width + x) * channels];
  }
};
Raster renderPdf(const std::string& path, int dpi, bool grey = false);
Raster renderPdf(const Bytes& pdf, int dpi, bool grey = false);
// Left, top, right and bottom (one past) of where the page is darker than mid grey (in red).
std::array<int, 4> inkBox(const Raster& page);

}  // namespace tovanel::testing
