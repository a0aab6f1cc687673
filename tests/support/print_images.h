// Test images made on the spot with cairo and zint, so no binary file is shipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovanel::testing {

// A blue PNG with a red top-left square a fifth of its shorter side: turns show on paper.
std::vector<uint8_t> markerImagePng(int width, int height);

// The same PNG re-encoded with an alpha channel (RGBA), its top-left pixel clear.
std::vector<uint8_t> withAlphaChannel(const std::vector<uint8_t>& png);

// A white label: a frame, text-like strokes, and a crisp Code128 barcode of `text`,
// `module` pixels a bar module.
std::vector<uint8_t> code128LabelPng(const std::string& text, int width, int height, int module);

// Rewrites the size in a PNG's header, so that it announces pixels it does not hold.
void setPngSize(std::vector<uint8_t>& png, uint32_t width, uint32_t height);

}  // namespace tovanel::testing
