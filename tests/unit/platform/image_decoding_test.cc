#include "platform/image_decoding.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "platform/pixbuf_conversion.h"
#include "support/print_images.h"

namespace tovanel {
namespace {

using Bytes = std::vector<uint8_t>;

struct GObjectRelease {
  void operator()(void* object) const { g_object_unref(object); }
};
using PixbufHandle = std::unique_ptr<GdkPixbuf, GObjectRelease>;

// A width x height RGB(A) pixbuf whose pixel (x, y) is colour(x, y) as {r, g, b, a}.
PixbufHandle makePixbuf(int width, int height, bool alpha,
                        const std::function<std::array<uint8_t, 4>(int, int)>& colour) {
  PixbufHandle pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height));
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = gdk_pixbuf_get_pixels(pixbuf.get()) + y * gdk_pixbuf_get_rowstride(pixbuf.get());
    for (int x = 0; x < width; ++x)
      std::memcpy(row + x * channels, colour(x, y).data(), channels);
  }
  return pixbuf;
}

// The pixbuf encoded by gdk-pixbuf as "png", "jpeg", "bmp" or "tiff".
Bytes encode(GdkPixbuf* pixbuf, const char* type) {
  gchar* buffer = nullptr;
  gsize size = 0;
  if (!gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type, nullptr, nullptr))
    return {};
  Bytes bytes(buffer, buffer + size);
  g_free(buffer);
  return bytes;
}

std::array<uint8_t, 4> gradient(int x, int y) {
  return {static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 5), static_cast<uint8_t>(x + y),
          255};
}

Bytes rgbImage(const char* type, int width = 40, int height = 30) {
  return encode(makePixbuf(width, height, false, gradient).get(), type);
}

// A 1 x 1 GIF with a two-colour table (red, black) whose one pixel is red. gdk-pixbuf
// cannot write GIF, so the bytes are written out here.
Bytes tinyGif() {
  return {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0,    0,    0xff, 0,    0,    0,   0,
          0,   0x2c, 0,   0,   0,   0,   1, 0, 1, 0, 0,    0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
}

uint32_t pixelAt(const CairoImage& image, int x, int y) {
  cairo_surface_t* surface = image.surface();
  const uint8_t* row =
      cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  uint32_t pixel;
  std::memcpy(&pixel, row + 4 * x, 4);
  return pixel;
}

void putLittleEndian(Bytes& bytes, size_t at, uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Each allowed format with its header rewritten to announce width x height. The pixel
// data stays that of the small original, so a loader that ignored the guard would
// allocate the announced size and then fail, instead of failing at once.
Bytes pngAnnouncing(uint32_t width, uint32_t height) {
  Bytes png = rgbImage("png");
  testing::setPngSize(png, width, height);
  return png;
}
Bytes jpegAnnouncing(uint16_t width, uint16_t height) {
  Bytes jpeg = rgbImage("jpeg");
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xff && jpeg[i + 1] == 0xc0) {  // start of frame: length, precision, H, W
      jpeg[i + 5] = height >> 8, jpeg[i + 6] = height & 0xff;
      jpeg[i + 7] = width >> 8, jpeg[i + 8] = width & 0xff;
      break;
    }
  }
  return jpeg;
}
Bytes gifAnnouncing(uint16_t width, uint16_t height) {
  Bytes gif = tinyGif();
  putLittleEndian(gif, 6, width, 2);  // the logical screen
  putLittleEndian(gif, 8, height, 2);
  putLittleEndian(gif, 24, width, 2);  // the image
  putLittleEndian(gif, 26, height, 2);
  return gif;
}
Bytes bmpAnnouncing(int32_t width, int32_t height) {
  Bytes bmp = rgbImage("bmp");
  putLittleEndian(bmp, 18, static_cast<uint32_t>(width), 4);
  putLittleEndian(bmp, 22, static_cast<uint32_t>(height), 4);
  return bmp;
}

// A BMP whose palette claims `colours` entries, which the loader would allocate at once.
Bytes bmpWithPaletteOf(uint32_t colours) {
  Bytes bmp = rgbImage("bmp");
  putLittleEndian(bmp, 46, colours, 4);
  return bmp;
}

// A BMP whose info header claims `length` bytes, which the loader would allocate at once.
Bytes bmpWithInfoHeaderLength(uint32_t length) {
  Bytes bmp = rgbImage("bmp");
  putLittleEndian(bmp, 14, length, 4);
  return bmp;
}
long peakMemoryKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Tests that every allowed format decodes, at its own size, with the right pixels where
// the format is lossless.
TEST(ImageDecoding, DecodesEachAllowedFormat) {
  const struct {
    const char* type;
    Bytes bytes;
    bool lossless;
  } cases[] = {
      {"png", rgbImage("png"), true},
      {"jpeg", rgbImage("jpeg"), false},
      {"bmp", rgbImage("bmp"), true},
      {"tiff", rgbImage("tiff"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    ASSERT_FALSE(c.bytes.empty());
    EXPECT_EQ(imageLoaderFor(c.bytes), c.type);
    const auto result = decodeImageBytes(c.bytes);
    ASSERT_EQ(result.failure, ImageDecodeFailure::none);
    ASSERT_TRUE(result.image);
    EXPECT_EQ(result.image->width(), 40);
    EXPECT_EQ(result.image->height(), 30);
    if (c.lossless) {
      const auto [r, g, b, a] = gradient(13, 17);
      EXPECT_EQ(pixelAt(*result.image, 13, 17) & 0xffffffu,
                static_cast<uint32_t>(r) << 16 | g << 8 | b);
    }
  }
  // Bytes after a JPEG's end are common (camera trailers) and do not spoil it.
  Bytes trailed = rgbImage("jpeg");
  trailed.insert(trailed.end(), {0xff, 0xd8, 'j', 'u', 'n', 'k', 0});
  EXPECT_TRUE(decodeImageBytes(trailed).image);

  const auto gif = decodeImageBytes(tinyGif());
  ASSERT_TRUE(gif.image);
  EXPECT_EQ(gif.image->width(), 1);
  EXPECT_EQ(pixelAt(*gif.image, 0, 0), 0xffff0000u);
  // A first frame smaller than the GIF's screen is a whole image too.
  Bytes framed = tinyGif();
  putLittleEndian(framed, 6, 2, 2);
  putLittleEndian(framed, 8, 2, 2);
  const auto screen = decodeImageBytes(framed);
  ASSERT_TRUE(screen.image);
  EXPECT_EQ(screen.image->width(), 2);
  EXPECT_EQ(pixelAt(*screen.image, 0, 0) & 0xffffffu, 0xff0000u);
}

// Tests that pixels with alpha are laid on white exactly (rounded to nearest) for every
// pair of channel and alpha values: a shift in place of the division, a truncation, or
// alpha left for the page to mask, fails here.
TEST(ImageDecoding, LaysAlphaOnWhiteExactly) {
  const auto pixbuf = makePixbuf(256, 256, true, [](int x, int y) {
    return std::array<uint8_t, 4>{static_cast<uint8_t>(x), static_cast<uint8_t>(255 - x),
                                  static_cast<uint8_t>(x / 2), static_cast<uint8_t>(y)};
  });
  const auto result = decodeImageBytes(encode(pixbuf.get(), "png"));
  ASSERT_TRUE(result.image);
  EXPECT_EQ(cairo_image_surface_get_format(result.image->surface()), CAIRO_FORMAT_RGB24);
  const auto onWhite = [](uint32_t channel, uint32_t alpha) {
    return (channel * alpha + 127) / 255 + 255 - alpha;
  };
  int mismatches = 0;
  for (uint32_t alpha = 0; alpha < 256; ++alpha) {
    for (uint32_t channel = 0; channel < 256; ++channel) {
      const uint32_t expected = 0xff000000u | onWhite(channel, alpha) << 16 |
                                onWhite(255 - channel, alpha) << 8 | onWhite(channel / 2, alpha);
      mismatches +=
          pixelAt(*result.image, static_cast<int>(channel), static_cast<int>(alpha)) != expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Tests the conversion of pixbufs whose rows carry padding beyond their pixels.
TEST(ImageDecoding, ConvertsPaddedRows) {
  for (const bool alpha : {false, true}) {
    const int channels = alpha ? 4 : 3, width = 5, height = 3, stride = width * channels + 9;
    guchar* pixels = static_cast<guchar*>(g_malloc0(stride * height));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        guchar* pixel = pixels + y * stride + x * channels;
        pixel[0] = 10 * x, pixel[1] = 20 * y, pixel[2] = 99;
        if (alpha)
          pixel[3] = 255;
      }
    }
    PixbufHandle pixbuf(gdk_pixbuf_new_from_data(
        pixels, GDK_COLORSPACE_RGB, alpha, 8, width, height, stride,
        [](guchar* data, gpointer) { g_free(data); }, nullptr));
    const CairoImage image(surfaceFromPixbuf(pixbuf.get()));
    ASSERT_TRUE(image.surface());
    EXPECT_EQ(pixelAt(image, 4, 2) & 0xffffffu, 40u << 16 | 40u << 8 | 99u) << alpha;
    EXPECT_EQ(pixelAt(image, 0, 0) & 0xffffffu, 99u) << alpha;
  }
}

// Tests that only the five formats reach a loader: an installed SVG, icon or PNM loader
// is never asked, whatever it might do with the bytes.
TEST(ImageDecoding, RefusesFormatsOutsideTheAllowList) {
  const std::string cases[] = {
      "",
      "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'/>",
      "P6\n1 1\n255\n\xff\x00\x00",
      std::string("\x00\x00\x01\x00\x01\x00", 6),  // ICO
      "GIF8",                                      // too short to be a GIF
      "\x89PNG",
  };
  for (const auto& text : cases) {
    const Bytes bytes(text.begin(), text.end());
    EXPECT_EQ(imageLoaderFor(bytes), "") << text;
    EXPECT_EQ(decodeImageBytes(bytes).failure, ImageDecodeFailure::unsupportedFormat) << text;
  }
}

// Tests that broken data fails as unreadable, including files cut short anywhere: the
// loaders would hand over the rows that arrived as a whole image.
TEST(ImageDecoding, RefusesCorruptAndTruncatedData) {
  const Bytes corrupt[] = {
      {'B', 'M', 1, 2, 3},
      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'},
      {0xff, 0xd8, 0xff, 0xe0, 0, 0},
      {'I', 'I', '*', 0, 8, 0, 0, 0},
  };
  for (const auto& bytes : corrupt) {
    EXPECT_EQ(decodeImageBytes(bytes).failure, ImageDecodeFailure::unreadable) << bytes.size();
  }
  const Bytes gif = tinyGif();
  for (size_t kept = 13; kept < gif.size(); kept += 5) {
    EXPECT_FALSE(decodeImageBytes(Bytes(gif.begin(), gif.begin() + static_cast<long>(kept))).image)
        << "gif cut to " << kept << " bytes";
  }
  const Bytes whole[] = {rgbImage("png", 200, 150), rgbImage("jpeg", 200, 150),
                         rgbImage("bmp", 200, 150), rgbImage("tiff", 200, 150),
                         testing::markerImagePng(300, 200)};
  for (const auto& bytes : whole) {
    ASSERT_TRUE(decodeImageBytes(bytes).image) << imageLoaderFor(bytes);
    for (const double kept : {0.3, 0.5, 0.9}) {
      const Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * kept));
      EXPECT_FALSE(decodeImageBytes(cut).image) << imageLoaderFor(bytes) << " cut to " << kept;
    }
  }
}

// Tests that decompression bombs are refused as soon as their header is read, by the
// guard or by the format's own library, before their pixels exist: memory stays flat.
TEST(ImageDecoding, RefusesBombsBeforeAllocatingPixels) {
  constexpr auto tooLarge = ImageDecodeFailure::tooLarge;
  constexpr auto unreadable = ImageDecodeFailure::unreadable;
  const long before = peakMemoryKilobytes();
  const struct {
    const char* name;
    Bytes bytes;
    ImageDecodeFailure expected;
  } cases[] = {
      {"png 60000 x 60000", pngAnnouncing(60000, 60000), tooLarge},
      {"png 2^31-1 square", pngAnnouncing(0x7fffffff, 0x7fffffff), unreadable},
      {"jpeg 60000 x 60000", jpegAnnouncing(60000, 60000), tooLarge},
      {"gif 60000 x 60000", gifAnnouncing(60000, 60000), tooLarge},
      {"bmp 60000 x 60000", bmpAnnouncing(60000, 60000), tooLarge},
      {"bmp 60000 x -60000", bmpAnnouncing(60000, -60000), tooLarge},
      {"bmp info header of 3.5 GB", bmpWithInfoHeaderLength(0xd2807528), unreadable},
      {"bmp info header past the end", bmpWithInfoHeaderLength(124 + 4096), unreadable},
      {"bmp palette of 2^32 colours", bmpWithPaletteOf(0xffffffff), unreadable},
  };
  for (const auto& c : cases) {
    const auto result = decodeImageBytes(c.bytes);
    EXPECT_FALSE(result.image) << c.name;
    EXPECT_EQ(result.failure, c.expected) << c.name;
  }
  EXPECT_LT(peakMemoryKilobytes() - before, 100 * 1024);
}

// Tests that the guard runs in every allowed loader: one pixel over the budget refuses
// an image that decodes with the budget at its size.
TEST(ImageDecoding, GuardRunsInEveryLoader) {
  const struct {
    const char* name;
    Bytes bytes;
    int64_t pixels;
  } cases[] = {
      {"png", rgbImage("png"), 1200}, {"jpeg", rgbImage("jpeg"), 1200},
      {"bmp", rgbImage("bmp"), 1200}, {"tiff", rgbImage("tiff"), 1200},
      {"gif", tinyGif(), 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeImageBytes(c.bytes, {size_t{1} << 20, c.pixels, 32767}).failure,
              ImageDecodeFailure::none)
        << c.name;
    EXPECT_EQ(decodeImageBytes(c.bytes, {size_t{1} << 20, c.pixels - 1, 32767}).failure,
              ImageDecodeFailure::tooLarge)
        << c.name;
  }
}

// Tests each limit at its edge: the byte cap, the pixel budget and the side.
TEST(ImageDecoding, LimitsHoldAtTheirEdges) {
  const Bytes png = rgbImage("png", 100, 80);
  const struct {
    ImageLimits limits;
    ImageDecodeFailure expected;
  } cases[] = {
      {{png.size(), 8000, 100}, ImageDecodeFailure::none},
      {{png.size() - 1, 8000, 100}, ImageDecodeFailure::tooLarge},
      {{png.size(), 7999, 100}, ImageDecodeFailure::tooLarge},
      {{png.size(), 8000, 99}, ImageDecodeFailure::tooLarge},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeImageBytes(png, c.limits).failure, c.expected)
        << c.limits.maxBytes << " bytes, " << c.limits.maxPixels << " pixels, side "
        << c.limits.maxSide;
  }
}

}  // namespace
}  // namespace tovanel
