#include "platform/pixbuf_conversion.h"

#include <cstdint>

namespace tovanel {
namespace {

// The channel laid on white with this alpha, channel × alpha ÷ 255 + (255 − alpha),
// rounded to nearest without a division: exact for all 8-bit values. Straight arithmetic
// with no branch, so the row loops vectorise.
inline uint32_t onWhite(uint32_t channel, uint32_t alpha) {
  const uint32_t product = channel * alpha + 128;
  return ((product + (product >> 8)) >> 8) + 255 - alpha;
}

void convertOpaqueRow(const uint8_t* in, uint32_t* out, int width) {
  for (int x = 0; x < width; ++x) {
    const uint8_t* pixel = in + 3 * x;
    out[x] = 0xff000000u | uint32_t{pixel[0]} << 16 | uint32_t{pixel[1]} << 8 | pixel[2];
  }
}

// Also correct in place (`in` and `out` the same row): each pixel is read whole before
// its own four bytes are written.
void convertAlphaRow(const uint8_t* in, uint32_t* out, int width) {
  for (int x = 0; x < width; ++x) {
    const uint8_t* pixel = in + 4 * x;
    const uint32_t red = pixel[0], green = pixel[1], blue = pixel[2], alpha = pixel[3];
    out[x] =
        0xff000000u | onWhite(red, alpha) << 16 | onWhite(green, alpha) << 8 | onWhite(blue, alpha);
  }
}

const cairo_user_data_key_t kPixbufKey{};

// Converts every row of `pixbuf` into a new surface.
CairoSurface copyIntoNewSurface(GdkPixbuf* pixbuf,
                                void (*convertRow)(const uint8_t*, uint32_t*, int)) {
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return nullptr;
  cairo_surface_flush(surface.get());
  const uint8_t* in = gdk_pixbuf_read_pixels(pixbuf);
  const auto inStride = static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf));
  uint8_t* out = cairo_image_surface_get_data(surface.get());
  const auto outStride = static_cast<size_t>(cairo_image_surface_get_stride(surface.get()));
  for (int y = 0; y < height; ++y) {
    convertRow(in + y * inStride, reinterpret_cast<uint32_t*>(out + y * outStride), width);
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

// Converts the pixbuf's own rows into cairo's layout and wraps them, so an image with
// alpha costs one buffer, not two.
CairoSurface convertInPlace(PixbufHandle pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf.get());
  const int height = gdk_pixbuf_get_height(pixbuf.get());
  const int stride = gdk_pixbuf_get_rowstride(pixbuf.get());
  uint8_t* pixels = gdk_pixbuf_get_pixels(pixbuf.get());
  for (int y = 0; y < height; ++y) {
    uint8_t* row = pixels + static_cast<size_t>(y) * stride;
    convertAlphaRow(row, reinterpret_cast<uint32_t*>(row), width);
  }
  CairoSurface surface(
      cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_RGB24, width, height, stride));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return nullptr;
  if (cairo_surface_set_user_data(surface.get(), &kPixbufKey, pixbuf.get(), g_object_unref) !=
      CAIRO_STATUS_SUCCESS) {
    return nullptr;
  }
  pixbuf.release();  // the surface owns it now
  return surface;
}

}  // namespace

CairoSurface surfaceFromPixbuf(PixbufHandle pixbuf) {
  if (!pixbuf || gdk_pixbuf_get_colorspace(pixbuf.get()) != GDK_COLORSPACE_RGB ||
      gdk_pixbuf_get_bits_per_sample(pixbuf.get()) != 8) {
    return nullptr;
  }
  const int width = gdk_pixbuf_get_width(pixbuf.get());
  const int channels = gdk_pixbuf_get_n_channels(pixbuf.get());
  const bool hasAlpha = gdk_pixbuf_get_has_alpha(pixbuf.get());
  if (!hasAlpha && channels == 3)
    return copyIntoNewSurface(pixbuf.get(), convertOpaqueRow);
  if (!hasAlpha || channels != 4)
    return nullptr;
  if (gdk_pixbuf_get_rowstride(pixbuf.get()) ==
      cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width)) {
    return convertInPlace(std::move(pixbuf));
  }
  return copyIntoNewSurface(pixbuf.get(), convertAlphaRow);
}

}  // namespace tovanel
