// The image decoder behind "printDocument" on any bytes, with a pixel budget small enough that
// size refusals come quickly: an image comes back exactly when nothing failed, within limits.
#include "imaging/image_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const ImageLimits limits{.maxPixels = 4'000'000, .maxSide = 8192};
  const auto result = decodeImageBytes(std::span<const uint8_t>(data, size), limits);
  const int64_t width = result.image ? result.image->width() : 1,
                height = result.image ? result.image->height() : 1;
  if ((result.image != nullptr) != (result.failure == ImageDecodeFailure::none) || width <= 0 ||
      height <= 0 || width > limits.maxSide || height > limits.maxSide ||
      width * height > limits.maxPixels)
    __builtin_trap();
  return 0;
}
