#include "imaging/pixbuf_conversion.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/ccitt_g4.h"

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

void convertAlphaRow(const uint8_t* in, uint32_t* out, int width) {
  for (int x = 0; x < width; ++x) {
    const uint8_t* pixel = in + 4 * x;
    const uint32_t alpha = pixel[3];
    out[x] = 0xff000000u | onWhite(pixel[0], alpha) << 16 | onWhite(pixel[1], alpha) << 8 |
             onWhite(pixel[2], alpha);
  }
}

template <typename T>
void release(void* kept) {
  delete static_cast<T*>(kept);
}

// Attaches `bytes` to `surface` for cairo's PDF writer; false when cairo has no room.
template <typename T>
bool attach(cairo_surface_t* surface, const char* mimeType, T bytes) {
  auto* kept = new T(std::move(bytes));
  const auto* data = reinterpret_cast<const unsigned char*>(kept->data());
  if (cairo_surface_set_mime_data(surface, mimeType, data, kept->size(), release<T>, kept) ==
      CAIRO_STATUS_SUCCESS)
    return true;
  delete kept;
  return false;
}

// A pure black-and-white image goes into the page as its CCITT Group 4 form, which cairo
// writes as it is: the same 1-bit image cairo would make of the colours, without scanning,
// converting and deflating them on every page.
void attachOneBitForm(cairo_surface_t* surface) {
  const PixelRows rows{cairo_image_surface_get_data(surface),
                       cairo_image_surface_get_width(surface),
                       cairo_image_surface_get_height(surface),
                       static_cast<size_t>(cairo_image_surface_get_stride(surface))};
  auto encoded = encodeCcittG4(rows);
  if (!encoded)
    return;
  char parameters[96];
  std::snprintf(parameters, sizeof parameters, "Columns=%d Rows=%d K=-1", rows.width, rows.height);
  if (attach(surface, CAIRO_MIME_TYPE_CCITT_FAX_PARAMS, std::string(parameters)))
    attach(surface, CAIRO_MIME_TYPE_CCITT_FAX, std::move(*encoded));
}

}  // namespace

CairoSurface surfaceFromPixbuf(const GdkPixbuf* pixbuf) {
  if (!pixbuf || gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB ||
      gdk_pixbuf_get_bits_per_sample(pixbuf) != 8) {
    return nullptr;
  }
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (gdk_pixbuf_get_n_channels(pixbuf) != (alpha ? 4 : 3))
    return nullptr;
  const auto convertRow = alpha ? convertAlphaRow : convertOpaqueRow;

  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  // A surface that owns its pixels: when the image goes, cairo hands them to any snapshot
  // the page left on it instead of copying them all.
  CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return nullptr;
  cairo_surface_flush(surface.get());
  const uint8_t* in = gdk_pixbuf_read_pixels(pixbuf);
  const auto inStride = static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf));
  uint8_t* out = cairo_image_surface_get_data(surface.get());
  const auto outStride = static_cast<size_t>(cairo_image_surface_get_stride(surface.get()));
  for (int y = 0; y < height; ++y)
    convertRow(in + y * inStride, reinterpret_cast<uint32_t*>(out + y * outStride), width);
  cairo_surface_mark_dirty(surface.get());
  attachOneBitForm(surface.get());
  return surface;
}

}  // namespace tovanel
