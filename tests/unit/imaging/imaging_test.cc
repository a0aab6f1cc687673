// The page: the image decoded, and the PDF written.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "imaging/image_decoding.h"
#include "imaging/page_pdf.h"
#include "support/cups_sandbox.h"
#include "support/print_images.h"
#include "support/rows.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;

// The PNG as gdk-pixbuf saves it in `type`, as a camera or a label program would write it.
Bytes saved(const Bytes& png, const char* type) {
  const testing::TemporaryFolder folder;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(folder.write("in.png", png).c_str(), nullptr);
  gdk_pixbuf_save(pixbuf, folder.file("out").c_str(), type, nullptr, nullptr);
  g_object_unref(pixbuf);
  const std::string bytes = testing::readFile(folder.file("out"));
  return Bytes(bytes.begin(), bytes.end());
}

// What Debian's converters make of the PNGs (saved as in0.png, in1.png...): `command` runs in
// their folder and writes `out`, as in "cwebp in0.png -o out".
Bytes converted(const std::vector<Bytes>& pngs, const std::string& command) {
  const testing::TemporaryFolder folder;
  for (size_t i = 0; i < pngs.size(); ++i)
    folder.write("in" + std::to_string(i) + ".png", pngs[i]);
  testing::runShell("cd " + folder.path() + " && " + command + " >/dev/null 2>&1");
  const std::string bytes = testing::readFile(folder.file("out"));
  return Bytes(bytes.begin(), bytes.end());
}

// `bytes` with the little-endian 32-bit field at `at` set to `value`.
Bytes patched(Bytes bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

// The pixel of the decoded image as cairo holds it, 0xAARRGGBB; 0 when nothing was decoded.
uint32_t pixelAt(const Bytes& bytes, int x, int y) {
  const auto result = decodeImageBytes(bytes);
  cairo_surface_t* image = result.image ? result.image->surface() : nullptr;
  const uint8_t* row = image ? cairo_image_surface_get_data(image) : nullptr;
  return row ? reinterpret_cast<const uint32_t*>(row + y * cairo_image_surface_get_stride(image))[x]
             : 0;
}

// Two pixels of a decoded image, to compare and print whole.
struct Corners {
  uint32_t topLeft = 0, bottomRight = 0;
  friend bool operator==(const Corners&, const Corners&) = default;
  friend void PrintTo(const Corners& c, std::ostream* out) {
    *out << std::hex << "{" << c.topLeft << ", " << c.bottomRight << "}";
  }
};

// Tests exact pixels of each format, clear ones laid on white, and EXIF turns.
TEST(ImageDecoding, ExactPixelsTurnedUpright) {
  const Bytes marker = testing::markerImagePng(41, 30);
  const Corners redOnBlue{0xffff0000u, 0xff0000ffu};
  const testing::Row<Bytes, Corners> rows[] = {
      {.name = "PNG", .in = marker, .expect = redOnBlue},
      {.name = "BMP", .in = saved(marker, "bmp"), .expect = redOnBlue},
      {.name = "TIFF", .in = saved(marker, "tiff"), .expect = redOnBlue},
      {.name = "WebP",
       .in = converted({marker}, "cwebp -quiet -lossless in0.png -o out"),
       .expect = redOnBlue},
      {.name = "an animated WebP's first frame",
       .in = converted({marker, testing::whitePng(41, 30)},
                       "img2webp -loop 0 in0.png in1.png -o out"),
       .expect = redOnBlue},
      {.name = "a clear pixel on white",
       .in = testing::markerImagePng(41, 30, true),
       .expect = {0xffffffffu, 0xff0000ffu}}};
  testing::expectRows(rows, [](const Bytes& bytes) {
    return Corners{pixelAt(bytes, 0, 0), pixelAt(bytes, 40, 29)};
  });
  // APP1 with a TIFF header and one entry: orientation 6, a quarter turn clockwise.
  Bytes turned{0xff, 0xd8, 0xff, 0xe1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
               1,    0,    0x12, 0x01, 3, 0,  1,   0,   0,   0,   6, 0, 0,   0,   0,  0, 0, 0};
  const Bytes photo = saved(testing::markerImagePng(60, 40), "jpeg");
  turned.insert(turned.end(), photo.begin() + 2, photo.end());
  // The red corner shows top right, where the photo as stored is blue.
  EXPECT_GT(pixelAt(turned, 36, 3) >> 16 & 0xff, 200u);
  // The same turn in a WebP's EXIF chunk, which its loader leaves to the decoder.
  const std::string exif = R"(printf 'II*\0\10\0\0\0\1\0\22\1\3\0\1\0\0\0\6\0\0\0\0\0\0\0' >exif)";
  const Bytes turnedWebp = converted(
      {testing::markerImagePng(60, 40)},
      exif + " && cwebp -lossless in0.png -o in.webp && webpmux -set exif exif in.webp -o out");
  EXPECT_EQ(pixelAt(turnedWebp, 36, 3), 0xffff0000u);
}

// Tests that GIFs, trailed JPEGs, WebP and HEIC read; other formats, cut files, bad BMPs and
// oversize ones (also those whose loaders would fill them first) not.
TEST(ImageDecoding, RefusesWhatItCannotSafelyRead) {
  const Bytes png = testing::markerImagePng(100, 80), bmp = saved(png, "bmp"),
              jpeg = saved(png, "jpeg"), tiff = saved(png, "tiff");
  Bytes cut(jpeg.begin(), jpeg.begin() + jpeg.size() * 9 / 10), trailed = jpeg;
  trailed.insert(trailed.end(), {0xff, 0xd8, 'j', 'u', 'n', 'k'});
  const Bytes lossy = converted({png}, "cwebp -quiet in0.png -o out"),
              heic = converted({png}, "heif-enc -q 50 in0.png -o out.heic && mv out.heic out");
  // A lossless WebP whose header claims 16384 x 16384, and a HEIC whose image extent claims
  // 30000 x 30000: the loaders would fill either before telling its size.
  const Bytes lossless = converted({png}, "cwebp -quiet -lossless in0.png -o out");
  Bytes hugeWebp = patched(lossless, 21, 0xfffffff), hugeHeic = heic;
  const std::string heicText(heic.begin(), heic.end());
  for (const size_t at : {heicText.find("ispe") + 8, heicText.find("ispe") + 12})
    hugeHeic[at] = 0, hugeHeic[at + 1] = 0, hugeHeic[at + 2] = 0x75, hugeHeic[at + 3] = 0x30;
  const std::string gif = "GIF89a\1\0\1\0\x80\0\0\xff\0\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;"s;
  using enum ImageDecodeFailure;
  // The PNG's own bytes, pixels and longer side, and each one less.
  const ImageLimits exact{.maxBytes = png.size(), .maxPixels = 8000, .maxSide = 100};
  ImageLimits byteShort = exact, pixelShort = exact, sideShort = exact;
  --byteShort.maxBytes, --pixelShort.maxPixels, --sideShort.maxSide;
  const struct {
    const char* name = "";
    Bytes in = {};
    ImageLimits limits = {};
    ImageDecodeFailure expect = none;
  } rows[] = {
      {.name = "on every limit", .in = png, .limits = exact},
      {.name = "a GIF", .in = Bytes(gif.begin(), gif.end())},
      {.name = "a JPEG with bytes after its end", .in = trailed},
      {.name = "a byte too many", .in = png, .limits = byteShort, .expect = tooLarge},
      {.name = "a pixel too many", .in = png, .limits = pixelShort, .expect = tooLarge},
      {.name = "a side too long", .in = png, .limits = sideShort, .expect = tooLarge},
      {.name = "a TIFF's pixels", .in = tiff, .limits = {.maxPixels = 7999}, .expect = tooLarge},
      {.name = "60000 x 60000",
       .in = patched(patched(bmp, 18, 60000), 22, 60000),
       .expect = tooLarge},
      {.name = "BMP, a 3.5 GB header", .in = patched(bmp, 14, 0xd2807528), .expect = unreadable},
      {.name = "BMP, 2^32 colours", .in = patched(bmp, 46, 0xffffffff), .expect = unreadable},
      {.name = "a JPEG cut short", .in = cut, .expect = unreadable},
      {.name = "a WebP", .in = lossy},
      {.name = "a HEIC", .in = heic},
      {.name = "a WebP cut short",
       .in = Bytes(lossy.begin(), lossy.end() - 9),
       .expect = unreadable},
      {.name = "a HEIC cut short", .in = Bytes(heic.begin(), heic.end() - 9), .expect = unreadable},
      {.name = "a WebP that claims too much", .in = hugeWebp, .expect = tooLarge},
      {.name = "a HEIC that claims too much", .in = hugeHeic, .expect = tooLarge},
      {.name = "four bytes of a GIF",
       .in = Bytes{'G', 'I', 'F', '8'},
       .expect = unsupportedFormat}};
  testing::forEachRow(rows, [](const auto& row) {
    EXPECT_EQ(decodeImageBytes(row.in, row.limits).failure, row.expect);
  });
}

// The whole PDF of a 4 x 6 inch page, or "" when writing it failed.
std::string pagePdf(const CairoImage& image) {
  std::string pdf;
  const PageLayout layout{.sheet = {288, 432}, .frame = {288, 432}};
  const RasterPage page(
      std::make_unique<CairoImage>(CairoSurface(cairo_surface_reference(image.surface()))));
  const bool written = writePages(layout, page, [&pdf](auto bytes) {
    return pdf.append(reinterpret_cast<const char*>(bytes.data()), bytes.size()), true;
  });
  return written ? pdf : "";
}

// The page as pdftoppm renders it at 600 dpi, grey, the way a label printer's filter does.
std::string renderedPage(const std::string& pdf) {
  const testing::TemporaryFolder folder;
  const std::string file = folder.write("page.pdf", Bytes(pdf.begin(), pdf.end()));
  const auto rendered =
      testing::runShell("pdftoppm -gray -r 600 " + file + " " + folder.file("page"));
  return rendered.status == 0 ? testing::readFile(folder.file("page-1.pgm")) : "";
}

// Tests that only images reduced past 300 dpi are smoothed, and only black-and-white ones 1-bit.
TEST(PagePdf, SmoothedOnlyWhenReducedAndBlackAndWhiteLabelsAre1Bit) {
  const testing::Row<int, std::string> rows[] = {
      {.name = "enlarged", .in = 20, .expect = "false"},
      {.name = "reduced to 300 dpi", .in = 812, .expect = "false"},
      {.name = "reduced past it", .in = 1300, .expect = "true"}};
  testing::forEachRow(rows, [](const auto& row) {
    const auto image = decodeImageBytes(testing::markerImagePng(row.in, row.in * 3 / 2));
    EXPECT_NE(pagePdf(*image.image).find("/Interpolate " + row.expect), std::string::npos);
  });
  const auto label = decodeImageBytes(testing::code128LabelPng("TOVANEL-4711", 1201, 803, 3));
  const std::string oneBit = pagePdf(*label.image);
  EXPECT_NE(oneBit.find("/CCITTFaxDecode"), std::string::npos);
  const std::string colours = pagePdf(CairoImage(testing::coloursOnly(label.image->surface())));
  const std::string rendered = renderedPage(oneBit);
  EXPECT_TRUE(!rendered.empty() && rendered == renderedPage(colours));
  const auto grey = decodeImageBytes(testing::code128LabelPng("TOVANEL-4711", 600, 400, 2, true));
  EXPECT_EQ(pagePdf(*grey.image).find("/CCITTFaxDecode"), std::string::npos);
}

// What a printable was made of bytes: pages, and whether decoded to pixels.
struct Kind {
  PrintableFailure failure = PrintableFailure::none;
  int pages = 0;
  bool raster = false;
  bool operator==(const Kind&) const = default;
};

// Tests that bytes are told apart by what they begin with: each kind becomes its pages, a
// JPEG that cannot go as it is is decoded, and what no reader takes is refused or unknown.
TEST(Printable, ToldApartByTheirBytes) {
  const Bytes png = testing::markerImagePng(40, 30), jpeg = saved(png, "jpeg");
  const std::string cmyk = testing::readFile(TOVANEL_SOURCE_DIR "/tests/data/imaging/cmyk.jpg");
  const testing::TemporaryFolder folder;
  testing::runShell("cd " + folder.path() + " && " TOVANEL_BINARY_DIR "/sample_label l.pdf && " +
                    "qpdf --empty --pages l.pdf l.pdf l.pdf -- three.pdf && " TOVANEL_BINARY_DIR
                    "/sample_label l.svg");
  const std::string three = testing::readFile(folder.file("three.pdf")),
                    svg = testing::readFile(folder.file("l.svg"));
  const testing::Row<Bytes, Kind> rows[] = {
      {.name = "PNG", .in = png, .expect = {.pages = 1, .raster = true}},
      {.name = "JPEG, sent on", .in = jpeg, .expect = {.pages = 1}},
      {.name = "CMYK JPEG, decoded",
       .in = Bytes(cmyk.begin(), cmyk.end()),
       .expect = {.pages = 1, .raster = true}},
      {.name = "JPEG cut short",
       .in = Bytes(jpeg.begin(), jpeg.end() - 40),
       .expect = {.failure = PrintableFailure::refused}},
      {.name = "three-page PDF", .in = Bytes(three.begin(), three.end()), .expect = {.pages = 3}},
      {.name = "PDF cut short",
       .in = Bytes(three.begin(), three.begin() + 5000),
       .expect = {.failure = PrintableFailure::refused}},
      {.name = "SVG", .in = Bytes(svg.begin(), svg.end()), .expect = {.pages = 1}},
      {.name = "text",
       .in = Bytes{'l', 'a', 'b', 'e', 'l'},
       .expect = {.failure = PrintableFailure::unsupported}}};
  testing::expectRows(rows, [](const Bytes& bytes) {
    const auto decoded = decodePrintable(bytes);
    return Kind{decoded.failure, decoded.printable ? decoded.printable->pageCount() : 0,
                dynamic_cast<const RasterPage*>(decoded.printable.get()) != nullptr};
  });
}

}  // namespace
}  // namespace tovanel
