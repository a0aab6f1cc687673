// Camera JPEGs sent on as their own bytes: turned upright by the page, checked as the decoder
// checks them, and printed looking as a decoded image prints.
#include "imaging/jpeg_passthrough.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/jpeg_orientation.h"
#include "imaging/page_pdf.h"
#include "support/print_images.h"
#include "unit/imaging/document_pages.h"

namespace tovanel {
namespace {

using testing::Bytes;
struct ObjectRelease {
  void operator()(void* object) const { g_object_unref(object); }
};
using Pixbuf = std::unique_ptr<GdkPixbuf, ObjectRelease>;

// A photo as a camera saves it: colours changing across it, a red corner top left, and an
// EXIF segment with the orientation when that is given.
Bytes photoJpeg(int width, int height, int orientation = 0) {
  const Pixbuf photo(gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, width, height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      guchar* pixel =
          gdk_pixbuf_get_pixels(photo.get()) + y * gdk_pixbuf_get_rowstride(photo.get()) + 3 * x;
      const bool corner = x < width / 5 && y < height / 5;
      pixel[0] = corner ? 255 : guchar(255 * x / width);
      pixel[1] = corner ? 0 : guchar(255 * y / height);
      pixel[2] = corner ? 0 : guchar(128 + 127 * std::sin(x / 40.0));
    }
  gchar* buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(photo.get(), &buffer, &size, "jpeg", nullptr, "quality", "92", nullptr);
  Bytes jpeg(buffer, buffer + size);
  g_free(buffer);
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
  if (orientation)
    jpeg.insert(jpeg.begin() + 2, std::begin(exif), std::end(exif));
  return jpeg;
}

// The JPEG with its start-of-frame marker made `marker`, and its sample precision `bits`.
Bytes withFrame(Bytes jpeg, uint8_t marker, uint8_t bits) {
  for (size_t at = 0; at + 4 < jpeg.size(); ++at)
    if (jpeg[at] == 0xff && jpeg[at + 1] == 0xc0) {
      jpeg[at + 1] = marker, jpeg[at + 4] = bits;
      break;
    }
  return jpeg;
}

// Tests each orientation's transform against gdk-pixbuf's own turn of a 3 x 2 picture whose
// pixels all differ: every stored pixel lands where the turned picture has it.
TEST(JpegOrientation, TurnsAsGdkPixbufTurns) {
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const Pixbuf stored(gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, 3, 2));
    const auto red = [](GdkPixbuf* pixbuf, int x, int y) -> guchar& {
      return gdk_pixbuf_get_pixels(pixbuf)[3 * x + y * gdk_pixbuf_get_rowstride(pixbuf)];
    };
    for (int at = 0; at < 6; ++at)
      red(stored.get(), at % 3, at / 3) = guchar(at + 1);
    gdk_pixbuf_set_option(stored.get(), "orientation", std::to_string(orientation).c_str());
    const Pixbuf upright(gdk_pixbuf_apply_embedded_orientation(stored.get()));
    const cairo_matrix_t matrix = uprightTransform(orientation, 3, 2);
    std::vector<int> found;
    for (int at = 0; at < 6; ++at) {
      double x = at % 3 + 0.5, y = at / 3 + 0.5;
      cairo_matrix_transform_point(&matrix, &x, &y);
      found.push_back(red(upright.get(), int(x), int(y)));
    }
    EXPECT_EQ(found, (std::vector{1, 2, 3, 4, 5, 6})) << orientation;
    EXPECT_EQ(orientationSwapsSides(orientation), gdk_pixbuf_get_width(upright.get()) == 2);
  }
}

// What opening a JPEG to pass on gave: the failure, or the upright size and orientation.
struct Opened {
  JpegPassthroughFailure failure = JpegPassthroughFailure::none;
  int width = 0;
  int height = 0;
  int orientation = 0;

  friend bool operator==(const Opened&, const Opened&) = default;
};

// Tests that camera JPEGs pass with their upright size, and that those a PDF reader would not
// show as the decoder does go to the decoder.
TEST(JpegPassthrough, CameraJpegsPassOthersGoToTheDecoder) {
  const Bytes photo = photoJpeg(60, 40);
  const std::string cmyk = testing::readFile(TOVANEL_SOURCE_DIR "/tests/data/imaging/cmyk.jpg");
  struct Row {
    const char* name = "";
    Bytes bytes{};
    Opened expect{};
  };
  using enum JpegPassthroughFailure;
  const Row rows[] = {
      {.name = "upright", .bytes = photo, .expect = {none, 60, 40, 1}},
      {.name = "a quarter turn", .bytes = photoJpeg(60, 40, 6), .expect = {none, 40, 60, 6}},
      {.name = "no such orientation", .bytes = photoJpeg(60, 40, 9), .expect = {none, 60, 40, 1}},
      {.name = "CMYK", .bytes = Bytes(cmyk.begin(), cmyk.end()), .expect = {needsDecoding}},
      {.name = "12-bit", .bytes = withFrame(photo, 0xc0, 12), .expect = {needsDecoding}},
      {.name = "lossless", .bytes = withFrame(photo, 0xc3, 8), .expect = {needsDecoding}},
      {.name = "arithmetic coding", .bytes = withFrame(photo, 0xc9, 8), .expect = {needsDecoding}},
      {.name = "a PNG", .bytes = testing::markerImagePng(4, 4), .expect = {notJpeg}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = openPassthroughJpeg(row.bytes);
    const Opened opened = result.image ? Opened{result.failure, result.image->width(),
                                                result.image->height(), result.image->orientation()}
                                       : Opened{result.failure};
    EXPECT_EQ(opened, row.expect);
  }
}

// Tests that a JPEG passes exactly when the decoder would print it: files cut anywhere, bytes
// broken in the headers and in the coded data, over each limit.
TEST(JpegPassthrough, RefusesWhatTheDecoderRefuses) {
  const Bytes photo = photoJpeg(300, 200);
  std::vector<std::pair<Bytes, ImageLimits>> cases = {{photo, {}},
                                                      {photo, {.maxBytes = photo.size() - 1}},
                                                      {photo, {.maxPixels = 59'999}},
                                                      {photo, {.maxSide = 299}}};
  for (const size_t size : {100, 300, 620, 2000, 5000, 9000})
    cases.push_back({Bytes(photo.begin(), photo.begin() + std::min(size, photo.size() - 2)), {}});
  for (const size_t at : {20, 160, 180, 400, 700, 1500, 4000}) {
    cases.push_back({photo, {}});
    cases.back().first[at] ^= 0x5a;
  }
  std::vector<int> passthrough, decoder;
  for (const auto& [bytes, limits] : cases) {
    const auto failure = openPassthroughJpeg(bytes, limits).failure;
    using enum JpegPassthroughFailure;
    passthrough.push_back(failure == none         ? 0
                          : failure == tooLarge   ? 1
                          : failure == unreadable ? 2
                                                  : 3);
    const auto decoded = decodeImageBytes(bytes, limits).failure;
    decoder.push_back(decoded == ImageDecodeFailure::none       ? 0
                      : decoded == ImageDecodeFailure::tooLarge ? 1
                                                                : 2);
  }
  EXPECT_EQ(passthrough, decoder);
  EXPECT_NE(std::count(decoder.begin(), decoder.end(), 2), 0);
}

// Tests that the page looks as the decoded image's page does, upright and fitted the same way,
// and holds the JPEG's own bytes.
TEST(JpegPassthrough, PageLooksAsTheDecodedOnesAndHoldsTheBytes) {
  const PaperSize page{288, 432};
  for (const int orientation : {1, 6}) {
    const Bytes jpeg = photoJpeg(1200, 900, orientation);
    Bytes today;
    writePages({.sheet = page, .frame = page}, RasterPage(decodeImageBytes(jpeg).image),
               [&today](auto bytes) {
                 return today.insert(today.end(), bytes.begin(), bytes.end()), true;
               });
    const auto passed = openPassthroughJpeg(jpeg);
    ASSERT_TRUE(passed.image);
    const Bytes sent = testing::cairoPdf(
        {page}, [&](cairo_t* context, int) { passed.image->draw(context, page); });
    EXPECT_NE(std::search(sent.begin(), sent.end(), jpeg.begin(), jpeg.end()), sent.end());
    const auto before = testing::greyPage(today, 100), after = testing::greyPage(sent, 100);
    ASSERT_TRUE(before.width == 400 && before.pixels.size() == after.pixels.size());
    // Sampling the turned JPEG at 100 dpi may move a sharp edge by a pixel, nothing more.
    double total = 0, moved = 0;
    for (size_t i = 0; i < before.pixels.size(); ++i) {
      const int difference = std::abs(uint8_t(before.pixels[i]) - uint8_t(after.pixels[i]));
      total += difference, moved += difference > 24;
    }
    EXPECT_LE(total / before.pixels.size(), 1.0) << orientation;
    EXPECT_LE(moved / before.pixels.size(), 0.005) << orientation;
  }
}

}  // namespace
}  // namespace tovanel
