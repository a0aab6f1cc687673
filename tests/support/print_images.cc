#include "support/print_images.h"

#include <zlib.h>

#include <algorithm>
#include <string_view>

#include "support/cups_sandbox.h"
#include "support/temporary_folder.h"

namespace tovanel::testing {
namespace {

std::vector<uint8_t> encodePng(cairo_surface_t* surface) {
  std::vector<uint8_t> png;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(closure);
        bytes->insert(bytes->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  return png;
}

// A surface of that size and format, painted in one colour, and a context to draw on it.
std::pair<CairoSurface, CairoContext> canvas(cairo_format_t format, int width, int height,
                                             double red, double green, double blue) {
  CairoSurface surface(cairo_image_surface_create(format, width, height));
  CairoContext context(cairo_create(surface.get()));
  cairo_set_source_rgb(context.get(), red, green, blue);
  cairo_paint(context.get());
  return {std::move(surface), std::move(context)};
}

void appendBigEndian(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void appendChunk(std::vector<uint8_t>& png, std::string_view type,
                 const std::vector<uint8_t>& data) {
  appendBigEndian(png, static_cast<uint32_t>(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type.begin(), type.end());
  png.insert(png.end(), data.begin(), data.end());
  appendBigEndian(png, crc32(0, png.data() + start, static_cast<uInt>(png.size() - start)));
}

}  // namespace

std::vector<uint8_t> whitePng(int width, int height) {
  std::vector<uint8_t> header;
  appendBigEndian(header, width), appendBigEndian(header, height);
  header.insert(header.end(), {1, 0, 0, 0, 0});                 // 1-bit grey, no interlace
  const size_t row = 1 + (static_cast<size_t>(width) + 7) / 8;  // a filter byte, the bits
  std::vector<uint8_t> pixels(row * height, 0xff);
  for (size_t at = 0; at < pixels.size(); at += row)
    pixels[at] = 0;
  uLongf size = compressBound(pixels.size());
  std::vector<uint8_t> compressed(size);
  compress2(compressed.data(), &size, pixels.data(), pixels.size(), 9);
  compressed.resize(size);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", compressed);
  appendChunk(png, "IEND", {});
  return png;
}

std::vector<uint8_t> markerImagePng(int width, int height, bool alpha) {
  const auto [image, context] =
      canvas(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height, 0, 0, 1);
  const int side = std::min(width, height) / 5;
  cairo_set_source_rgb(context.get(), 1, 0, 0);
  cairo_rectangle(context.get(), 0, 0, side, side);
  cairo_fill(context.get());
  if (alpha) {  // one clear pixel, or cairo would write an opaque image as RGB
    cairo_set_operator(context.get(), CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(context.get(), 0, 0, 1, 1);
    cairo_fill(context.get());
  }
  return encodePng(image.get());
}

CairoSurface coloursOnly(cairo_surface_t* image) {
  auto [copy, context] = canvas(CAIRO_FORMAT_RGB24, cairo_image_surface_get_width(image),
                                cairo_image_surface_get_height(image), 1, 1, 1);
  cairo_set_source_surface(context.get(), image, 0, 0);
  cairo_paint(context.get());
  return std::move(copy);
}

std::vector<uint8_t> code128LabelPng(const std::string& text, int width, int height, int module,
                                     bool antialiased) {
  const TemporaryFolder folder;
  // Code128 (symbology 20), one pixel per module, bars 50 modules high, no text.
  const auto made = runShell("zint -b 20 --notext --scale=0.5 --height=50 --data='" + text +
                             "' -o '" + folder.file("barcode.png") + "' 2>&1");
  const CairoSurface barcode(
      cairo_image_surface_create_from_png(folder.file("barcode.png").c_str()));
  if (made.status != 0 || cairo_surface_status(barcode.get()) != CAIRO_STATUS_SUCCESS)
    return {};
  const auto [label, context] = canvas(CAIRO_FORMAT_RGB24, width, height, 1, 1, 1);
  if (!antialiased)
    cairo_set_antialias(context.get(), CAIRO_ANTIALIAS_NONE);
  cairo_set_source_rgb(context.get(), 0, 0, 0);
  cairo_set_line_width(context.get(), width / 100.0);
  cairo_rectangle(context.get(), width / 40.0, width / 40.0, width - width / 20.0,
                  height - width / 20.0);
  // A ring above the barcode, a logo: its edges are grey where the label is antialiased.
  cairo_new_sub_path(context.get());
  cairo_arc(context.get(), width / 5.0, height / 6.0, std::min(width, height) / 12.0, 0,
            6.283185307179586);
  cairo_stroke(context.get());
  cairo_translate(context.get(),
                  (width - cairo_image_surface_get_width(barcode.get()) * module) / 2.0,
                  height / 3.0);
  cairo_scale(context.get(), module, module * 2.0);
  cairo_set_source_surface(context.get(), barcode.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(context.get()), CAIRO_FILTER_NEAREST);
  cairo_paint(context.get());
  return encodePng(label.get());
}

}  // namespace tovanel::testing
