// Decoding image bytes: the allowed formats, exact pixels, and every way to refuse bytes.
#include "platform/image_decoding.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "support/print_images.h"

namespace tovanel {
namespace {

using Bytes = std::vector<uint8_t>;

// A width x height pixbuf whose pixel (x, y) is colour(x, y) as {r, g, b, a}, encoded by
// gdk-pixbuf as "png", "jpeg", "bmp" or "tiff".
Bytes encode(const char* type, int width, int height, bool alpha,
             const std::function<std::array<uint8_t, 4>(int, int)>& colour) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
    for (int x = 0; x < width; ++x)
      std::memcpy(row + x * channels, colour(x, y).data(), channels);
  }
  gchar* buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type, nullptr, nullptr);
  g_object_unref(pixbuf);
  Bytes bytes(buffer, buffer + size);
  g_free(buffer);
  return bytes;
}

std::array<uint8_t, 4> gradient(int x, int y) {
  return {static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 5), static_cast<uint8_t>(x + y),
          255};
}

// 41 pixels wide, so that RGB rows carry padding.
Bytes rgbImage(const char* type, int width = 41, int height = 30) {
  return encode(type, width, height, false, gradient);
}

// A 1 x 1 GIF with a two-colour table (red, black) whose one pixel is red. gdk-pixbuf
// cannot write GIF, so the bytes are written out here.
Bytes tinyGif() {
  return {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0,    0,    0xff, 0,    0,    0,   0,
          0,   0x2c, 0,   0,   0,   0,   1, 0, 1, 0, 0,    0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
}

uint32_t pixelAt(const CairoImage& image, int x, int y) {
  cairo_surface_t* surface = image.surface();
  uint32_t pixel;
  std::memcpy(
      &pixel,
      cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + 4 * x,
      4);
  return pixel;
}

// `bytes` with the little-endian fields at `offsets`, each `size` bytes, set to `value`.
Bytes patched(Bytes bytes, std::initializer_list<size_t> offsets, uint32_t value, int size = 4) {
  for (const size_t at : offsets) {
    for (int i = 0; i < size; ++i)
      bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  return bytes;
}

// Headers rewritten to announce a size their pixel data does not hold.
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

// A JPEG with an EXIF block that tells viewers to turn it by `orientation` (6: a quarter
// turn clockwise, as a phone held upright writes it).
Bytes jpegWithOrientation(const Bytes& jpeg, uint8_t orientation) {
  const Bytes exif{0xff, 0xe1, 0,  34, 'E', 'x', 'i', 'f', 0,           0,  // APP1, its length
                   'I',  'I',  42, 0,  8,   0,   0,   0,                    // TIFF header, IFD at 8
                   1,    0,                                                 // one entry:
                   0x12, 0x01, 3,  0,  1,   0,   0,   0,   orientation, 0, 0, 0,  // orientation
                   0,    0,    0,  0};                                            // no next IFD
  Bytes turned(jpeg.begin(), jpeg.begin() + 2);
  turned.insert(turned.end(), exif.begin(), exif.end());
  turned.insert(turned.end(), jpeg.begin() + 2, jpeg.end());
  return turned;
}

long peakMemoryKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Tests that every allowed format decodes at its own size, with exact pixels (through the
// rows' padding) where the format is lossless.
TEST(ImageDecoding, DecodesEachAllowedFormat) {
  for (const auto& [type, lossless] :
       {std::pair{"png", true}, {"jpeg", false}, {"bmp", true}, {"tiff", true}}) {
    SCOPED_TRACE(type);
    const Bytes bytes = rgbImage(type);
    EXPECT_EQ(imageLoaderFor(bytes), type);
    const auto result = decodeImageBytes(bytes);
    ASSERT_TRUE(result.image);
    EXPECT_EQ(result.image->width(), 41);
    EXPECT_EQ(result.image->height(), 30);
    for (const auto& [x, y] : {std::pair{13, 17}, {40, 29}}) {
      const auto [r, g, b, a] = gradient(x, y);
      if (lossless) {
        EXPECT_EQ(pixelAt(*result.image, x, y) & 0xffffffu, uint32_t{r} << 16 | g << 8 | b);
      }
    }
  }
  // A phone photo stored on its side comes out upright: 60 x 40 stored, 40 x 60 shown,
  // the red corner stored top left shown top right.
  const Bytes photo = encode("jpeg", 60, 40, false, [](int x, int y) {
    return x < 12 && y < 12 ? std::array<uint8_t, 4>{255, 0, 0, 255}
                            : std::array<uint8_t, 4>{0, 0, 255, 255};
  });
  const auto upright = decodeImageBytes(jpegWithOrientation(photo, 6));
  ASSERT_TRUE(upright.image);
  EXPECT_EQ(upright.image->width(), 40);
  EXPECT_EQ(upright.image->height(), 60);
  const auto red = [&](int x, int y) { return (pixelAt(*upright.image, x, y) >> 16 & 0xff) > 200; };
  EXPECT_TRUE(red(35, 4));
  EXPECT_FALSE(red(4, 4));
  EXPECT_EQ(decodeImageBytes(jpegWithOrientation(photo, 1)).image->width(), 60);
  // Bytes after a JPEG's end are common (camera trailers) and do not spoil it.
  Bytes trailed = rgbImage("jpeg");
  trailed.insert(trailed.end(), {0xff, 0xd8, 'j', 'u', 'n', 'k', 0});
  EXPECT_TRUE(decodeImageBytes(trailed).image);
  const auto gif = decodeImageBytes(tinyGif());
  ASSERT_TRUE(gif.image);
  EXPECT_EQ(pixelAt(*gif.image, 0, 0), 0xffff0000u);
  // A first frame smaller than the GIF's screen is a whole image too.
  const auto screen = decodeImageBytes(patched(tinyGif(), {6, 8}, 2, 2));
  ASSERT_TRUE(screen.image);
  EXPECT_EQ(screen.image->width(), 2);
  EXPECT_EQ(pixelAt(*screen.image, 0, 0) & 0xffffffu, 0xff0000u);
}

// Tests that alpha is laid on white exactly (rounded to nearest) for every channel and
// alpha value: a shift in place of the division or a truncation fails here.
TEST(ImageDecoding, LaysAlphaOnWhiteExactly) {
  const auto result = decodeImageBytes(encode("png", 256, 256, true, [](int x, int y) {
    return std::array<uint8_t, 4>{static_cast<uint8_t>(x), static_cast<uint8_t>(255 - x),
                                  static_cast<uint8_t>(x / 2), static_cast<uint8_t>(y)};
  }));
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

// Tests that only the five formats reach a loader: an installed SVG, icon or PNM loader
// is never asked.
TEST(ImageDecoding, RefusesFormatsOutsideTheAllowList) {
  for (const std::string& text :
       {std::string(), std::string("<svg xmlns='http://www.w3.org/2000/svg'/>"),
        std::string("P6\n1 1\n255\n\xff\x00\x00"), std::string("\x00\x00\x01\x00\x01\x00", 6),
        std::string("GIF8"), std::string("\x89PNG")}) {
    const Bytes bytes(text.begin(), text.end());
    EXPECT_EQ(imageLoaderFor(bytes), "") << text;
    EXPECT_EQ(decodeImageBytes(bytes).failure, ImageDecodeFailure::unsupportedFormat) << text;
  }
}

// Tests that corrupt data, and files cut short anywhere, are unreadable: the loaders would
// hand over the rows that arrived as a whole image.
TEST(ImageDecoding, RefusesCorruptAndTruncatedData) {
  for (const Bytes& bytes :
       {Bytes{'B', 'M', 1, 2, 3}, Bytes{0xff, 0xd8, 0xff, 0xe0, 0, 0},
        Bytes{'I', 'I', '*', 0, 8, 0, 0, 0},
        Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}}) {
    EXPECT_EQ(decodeImageBytes(bytes).failure, ImageDecodeFailure::unreadable) << bytes.size();
  }
  const Bytes gif = tinyGif();
  for (size_t kept = 13; kept < gif.size(); kept += 5)
    EXPECT_FALSE(decodeImageBytes(Bytes(gif.begin(), gif.begin() + kept)).image) << kept;
  for (const Bytes& bytes : {rgbImage("png", 200, 150), rgbImage("jpeg", 200, 150),
                             rgbImage("bmp", 200, 150), rgbImage("tiff", 200, 150)}) {
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
      {"gif 60000 x 60000", patched(tinyGif(), {6, 8, 24, 26}, 60000, 2), tooLarge},
      {"bmp 60000 x 60000", patched(rgbImage("bmp"), {18, 22}, 60000), tooLarge},
      {"bmp 60000 x -60000", patched(patched(rgbImage("bmp"), {18}, 60000), {22}, -60000),
       tooLarge},
      {"bmp info header of 3.5 GB", patched(rgbImage("bmp"), {14}, 0xd2807528), unreadable},
      {"bmp info header past the end", patched(rgbImage("bmp"), {14}, 124 + 4096), unreadable},
      {"bmp palette of 2^32 colours", patched(rgbImage("bmp"), {46}, 0xffffffff), unreadable},
  };
  for (const auto& c : cases)
    EXPECT_EQ(decodeImageBytes(c.bytes).failure, c.expected) << c.name;
  EXPECT_LT(peakMemoryKilobytes() - before, 100 * 1024);
}

// Tests each limit at its edge, and that the pixel guard runs in every allowed loader.
TEST(ImageDecoding, LimitsHoldAtTheirEdges) {
  const Bytes png = rgbImage("png", 100, 80);
  const struct {
    const char* name;
    Bytes bytes;
    ImageLimits limits;
    bool decodes;
  } cases[] = {
      {"all at their edge", png, {png.size(), 8000, 100}, true},
      {"one byte too many", png, {png.size() - 1, 8000, 100}, false},
      {"one pixel too many", png, {png.size(), 7999, 100}, false},
      {"a side too long", png, {png.size(), 8000, 99}, false},
      {"jpeg", rgbImage("jpeg"), {1 << 20, 1229, 32767}, false},
      {"bmp", rgbImage("bmp"), {1 << 20, 1229, 32767}, false},
      {"tiff", rgbImage("tiff"), {1 << 20, 1229, 32767}, false},
      {"tiff at its edge", rgbImage("tiff"), {1 << 20, 1230, 32767}, true},
      {"gif", tinyGif(), {1 << 20, 0, 32767}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeImageBytes(c.bytes, c.limits).failure,
              c.decodes ? ImageDecodeFailure::none : ImageDecodeFailure::tooLarge)
        << c.name;
  }
}

}  // namespace
}  // namespace tovanel
