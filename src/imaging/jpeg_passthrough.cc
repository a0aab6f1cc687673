#include "imaging/jpeg_passthrough.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "imaging/fitted_drawing.h"
#include "imaging/glib_handles.h"
#include "imaging/jpeg_orientation.h"
#include "imaging/page_layout.h"
#include "imaging/pixbuf_conversion.h"

namespace tovanel {
namespace {

// libjpeg reduces by an eighth in its inverse transform, cheaply, after reading every byte.
constexpr int kPreviewReduction = 8;

// What a JPEG's headers say about how it is coded.
struct JpegHeaders {
  bool reachesEnd = false;  // the end-of-image marker follows the last scan
  uint8_t frameMarker = 0;  // the first start-of-frame marker, 0xc0 to 0xcf
  int frames = 0;           // start-of-frame segments seen
  int precision = 0;        // bits a sample
  int components = 0;
  int adobeTransform = -1;  // the Adobe segment's colour transform, when there is one
};

uint16_t bigEndian16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

bool isFrameMarker(uint8_t marker) {
  return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

// Walks the marker segments by their lengths, and each scan's entropy-coded data to the next
// real marker, as the decoder's own check does, noting the frame and Adobe segments on the way.
JpegHeaders readHeaders(std::span<const uint8_t> bytes) {
  JpegHeaders headers;
  size_t at = 2;  // past the start-of-image marker
  while (at + 1 < bytes.size()) {
    if (bytes[at] != 0xff)
      return headers;
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xd9) {
      headers.reachesEnd = true;
      return headers;
    }
    if (marker == 0xff || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
      at += marker == 0xff ? 1 : 2;
      continue;
    }
    if (at + 3 >= bytes.size())
      return headers;
    const size_t length = bigEndian16(bytes, at + 2);
    const auto segment =
        bytes.subspan(at + 4, std::min(length >= 2 ? length - 2 : 0, bytes.size() - at - 4));
    if (isFrameMarker(marker) && ++headers.frames == 1 && segment.size() >= 6) {
      headers.frameMarker = marker;
      headers.precision = segment[0];
      headers.components = segment[5];
    }
    if (marker == 0xee && segment.size() >= 12 &&
        std::equal(segment.begin(), segment.begin() + 5, "Adobe"))
      headers.adobeTransform = segment[11];
    at += 2 + length;
    if (marker != 0xda)
      continue;
    while (at + 1 < bytes.size() && !(bytes[at] == 0xff && bytes[at + 1] != 0 &&
                                      (bytes[at + 1] < 0xd0 || bytes[at + 1] > 0xd7)))
      ++at;
  }
  return headers;
}

// Baseline, extended or progressive Huffman coding of 8-bit grey or YCbCr samples: what a PDF
// reader decodes from the bytes as they are. Every camera writes these.
bool passesAsItIs(const JpegHeaders& headers) {
  return headers.frames == 1 && headers.frameMarker <= 0xc2 && headers.precision == 8 &&
         (headers.components == 1 || headers.components == 3) && headers.adobeTransform != 2;
}

struct ReducedLoad {
  const ImageLimits* limits;
  bool refused = false;
  int width = 0;  // the stored size, as the header gives it
  int height = 0;
};

// Refuses by the stored size, as the decoder does, before any pixel exists; then asks libjpeg
// for an eighth of it.
void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
  auto* load = static_cast<ReducedLoad*>(data);
  const ImageLimits& limits = *load->limits;
  if (width <= 0 || height <= 0 || width > limits.maxSide || height > limits.maxSide ||
      int64_t{width} * height > limits.maxPixels) {
    load->refused = true;
    gdk_pixbuf_loader_set_size(loader, 0, 0);
    return;
  }
  load->width = width;
  load->height = height;
  gdk_pixbuf_loader_set_size(loader, (width + kPreviewReduction - 1) / kPreviewReduction,
                             (height + kPreviewReduction - 1) / kPreviewReduction);
}

void releaseBytes(void* bytes) {
  delete static_cast<std::vector<uint8_t>*>(bytes);
}

}  // namespace

JpegPassthroughResult openPassthroughJpeg(std::span<const uint8_t> bytes,
                                          const ImageLimits& limits) {
  using Failure = JpegPassthroughFailure;
  if (imageLoaderFor(bytes) != "jpeg")
    return {nullptr, Failure::notJpeg};
  if (bytes.size() > limits.maxBytes)
    return {nullptr, Failure::tooLarge};
  const JpegHeaders headers = readHeaders(bytes);
  if (!headers.reachesEnd)
    return {nullptr, Failure::unreadable};
  if (!passesAsItIs(headers))
    return {nullptr, Failure::needsDecoding};

  const std::unique_ptr<GdkPixbufLoader, ObjectRelease> loader(
      gdk_pixbuf_loader_new_with_type("jpeg", nullptr));
  if (!loader)
    return {nullptr, Failure::needsDecoding};
  ReducedLoad load{&limits};
  g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &load);
  GError* error = nullptr;
  const bool written = gdk_pixbuf_loader_write(loader.get(), bytes.data(), bytes.size(), &error);
  std::unique_ptr<GError, ErrorRelease> writeError(error);
  error = nullptr;
  // A loader is always closed, also after a failed write.
  const bool closed = gdk_pixbuf_loader_close(loader.get(), &error);
  const std::unique_ptr<GError, ErrorRelease> closeError(error);
  if (load.refused)
    return {nullptr, Failure::tooLarge};
  GdkPixbuf* reduced = gdk_pixbuf_loader_get_pixbuf(loader.get());
  if (!written || !closed || !reduced || load.width == 0)
    return {nullptr, Failure::unreadable};

  const char* option = gdk_pixbuf_get_option(reduced, "orientation");
  const int orientation = option ? std::atoi(option) : 1;
  CairoSurface preview = surfaceFromPixbuf(reduced);
  if (!preview)
    return {nullptr, Failure::unreadable};
  // The preview stands in for the JPEG, whose bytes alone the PDF is to hold.
  cairo_surface_set_mime_data(preview.get(), CAIRO_MIME_TYPE_CCITT_FAX, nullptr, 0, nullptr,
                              nullptr);
  auto* kept = new std::vector<uint8_t>(bytes.begin(), bytes.end());
  if (cairo_surface_set_mime_data(preview.get(), CAIRO_MIME_TYPE_JPEG, kept->data(), kept->size(),
                                  releaseBytes, kept) != CAIRO_STATUS_SUCCESS) {
    delete kept;
    return {nullptr, Failure::unreadable};
  }
  return {std::unique_ptr<PassthroughJpeg>(
              new PassthroughJpeg(std::move(preview), load.width, load.height,
                                  orientation >= 1 && orientation <= 8 ? orientation : 1)),
          Failure::none};
}

PassthroughJpeg::PassthroughJpeg(CairoSurface preview, int width, int height, int orientation)
    : preview_(std::move(preview)),
      storedWidth_(width),
      storedHeight_(height),
      orientation_(orientation) {}

int PassthroughJpeg::width() const {
  return orientationSwapsSides(orientation_) ? storedHeight_ : storedWidth_;
}

int PassthroughJpeg::height() const {
  return orientationSwapsSides(orientation_) ? storedWidth_ : storedHeight_;
}

bool PassthroughJpeg::draw(cairo_t* context, const PaperSize& frame) const {
  cairo_save(context);
  const double scale = fitIntoFrame(context, frame, PaperSize{double(width()), double(height())});
  const cairo_matrix_t upright = uprightTransform(orientation_, storedWidth_, storedHeight_);
  cairo_transform(context, &upright);
  // cairo writes the JPEG over the preview's extent, so the preview is stretched to the
  // JPEG's own pixel grid.
  cairo_scale(context, double(storedWidth_) / cairo_image_surface_get_width(preview_.get()),
              double(storedHeight_) / cairo_image_surface_get_height(preview_.get()));
  cairo_set_source_surface(context, preview_.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(context),
                           smoothedAt(scale) ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_paint(context);
  cairo_restore(context);
  return cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

}  // namespace tovanel
