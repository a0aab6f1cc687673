#include "support/print_images.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "support/cups_sandbox.h"

namespace tovanel::testing {
namespace {

struct SurfaceRelease {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextRelease {
  void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;
using Context = std::unique_ptr<cairo_t, ContextRelease>;

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::vector<uint8_t>*>(closure)->insert(
      static_cast<std::vector<uint8_t>*>(closure)->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<uint8_t> encodePng(cairo_surface_t* surface) {
  std::vector<uint8_t> png;
  cairo_surface_write_to_png_stream(surface, appendBytes, &png);
  return png;
}

std::vector<uint8_t> markerImagePng(int width, int height) {
  const Surface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  const Context context(cairo_create(image.get()));
  cairo_set_source_rgb(context.get(), 0, 0, 1);
  cairo_paint(context.get());
  const int side = std::min(width, height) / 5;
  cairo_set_source_rgb(context.get(), 1, 0, 0);
  cairo_rectangle(context.get(), 0, 0, side, side);
  cairo_fill(context.get());
  return encodePng(image.get());
}

std::vector<uint8_t> code128LabelPng(const std::string& text, int width, int height, int module) {
  char folder[] = "/tmp/tovanel-barcode.XXXXXX";
  if (!mkdtemp(folder))
    return {};
  const std::string barcodeFile = std::string(folder) + "/barcode.png";
  // Code128 (symbology 20), one pixel per module, bars 50 modules high, no text.
  const auto made = runShell("zint -b 20 --notext --scale=0.5 --height=50 --data='" + text +
                             "' -o '" + barcodeFile + "' 2>&1");
  const Surface barcode(cairo_image_surface_create_from_png(barcodeFile.c_str()));
  std::filesystem::remove_all(folder);
  if (made.status != 0 || cairo_surface_status(barcode.get()) != CAIRO_STATUS_SUCCESS)
    return {};

  const Surface label(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  const Context context(cairo_create(label.get()));
  cairo_set_source_rgb(context.get(), 1, 1, 1);
  cairo_paint(context.get());
  cairo_set_source_rgb(context.get(), 0, 0, 0);
  cairo_set_line_width(context.get(), width / 100.0);
  cairo_rectangle(context.get(), width / 40.0, width / 40.0, width - width / 20.0,
                  height - width / 20.0);
  cairo_stroke(context.get());

  // Four lines of glyph-like strokes and rings, antialiased as a label designer draws text
  // (no fonts, so nothing depends on what is installed).
  const double glyph = height / 40.0;
  cairo_set_line_width(context.get(), glyph / 6);
  for (int line = 0; line < 4; ++line) {
    const double baseline = height / 12.0 + line * height / 22.0;
    for (int character = 0; character < 22 - 3 * line; ++character) {
      const double x = width / 15.0 + character * glyph * 0.9;
      if (character % 3 == 0) {
        cairo_new_sub_path(context.get());
        cairo_arc(context.get(), x + glyph * 0.35, baseline - glyph * 0.4, glyph * 0.3, 0,
                  6.283185307179586);
      } else {
        cairo_move_to(context.get(), x, baseline);
        cairo_line_to(context.get(), x + glyph * 0.35, baseline - glyph);
        cairo_line_to(context.get(), x + glyph * 0.7, baseline);
      }
    }
    cairo_stroke(context.get());
  }
  cairo_move_to(context.get(), width / 40.0, height / 3.6);
  cairo_line_to(context.get(), width - width / 40.0, height / 3.6);
  cairo_stroke(context.get());

  const int barcodeWidth = cairo_image_surface_get_width(barcode.get());
  const double x = (width - barcodeWidth * module) / 2.0;
  const double y = height / 3.0;
  cairo_save(context.get());
  cairo_translate(context.get(), x, y);
  cairo_scale(context.get(), module, module * 2.0);
  cairo_set_source_surface(context.get(), barcode.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(context.get()), CAIRO_FILTER_NEAREST);
  cairo_paint(context.get());
  cairo_restore(context.get());
  return encodePng(label.get());
}

std::vector<uint8_t> withAlphaChannel(const std::vector<uint8_t>& png) {
  struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t at = 0;
  } reader{&png};
  const auto read = [](void* closure, unsigned char* data, unsigned int length) {
    auto* from = static_cast<Reader*>(closure);
    if (from->bytes->size() - from->at < length)
      return CAIRO_STATUS_READ_ERROR;
    std::copy_n(from->bytes->begin() + static_cast<long>(from->at), length, data);
    from->at += length;
    return CAIRO_STATUS_SUCCESS;
  };
  const Surface opaque(cairo_image_surface_create_from_png_stream(read, &reader));
  const Surface withAlpha(cairo_image_surface_create(CAIRO_FORMAT_ARGB32,
                                                     cairo_image_surface_get_width(opaque.get()),
                                                     cairo_image_surface_get_height(opaque.get())));
  const Context context(cairo_create(withAlpha.get()));
  cairo_set_source_surface(context.get(), opaque.get(), 0, 0);
  cairo_paint(context.get());
  // One clear pixel, or cairo would write an opaque image as RGB.
  cairo_set_operator(context.get(), CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(context.get(), 0, 0, 1, 1);
  cairo_fill(context.get());
  return encodePng(withAlpha.get());
}

uint32_t crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xffffffffu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void setPngSize(std::vector<uint8_t>& png, uint32_t width, uint32_t height) {
  // Signature (8), IHDR length (4), "IHDR" (4), width (4), height (4), ... , CRC at 29.
  const auto putBigEndian = [&png](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
      png[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
  };
  putBigEndian(16, width);
  putBigEndian(20, height);
  putBigEndian(29, crc32(png.data() + 12, 17));
}

}  // namespace tovanel::testing
