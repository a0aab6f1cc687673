// Feeds arbitrary bytes to the image decoder behind "printDocument", with a pixel budget
// small enough that the fuzzer finds size refusals quickly.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/image_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  ImageLimits limits;
  limits.maxPixels = 4'000'000;
  limits.maxSide = 8192;
  const auto result = decodeImageBytes(std::span<const uint8_t>(data, size), limits);
  // An image comes back exactly when nothing failed, and never past the limits.
  if ((result.image != nullptr) != (result.failure == ImageDecodeFailure::none))
    __builtin_trap();
  if (result.image) {
    const int64_t width = result.image->width();
    const int64_t height = result.image->height();
    if (width <= 0 || height <= 0 || width > limits.maxSide || height > limits.maxSide ||
        width * height > limits.maxPixels)
      __builtin_trap();
  }
  return 0;
}
