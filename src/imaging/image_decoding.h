// Decoding encoded image bytes, safely: only formats whose loaders were tested to honour
// the size guard, a cap on the input, and a pixel budget enforced before any pixel is
// allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "imaging/cairo_image.h"

namespace tovanel {

struct ImageLimits {
  size_t maxBytes = size_t{64} << 20;  // as large as a channel message may be
  int64_t maxPixels = 100'000'000;     // 400 MB once decoded; far above any label
  int maxSide = 32767;                 // the largest image cairo draws
};

enum class ImageDecodeFailure {
  none,
  unsupportedFormat,  // empty, or not PNG, JPEG, GIF, BMP, TIFF, WebP or HEIF
  tooLarge,           // over a limit: refused before the pixels were allocated
  unreadable,         // the loader failed: corrupt or truncated data
};

struct ImageDecodeResult {
  std::unique_ptr<CairoImage> image;  // set exactly when failure is none
  ImageDecodeFailure failure = ImageDecodeFailure::none;
};

// The gdk-pixbuf loader that reads bytes with this signature ("png", "jpeg", "gif",
// "bmp", "tiff", "webp", "heif/avif"), or an empty view when none of those may.
std::string_view imageLoaderFor(std::span<const uint8_t> bytes);

// Decodes the bytes into a cairo image surface, turned upright as the image's embedded
// (EXIF) orientation says. A file that announces more pixels than the limits allow fails
// as tooLarge as soon as its header has been read.
ImageDecodeResult decodeImageBytes(std::span<const uint8_t> bytes, const ImageLimits& limits = {});

}  // namespace tovanel
