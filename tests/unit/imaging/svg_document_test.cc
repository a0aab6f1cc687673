// SVG drawings: told by their bytes, measured, drawn fitted, and never reaching outside them.
#include "imaging/svg_document.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "support/print_images.h"
#include "unit/imaging/document_pages.h"

namespace tovanel {
namespace {

using testing::Bytes;
using namespace std::string_literals;

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::string svg(const std::string& attributes, const std::string& content = "") {
  return "<svg xmlns='http://www.w3.org/2000/svg' " + attributes + ">" + content + "</svg>";
}

// What opening a drawing gave: the failure, or its size in points.
struct Opened {
  SvgFailure failure = SvgFailure::none;
  PaperSize size{};

  friend bool operator==(const Opened&, const Opened&) = default;
};

// Tests that the size comes from width and height, else the view box, and that a drawing
// with neither, or that is not one, is refused.
TEST(SvgDocument, SizedByWidthAndHeightElseViewBox) {
  struct Row {
    const char* name = "";
    std::string bytes{};
    SvgLimits limits{};
    Opened expect{};
  };
  const Row rows[] = {
      {.name = "inches", .bytes = svg("width='4in' height='6in'"), .expect = {.size = {288, 432}}},
      {.name = "CSS pixels",
       .bytes = svg("width='400' height='300'"),
       .expect = {.size = {300, 225}}},
      {.name = "width and height win over the view box",
       .bytes = svg("width='4in' height='6in' viewBox='0 0 10 10'"),
       .expect = {.size = {288, 432}}},
      {.name = "only a view box",
       .bytes = svg("viewBox='0 0 200 100'"),
       .expect = {.size = {150, 75}}},
      {.name = "percentages and a view box",
       .bytes = svg("width='100%' height='100%' viewBox='5 5 40 60'"),
       .expect = {.size = {30, 45}}},
      {.name = "neither", .bytes = svg(""), .expect = {SvgFailure::noSize}},
      {.name = "an empty view box",
       .bytes = svg("viewBox='0 0 0 10'"),
       .expect = {SvgFailure::noSize}},
      {.name = "not XML", .bytes = "<svg width='1in'", .expect = {SvgFailure::unreadable}},
      {.name = "a byte over the limit",
       .bytes = svg("width='4in' height='6in'"),
       .limits = {.maxBytes = svg("width='4in' height='6in'").size() - 1},
       .expect = {SvgFailure::tooLarge}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = openSvgDocument(bytesOf(row.bytes), row.limits);
    EXPECT_EQ((Opened{result.failure, result.document ? result.document->size() : PaperSize{}}),
              row.expect);
  }
}

// Tests that SVGs are told apart by their first markup, whatever an XML file may start with.
TEST(SvgDocument, ToldByItsBytes) {
  struct Row {
    const char* name = "";
    std::string bytes{};
    bool expect = false;
  };
  const Row rows[] = {
      {.name = "bare", .bytes = "<svg/>", .expect = true},
      {.name = "declaration, comment, doctype with a subset, byte order mark",
       .bytes = "\xef\xbb\xbf<?xml version='1.0'?>\n<!-- by hand -->\n<!DOCTYPE svg [<!ENTITY a "
                "'b'>]>\n<svg width='1'>",
       .expect = true},
      {.name = "another element", .bytes = "<?xml version='1.0'?><html>", .expect = false},
      {.name = "a longer name", .bytes = "<svgx>", .expect = false},
      {.name = "a comment that never ends", .bytes = "<!-- <svg>", .expect = false},
      {.name = "a PNG", .bytes = "\x89PNG\r\n\x1a\n", .expect = false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(looksLikeSvg(bytesOf(row.bytes)), row.expect);
  }
}

// The drawing fitted into a 100 x 100 point frame on a white image, one pixel a point.
testing::PagePixels drawn(const std::string& bytes) {
  const auto opened = openSvgDocument(bytesOf(bytes));
  CairoSurface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 100, 100));
  CairoContext context(cairo_create(image.get()));
  cairo_set_source_rgb(context.get(), 1, 1, 1);
  cairo_paint(context.get());
  if (!opened.document || !opened.document->draw(context.get(), {100, 100}))
    return {};
  cairo_surface_flush(image.get());
  testing::PagePixels pixels{100, 100, {}};
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      const uint32_t pixel =
          reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(image.get()) +
                                            y * cairo_image_surface_get_stride(image.get()))[x];
      pixels.rgb.insert(pixels.rgb.end(),
                        {uint8_t(pixel >> 16), uint8_t(pixel >> 8), uint8_t(pixel)});
    }
  return pixels;
}

// The colours seen in a square of the drawing, each once, in order of the first pixel.
std::vector<uint32_t> coloursIn(const testing::PagePixels& pixels, int left, int top, int side) {
  std::vector<uint32_t> colours;
  for (int y = top; y < top + side; ++y)
    for (int x = left; x < left + side; ++x)
      if (std::find(colours.begin(), colours.end(), pixels.at(x, y)) == colours.end())
        colours.push_back(pixels.at(x, y));
  return colours;
}

// Tests that references to files and addresses draw nothing while the drawing's own content,
// a picture inside the bytes included, draws: the red marker file shows nowhere.
TEST(SvgDocument, ReferencesOutsideTheBytesDrawNothing) {
  const testing::TemporaryFolder folder;
  const Bytes red = testing::markerImagePng(10, 10);
  const std::string file = folder.write("red.png", red);
  gchar* encoded = g_base64_encode(red.data(), red.size());
  const std::string data = "data:image/png;base64,"s + encoded;
  g_free(encoded);
  const std::string image = "<image width='50' height='50' preserveAspectRatio='none' ";
  const auto pixels = drawn(svg(
      "xmlns:xlink='http://www.w3.org/1999/xlink' xmlns:xi='http://www.w3.org/2001/XInclude' "
      "width='100' height='100'",
      image + "href='file://" + file + "'/>" + image + "x='50' href='" + data + "'/>" + image +
          "y='50' xlink:href='http://127.0.0.1:9/red.png'/>" + image + "y='50' href='" + file +
          "'/>" + image + "y='50' href='red.png'/><text y='70' font-size='20'><xi:include href='" +
          file + "' parse='text'/></text><use href='file://" + folder.file("other.svg#r") +
          "'/><rect x='50' y='50' width='50' height='50'/>"));
  ASSERT_EQ(pixels.width, 100);
  EXPECT_EQ(coloursIn(pixels, 0, 0, 50), std::vector<uint32_t>{0xffffff});
  EXPECT_EQ(coloursIn(pixels, 0, 50, 50), std::vector<uint32_t>{0xffffff});
  const auto inside = coloursIn(pixels, 50, 0, 50);
  EXPECT_NE(std::find(inside.begin(), inside.end(), 0xff0000), inside.end());
  EXPECT_EQ(coloursIn(pixels, 55, 55, 40), std::vector<uint32_t>{0x000000});
}

// Tests that a drawing is fitted as an image is: scaled with its aspect ratio kept, centred.
TEST(SvgDocument, FittedCentred) {
  const auto wide = drawn(svg("viewBox='0 0 200 100'", "<rect width='200' height='100'/>"));
  EXPECT_EQ(testing::inkBox(wide), (testing::InkBox{0, 25, 100, 75}));
  const auto tall = drawn(svg("width='1in' height='2in'", "<rect width='100%' height='100%'/>"));
  EXPECT_EQ(testing::inkBox(tall), (testing::InkBox{25, 0, 75, 100}));
}

}  // namespace
}  // namespace tovanel
