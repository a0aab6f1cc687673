// Test images made on the spot with cairo and zint, so no binary file is shipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/cairo_image.h"

namespace tovanel::testing {

// A blue PNG with a red top-left square a fifth of its shorter side: turns show on paper.
// With `alpha`, an RGBA PNG whose top-left pixel is clear.
std::vector<uint8_t> markerImagePng(int width, int height, bool alpha = false);

// A white label: a frame, a ring, and a crisp Code128 barcode of `text`, `module` pixels a
// bar module. Pure black and white, as label software draws for thermal printers, unless
// `antialiased` (the ring's edges grey, as on a screen).
std::vector<uint8_t> code128LabelPng(const std::string& text, int width, int height, int module,
                                     bool antialiased = false);

// A white 1-bit PNG: a few kilobytes however many pixels it claims.
std::vector<uint8_t> whitePng(int width, int height);

// A copy of an image surface's pixels with nothing attached (no 1-bit form): a page drawn
// from it is drawn from the colours.
CairoSurface coloursOnly(cairo_surface_t* image);

}  // namespace tovanel::testing
