// Pages of documents and camera photos: a 24 MP camera JPEG on an A4 page decoded and drawn
// as pixels (as today) against sent on as its own bytes, with the PDF's size against the
// JPEG's and the peak memory of each; and a vector label as PDF and as SVG, opened and drawn,
// beside the PNG label decoded and drawn.
//
// Run: build/bench/document_pages_bench (no CUPS server needed: the pages go to memory).
#include <benchmark/benchmark.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "imaging/image_decoding.h"
#include "imaging/jpeg_passthrough.h"
#include "imaging/page_pdf.h"
#include "imaging/pdf_document.h"
#include "imaging/svg_document.h"
#include "shipping_label.h"
#include "unit/imaging/document_pages.h"

namespace tovanel {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr PaperSize kA4{595.2755905511812, 841.8897637795276};
constexpr PaperSize kLabel{288, 432};

// A 6000 x 4000 photo as a camera saves it at quality 92: colours that change across it and
// grain, so that it compresses as a photo does (some 7 MB).
const Bytes& cameraJpeg() {
  static const Bytes jpeg = [] {
    constexpr int width = 6000, height = 4000;
    GdkPixbuf* photo = gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, width, height);
    guchar* pixels = gdk_pixbuf_get_pixels(photo);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        guchar* pixel = pixels + size_t(y) * gdk_pixbuf_get_rowstride(photo) + 3 * x;
        const int base[3] = {255 * x / width, 255 * y / height, 128 + (x / 50 + y / 70) % 64};
        for (int channel = 0; channel < 3; ++channel) {
          noise = noise * 1664525 + 1013904223;
          pixel[channel] = guchar(std::clamp(base[channel] + int(noise >> 28) - 8, 0, 255));
        }
      }
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(photo, &buffer, &size, "jpeg", nullptr, "quality", "92", nullptr);
    g_object_unref(photo);
    Bytes bytes(buffer, buffer + size);
    g_free(buffer);
    return bytes;
  }();
  return jpeg;
}

// Writes a one-page PDF of `page` drawn by `draw`, counting its bytes.
size_t pagePdfBytes(const PaperSize& page, const std::function<bool(cairo_t*)>& draw) {
  size_t bytes = 0;
  CairoSurface pdf(cairo_pdf_surface_create_for_stream(
      [](void* closure, const unsigned char*, unsigned int length) {
        *static_cast<size_t*>(closure) += length;
        return CAIRO_STATUS_SUCCESS;
      },
      &bytes, page.width, page.height));
  {
    CairoContext context(cairo_create(pdf.get()));
    draw(context.get());
    cairo_show_page(context.get());
  }
  cairo_surface_finish(pdf.get());
  return bytes;
}

size_t todaysJpegPage(const Bytes& jpeg) {
  auto decoded = decodeImageBytes(jpeg);
  size_t bytes = 0;
  if (decoded.image)
    writePages({.sheet = kA4, .frame = kA4}, RasterPage(std::move(decoded.image)),
               [&bytes](auto written) { return bytes += written.size(), true; });
  return bytes;
}

size_t passthroughJpegPage(const Bytes& jpeg) {
  const auto opened = openPassthroughJpeg(jpeg);
  return opened.image
             ? pagePdfBytes(kA4, [&](cairo_t* context) { return opened.image->draw(context, kA4); })
             : 0;
}

long procStatusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with(field + ":"))
      return std::stol(line.substr(field.size() + 1));
  return -1;
}

// Argument 0: decoded and drawn as pixels, as today; 1: sent on as its own bytes.
void CameraJpegOnA4(benchmark::State& state) {
  const Bytes& jpeg = cameraJpeg();
  const auto page = state.range(0) == 0 ? todaysJpegPage : passthroughJpegPage;
  size_t bytes = 0;
  for (auto _ : state)
    bytes = page(jpeg);
  state.counters["jpeg_MB"] = jpeg.size() / 1e6;
  state.counters["pdf_MB"] = bytes / 1e6;
  state.counters["pdf_over_jpeg"] = double(bytes) / jpeg.size();
}

// The growth of the process's peak memory while one page is made, against the JPEG's size.
void CameraJpegOnA4PeakMemory(benchmark::State& state) {
  const Bytes& jpeg = cameraJpeg();
  for (auto _ : state) {
    malloc_trim(0);  // what earlier runs freed goes back, so that a page cannot reuse it unseen
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
    const long baseline = procStatusKilobytes("VmRSS");
    benchmark::DoNotOptimize(state.range(0) == 0 ? todaysJpegPage(jpeg)
                                                 : passthroughJpegPage(jpeg));
    state.counters["peak_growth_MB"] = (procStatusKilobytes("VmHWM") - baseline) * 1024 / 1e6;
  }
}

// The vector label: lines of text and a barcode of bars, as a carrier's software writes it.
const Bytes& labelPdf() {
  static const Bytes pdf = testing::cairoPdf({kLabel}, [](cairo_t* context, int) {
    cairo_select_font_face(context, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(context, 12);
    for (int line = 0; line < 8; ++line) {
      cairo_move_to(context, 20, 30 + 16 * line);
      cairo_show_text(context, "TOVANEL SHIPPING 4711 - 1 MAIN STREET");
    }
    for (int bar = 0; bar < 60; ++bar)
      cairo_rectangle(context, 24 + bar * 4, 200, 1 + bar % 3, 120);
    cairo_fill(context);
  });
  return pdf;
}

const Bytes& labelSvg() {
  static const Bytes svg = [] {
    std::string text =
        "<svg xmlns='http://www.w3.org/2000/svg' width='4in' height='6in' "
        "viewBox='0 0 288 432' font-family='DejaVu Sans' font-size='12'>";
    for (int line = 0; line < 8; ++line)
      text += "<text x='20' y='" + std::to_string(30 + 16 * line) +
              "'>TOVANEL SHIPPING 4711 - 1 MAIN STREET</text>";
    for (int bar = 0; bar < 60; ++bar)
      text += "<rect x='" + std::to_string(24 + bar * 4) + "' y='200' width='" +
              std::to_string(1 + bar % 3) + "' height='120'/>";
    text += "</svg>";
    return Bytes(text.begin(), text.end());
  }();
  return svg;
}

void PdfLabelOpenAndDraw(benchmark::State& state) {
  for (auto _ : state) {
    const auto opened = openPdfDocument(labelPdf());
    benchmark::DoNotOptimize(pagePdfBytes(
        kLabel, [&](cairo_t* context) { return opened.document->drawPage(0, context, kLabel); }));
  }
}

void SvgLabelOpenAndDraw(benchmark::State& state) {
  for (auto _ : state) {
    const auto opened = openSvgDocument(labelSvg());
    benchmark::DoNotOptimize(pagePdfBytes(
        kLabel, [&](cairo_t* context) { return opened.document->draw(context, kLabel); }));
  }
}

// The PNG label of the other benchmarks (1218 x 1812), decoded and drawn as today.
void PngLabelDecodeAndDraw(benchmark::State& state) {
  static const Bytes png = bench::shippingLabelPng(1218, 1812, 4);
  for (auto _ : state) {
    auto decoded = decodeImageBytes(png);
    writePages({.sheet = kLabel, .frame = kLabel}, RasterPage(std::move(decoded.image)),
               [](auto) { return true; });
  }
}

BENCHMARK(CameraJpegOnA4)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(CameraJpegOnA4PeakMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(PdfLabelOpenAndDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(SvgLabelOpenAndDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(PngLabelDecodeAndDraw)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovanel

BENCHMARK_MAIN();
