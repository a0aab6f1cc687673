// Test images made on the spot with cairo (and the zint tool for barcodes), so no
// binary file is shipped that could not be made again.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tovanel::testing {

// The surface encoded as PNG (RGB for RGB24 surfaces, RGBA for ARGB32).
std::vector<uint8_t> encodePng(cairo_surface_t* surface);

// A width x height image, solid blue, with a red square in its top-left corner (a fifth of
// the shorter side), so that scaling, centring, rotation and mirroring all show on paper.
std::vector<uint8_t> markerImagePng(int width, int height);

// A white width x height shipping label: a black frame, lines of antialiased glyph-like
// strokes, and a Code128 barcode of `text` across it, each bar module `module` pixels
// wide, drawn crisp. Empty if zint fails.
std::vector<uint8_t> code128LabelPng(const std::string& text, int width, int height, int module);

// The same PNG re-encoded with an alpha channel (RGBA), its top-left pixel clear.
std::vector<uint8_t> withAlphaChannel(const std::vector<uint8_t>& png);

// Rewrites the size in a PNG's header (and the header's checksum), leaving the pixel data
// as it was: a file that announces more pixels than it holds.
void setPngSize(std::vector<uint8_t>& png, uint32_t width, uint32_t height);

// The CRC-32 of PNG chunks and zlib.
uint32_t crc32(const uint8_t* data, size_t size);

}  // namespace tovanel::testing
