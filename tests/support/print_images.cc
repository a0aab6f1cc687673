#include "support/print_images.h"

#include <cairo-pdf.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "support/cups_sandbox.h"
#include "support/temporary_folder.h"

namespace tovanel::testing {
namespace {

cairo_status_t append(void* bytes, const unsigned char* data, unsigned int length) {
  static_cast<Bytes*>(bytes)->insert(static_cast<Bytes*>(bytes)->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

Bytes encodePng(cairo_surface_t* surface) {
  Bytes png;
  cairo_surface_write_to_png_stream(surface, append, &png);
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

void appendBigEndian(Bytes& bytes, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void appendChunk(Bytes& png, std::string_view type, const Bytes& data) {
  appendBigEndian(png, static_cast<uint32_t>(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type.begin(), type.end());
  png.insert(png.end(), data.begin(), data.end());
  appendBigEndian(png, crc32(0, png.data() + start, static_cast<uInt>(png.size() - start)));
}

}  // namespace

Bytes whitePng(int width, int height) {
  Bytes header;
  appendBigEndian(header, width), appendBigEndian(header, height);
  header.insert(header.end(), {1, 0, 0, 0, 0});                 // 1-bit grey, no interlace
  const size_t row = 1 + (static_cast<size_t>(width) + 7) / 8;  // a filter byte, the bits
  Bytes pixels(row * height, 0xff);
  for (size_t at = 0; at < pixels.size(); at += row)
    pixels[at] = 0;
  uLongf size = compressBound(pixels.size());
  Bytes compressed(size);
  compress2(compressed.data(), &size, pixels.data(), pixels.size(), 9);
  compressed.resize(size);
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", compressed);
  appendChunk(png, "IEND", {});
  return png;
}

Bytes markerImagePng(int width, int height, bool alpha) {
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

Bytes code128LabelPng(const std::string& text, int width, int height, int module,
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

Bytes cairoPdf(const std::vector<PaperSize>& pages,
               const std::function<void(cairo_t*, int)>& draw) {
  Bytes pdf;
  CairoSurface surface(cairo_pdf_surface_create_for_stream(append, &pdf, 1, 1));
  for (size_t index = 0; index < pages.size(); ++index) {
    cairo_pdf_surface_set_size(surface.get(), pages[index].width, pages[index].height);
    const CairoContext context(cairo_create(surface.get()));
    draw(context.get(), static_cast<int>(index));
    cairo_show_page(context.get());
  }
  cairo_surface_finish(surface.get());
  return pdf;
}

Bytes shellMade(const std::string& command,
                const std::vector<std::pair<std::string, Bytes>>& files) {
  const TemporaryFolder folder;
  for (const auto& [name, bytes] : files)
    folder.write(name, bytes);
  runShell("cd '" + folder.path() + "' && " + command + " >/dev/null 2>&1");
  const std::string made = readFile(folder.file("out"));
  return {made.begin(), made.end()};
}

Raster renderPdf(const std::string& path, int dpi, bool grey) {
  const TemporaryFolder folder;
  runShell("pdftoppm -singlefile -r " + std::to_string(dpi) + (grey ? " -gray '" : " '") + path +
           "' " + folder.file("page") + " 2>&1");
  // A binary PGM or PPM: "P5" or "P6", width, height, 255, one whitespace, then the pixels.
  const std::string image = readFile(folder.file(grey ? "page.pgm" : "page.ppm"));
  Raster raster{.channels = grey ? 1 : 3};
  int start = 0;
  std::sscanf(image.c_str(), grey ? "P5 %d %d 255%n" : "P6 %d %d 255%n", &raster.width,
              &raster.height, &start);
  const size_t size = static_cast<size_t>(raster.width) * raster.height * raster.channels;
  if (start > 0 && image.size() == start + 1 + size)
    raster.pixels.assign(image.begin() + start + 1, image.end());
  return raster;
}

Raster renderPdf(const Bytes& pdf, int dpi, bool grey) {
  const TemporaryFolder folder;
  return renderPdf(folder.write("page.pdf", pdf), dpi, grey);
}

std::array<int, 4> inkBox(const Raster& page) {
  std::array<int, 4> box{page.width, page.height, 0, 0};
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x)
      if (!page.pixels.empty() && *page.at(x, y) < 128)
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1),
               std::max(box[3], y + 1)};
  return box;
}

}  // namespace tovanel::testing
