// Test images made on the spot with cairo (and the zint tool for barcodes), so no
// binary file is shipped that could not be made again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovanel::testing {

// A width x height PNG, solid blue, with a red square in its top-left corner (a fifth of
// the shorter side), so that scaling, centring, rotation and mirroring all show on paper.
std::vector<uint8_t> markerImagePng(int width, int height);

// The same PNG re-encoded with an alpha channel (RGBA), its top-left pixel clear.
std::vector<uint8_t> withAlphaChannel(const std::vector<uint8_t>& png);

// A white width x height label with a Code128 barcode of `text` across it, each bar
// module `module` pixels wide, drawn crisp. Empty if zint fails.
std::vector<uint8_t> code128LabelPng(const std::string& text, int width, int height, int module);

// Rewrites the size in a PNG's header (and its checksum), leaving the pixel data as it
// was: a file that announces more pixels than it holds.
void setPngSize(std::vector<uint8_t>& png, uint32_t width, uint32_t height);

}  // namespace tovanel::testing
