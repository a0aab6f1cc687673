// Black-and-white images as CCITT Group 4 (ITU-T T.6) data, the 1-bit form a PDF image
// can carry as it is: a shipping label's page then holds a twenty-fourth of its colour
// data, and nothing is deflated or analysed to write it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tovanel {

// The rows of an image, one 32-bit pixel each (cairo's RGB24: 0x00RRGGBB in the low 24
// bits), `stride` bytes apart.
struct PixelRows {
  const uint8_t* pixels;
  int width;
  int height;
  size_t stride;
};

// The image encoded as T.6 with its end-of-block, black as 1 runs of the code (a reader
// decodes them to 0, black, unless told BlackIs1), when every pixel is exactly black
// (0x000000) or exactly white (0xffffff). Nothing for any other image.
std::optional<std::vector<uint8_t>> encodeCcittG4(const PixelRows& image);

}  // namespace tovanel
