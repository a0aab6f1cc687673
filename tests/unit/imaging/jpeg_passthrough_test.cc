// Camera JPEGs sent on as their own bytes: turned upright by the page, checked as the decoder
// checks them, and printed looking as a decoded image prints.
#include "imaging/jpeg_passthrough.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/jpeg_orientation.h"
#include "platform/page_pdf.h"
#include "support/print_images.h"
#include "unit/imaging/document_pages.h"

namespace tovanel {
namespace {

using testing::Bytes;

struct ObjectRelease {
  void operator()(void* object) const { g_object_unref(object); }
};
using Pixbuf = std::unique_ptr<GdkPixbuf, ObjectRelease>;

// A photo as a camera stores it: colours that change across it, and a red corner top left.
Bytes photoJpeg(int width, int height) {
  const Pixbuf photo(gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, width, height));
  guchar* pixels = gdk_pixbuf_get_pixels(photo.get());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      guchar* pixel = pixels + y * gdk_pixbuf_get_rowstride(photo.get()) + 3 * x;
      const bool corner = x < width / 5 && y < height / 5;
      pixel[0] = corner ? 255 : guchar(255 * x / width);
      pixel[1] = corner ? 0 : guchar(255 * y / height);
      pixel[2] = corner ? 0 : guchar(128 + 127 * std::sin(x / 40.0));
    }
  gchar* buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(photo.get(), &buffer, &size, "jpeg", nullptr, "quality", "92", nullptr);
  const Bytes jpeg(buffer, buffer + size);
  g_free(buffer);
  return jpeg;
}

// The JPEG with an EXIF segment that gives this orientation, right after its first marker.
Bytes withOrientation(const Bytes& jpeg, int orientation) {
  // APP1 with a TIFF header and one entry, the orientation.
  const uint8_t exif[] = {0xff,
                          0xe1,
                          0,
                          34,
                          'E',
                          'x',
                          'i',
                          'f',
                          0,
                          0,
                          'I',
                          'I',
                          42,
                          0,
                          8,
                          0,
                          0,
                          0,
                          1,
                          0,
                          0x12,
                          0x01,
                          3,
                          0,
                          1,
                          0,
                          0,
                          0,
                          uint8_t(orientation),
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0};
  Bytes turned = jpeg;
  turned.insert(turned.begin() + 2, std::begin(exif), std::end(exif));
  return turned;
}

// The JPEG with its start-of-frame marker made `marker`, and its sample precision `bits`.
Bytes withFrame(Bytes jpeg, uint8_t marker, uint8_t bits) {
  for (size_t at = 0; at + 4 < jpeg.size(); ++at)
    if (jpeg[at] == 0xff && jpeg[at + 1] == 0xc0) {
      jpeg[at + 1] = marker;
      jpeg[at + 4] = bits;
      break;
    }
  return jpeg;
}

// Tests each orientation's transform against gdk-pixbuf's own turn of a picture whose pixels
// all differ: every stored pixel lands where the turned picture has it.
TEST(JpegOrientation, TurnsAsGdkPixbufTurns) {
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const Pixbuf stored(gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, 3, 2));
    for (int at = 0; at < 6; ++at)
      gdk_pixbuf_get_pixels(
          stored.get())[at % 3 * 3 + at / 3 * gdk_pixbuf_get_rowstride(stored.get())] =
          guchar(at + 1);
    gdk_pixbuf_set_option(stored.get(), "orientation", std::to_string(orientation).c_str());
    const Pixbuf upright(gdk_pixbuf_apply_embedded_orientation(stored.get()));
    const cairo_matrix_t matrix = uprightTransform(orientation, 3, 2);
    std::vector<int> expected, found;
    for (int at = 0; at < 6; ++at) {
      double x = at % 3 + 0.5, y = at / 3 + 0.5;
      cairo_matrix_transform_point(&matrix, &x, &y);
      expected.push_back(at + 1);
      found.push_back(gdk_pixbuf_get_pixels(
          upright.get())[int(x) * 3 + int(y) * gdk_pixbuf_get_rowstride(upright.get())]);
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(orientationSwapsSides(orientation), gdk_pixbuf_get_width(upright.get()) == 2);
  }
}

// What opening a JPEG for passing on gave: the failure, or the upright size and orientation.
struct Opened {
  JpegPassthroughFailure failure = JpegPassthroughFailure::none;
  int width = 0;
  int height = 0;
  int orientation = 0;

  friend bool operator==(const Opened&, const Opened&) = default;
};

Opened opened(const Bytes& bytes, const ImageLimits& limits = {}) {
  const auto result = openPassthroughJpeg(bytes, limits);
  return result.image ? Opened{result.failure, result.image->width(), result.image->height(),
                               result.image->orientation()}
                      : Opened{result.failure};
}

// Tests that camera JPEGs pass with their upright size, and that JPEGs a PDF reader would
// not show as the decoder does go to the decoder.
TEST(JpegPassthrough, CameraJpegsPassOthersGoToTheDecoder) {
  using Failure = JpegPassthroughFailure;
  const Bytes photo = photoJpeg(60, 40);
  const std::string cmyk = testing::readFile(TOVANEL_SOURCE_DIR "/tests/data/imaging/cmyk.jpg");
  struct Row {
    const char* name = "";
    Bytes bytes{};
    Opened expect{};
  };
  const Row rows[] = {
      {.name = "upright", .bytes = photo, .expect = {Failure::none, 60, 40, 1}},
      {.name = "a quarter turn",
       .bytes = withOrientation(photo, 6),
       .expect = {Failure::none, 40, 60, 6}},
      {.name = "mirrored",
       .bytes = withOrientation(photo, 2),
       .expect = {Failure::none, 60, 40, 2}},
      {.name = "an orientation that does not exist",
       .bytes = withOrientation(photo, 9),
       .expect = {Failure::none, 60, 40, 1}},
      {.name = "extended coding",
       .bytes = withFrame(photo, 0xc1, 8),
       .expect = {Failure::none, 60, 40, 1}},
      {.name = "CMYK",
       .bytes = Bytes(cmyk.begin(), cmyk.end()),
       .expect = {Failure::needsDecoding}},
      {.name = "12-bit", .bytes = withFrame(photo, 0xc0, 12), .expect = {Failure::needsDecoding}},
      {.name = "lossless", .bytes = withFrame(photo, 0xc3, 8), .expect = {Failure::needsDecoding}},
      {.name = "arithmetic coding",
       .bytes = withFrame(photo, 0xc9, 8),
       .expect = {Failure::needsDecoding}},
      {.name = "a PNG", .bytes = testing::markerImagePng(4, 4), .expect = {Failure::notJpeg}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(opened(row.bytes), row.expect);
  }
}

ImageDecodeFailure asDecoderSays(JpegPassthroughFailure failure) {
  switch (failure) {
    case JpegPassthroughFailure::none:
      return ImageDecodeFailure::none;
    case JpegPassthroughFailure::tooLarge:
      return ImageDecodeFailure::tooLarge;
    case JpegPassthroughFailure::unreadable:
      return ImageDecodeFailure::unreadable;
    default:
      return ImageDecodeFailure::unsupportedFormat;
  }
}

// Tests that a JPEG passes exactly when the decoder would print it: files cut anywhere, bytes
// broken in the headers and in the coded data, over the limits.
TEST(JpegPassthrough, RefusesWhatTheDecoderRefuses) {
  const Bytes photo = photoJpeg(300, 200);
  std::vector<std::pair<Bytes, ImageLimits>> cases = {{photo, {}},
                                                      {photo, {.maxBytes = photo.size() - 1}},
                                                      {photo, {.maxPixels = 59'999}},
                                                      {photo, {.maxSide = 299}}};
  for (const size_t at : {100, 300, 620, 2000, 5000})
    cases.push_back({Bytes(photo.begin(), photo.begin() + std::min(at, photo.size())), {}});
  cases.push_back({Bytes(photo.begin(), photo.end() - 2), {}});
  for (const size_t at : {20, 160, 180, 400, 700, 1500, 4000}) {
    Bytes broken = photo;
    broken[std::min(at, broken.size() - 3)] ^= 0x5a;
    cases.push_back({broken, {}});
  }
  std::vector<ImageDecodeFailure> passthrough, decoder;
  for (const auto& [bytes, limits] : cases) {
    passthrough.push_back(asDecoderSays(openPassthroughJpeg(bytes, limits).failure));
    decoder.push_back(decodeImageBytes(bytes, limits).failure);
  }
  EXPECT_EQ(passthrough, decoder);
  EXPECT_NE(std::count(decoder.begin(), decoder.end(), ImageDecodeFailure::unreadable), 0);
}

// Tests that the page looks as the decoded image's page does, upright and fitted the same
// way, and that it holds the JPEG's own bytes.
TEST(JpegPassthrough, PageLooksAsTheDecodedOnesAndHoldsTheBytes) {
  const PaperSize page{288, 432};
  for (const int orientation : {1, 6}) {
    SCOPED_TRACE(orientation);
    const Bytes jpeg = withOrientation(photoJpeg(1200, 900), orientation);
    Bytes today;
    writeImagePage(page, page, false, *decodeImageBytes(jpeg).image, [&today](auto bytes) {
      return today.insert(today.end(), bytes.begin(), bytes.end()), true;
    });
    const auto passed = openPassthroughJpeg(jpeg);
    ASSERT_TRUE(passed.image);
    const Bytes sent = testing::cairoPdf(
        {page}, [&](cairo_t* context, int) { passed.image->draw(context, page); });
    EXPECT_NE(std::search(sent.begin(), sent.end(), jpeg.begin(), jpeg.end()), sent.end());
    const auto before = testing::renderedPage(today, 100), after = testing::renderedPage(sent, 100);
    ASSERT_TRUE(before.width == 400 && after.width == 400 && before.height == after.height);
    // Sampling the turned JPEG at 100 dpi may move a sharp edge by a pixel, nothing more.
    long total = 0, moved = 0;
    for (size_t i = 0; i < before.rgb.size(); ++i) {
      const int difference = std::abs(int(before.rgb[i]) - int(after.rgb[i]));
      total += difference, moved += difference > 24;
    }
    EXPECT_LE(double(total) / before.rgb.size(), 1.0);
    EXPECT_LE(double(moved) / before.rgb.size(), 0.005);
  }
}

}  // namespace
}  // namespace tovanel
