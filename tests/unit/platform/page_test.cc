// The page: where the image lands, which sizes may print, and the PDF written.
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <string>

#include "platform/image_decoding.h"
#include "platform/page_layout.h"
#include "platform/page_pdf.h"
#include "support/cups_sandbox.h"
#include "support/print_images.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

// Tests that the image fits the frame on one side, keeps its shape and is centred.
TEST(PageLayout, ImageFitsTheFrameAndIsCentred) {
  const struct {
    PaperSize frame;
    int width, height;
    ImagePlacement expected;
  } cases[] = {
      {{288, 432}, 1218, 1812, {0, (432 - 1812 * (288.0 / 1218)) / 2, 288.0 / 1218}},
      {{288, 432}, 400, 300, {0, 108, 0.72}},    // wider than the page
      {{288, 432}, 120, 600, {100.8, 0, 0.72}},  // taller than the page
      {{100, 100}, 1, 1, {0, 0, 100}},           // a single pixel fills a square
      {{283.5, 141.75}, 300, 400, {(283.5 - 300 * (141.75 / 400)) / 2, 0, 141.75 / 400}},
      {{14400, 36}, 1, 32767, {(14400 - 36.0 / 32767) / 2, 0, 36.0 / 32767}},
  };
  for (const auto& c : cases) {
    const auto placement = fitImage(c.frame, c.width, c.height);
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    EXPECT_DOUBLE_EQ(placement.scale, c.expected.scale);
    EXPECT_DOUBLE_EQ(placement.x, c.expected.x);
    EXPECT_DOUBLE_EQ(placement.y, c.expected.y);
    EXPECT_LE(c.width * placement.scale, c.frame.width * (1 + 1e-12));
    EXPECT_LE(c.height * placement.scale, c.frame.height * (1 + 1e-12));
  }
}

// Tests which page sizes a print may have: 1 point to 200 inches a side.
TEST(PageLayout, PrintablePageSizes) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  const struct {
    PaperSize page;
    bool printable;
  } cases[] = {
      {{288, 432.00000000000006}, true},
      {{1, 1}, true},
      {{100, 0.999}, false},
      {{0, 432}, false},
      {{-288, 432}, false},
      {{288, -0.0}, false},
      {{kNaN, 432}, false},
      {{kInfinity, 432}, false},
      {{14400.000000000002, 100}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isPrintablePageSize(c.page), c.printable) << c.page.width << " x " << c.page.height;
  }
}

CairoImage solidImage(int width, int height) {
  CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  cairo_t* context = cairo_create(surface.get());
  cairo_set_source_rgb(context, 0, 0, 0);
  cairo_paint(context);
  cairo_destroy(context);
  return CairoImage(std::move(surface));
}

// The whole PDF of one page, or "" when writing it failed.
std::string pagePdf(const PaperSize& page, const CairoImage& image) {
  std::string pdf;
  const bool written = writeImagePage(page, page, image, [&pdf](auto bytes) {
    pdf.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
  });
  return written ? pdf : "";
}

// Tests one page of the page's size, and no smoothing of an enlarged image.
TEST(PagePdf, OnePageOfTheSizeWithSharpEnlargements) {
  const std::string enlarged = pagePdf({288, 432}, solidImage(20, 30));
  ASSERT_TRUE(enlarged.starts_with("%PDF-"));
  EXPECT_NE(enlarged.find("/MediaBox [ 0 0 288 432 ]"), std::string::npos);
  EXPECT_NE(enlarged.find("/Count 1"), std::string::npos);
  EXPECT_NE(enlarged.find("/Interpolate false"), std::string::npos);
  EXPECT_EQ(enlarged.find("/Interpolate true"), std::string::npos);

  // A 203 dpi label on its 4 x 6 in page is drawn pixel for pixel by a label printer.
  const std::string labelResolution = pagePdf({288, 432}, solidImage(812, 1218));
  EXPECT_NE(labelResolution.find("/Interpolate false"), std::string::npos);

  const std::string reduced =
      pagePdf({283.46456692913387, 141.73228346456693}, solidImage(2000, 1000));
  EXPECT_NE(reduced.find("/MediaBox [ 0 0 283.464567 141.732283 ]"), std::string::npos);
  EXPECT_NE(reduced.find("/Interpolate true"), std::string::npos);
}

// The page as pdftoppm renders it at `dpi`, grey, the way a label printer's filter does.
std::string renderedPage(const std::string& pdf, int dpi) {
  const testing::TemporaryFolder folder;
  std::ofstream(folder.file("page.pdf"), std::ios::binary) << pdf;
  const auto rendered =
      testing::runShell("pdftoppm -gray -r " + std::to_string(dpi) + " '" +
                        folder.file("page.pdf") + "' '" + folder.file("page") + "'");
  return rendered.status == 0 ? testing::readFile(folder.file("page-1.pgm")) : "";
}

// Tests that a black-and-white label goes into the page as 1-bit CCITT data and renders
// pixel for pixel as the page drawn from its colours, reduced, smoothed or enlarged; and
// that an image with any other colour keeps its colours.
TEST(PagePdf, BlackAndWhiteLabelsAre1BitPagesOfTheSamePixels) {
  const struct {
    int width, height, module;
    PaperSize page;
    int dpi;
  } cases[] = {
      {1218, 1812, 4, {288, 432.00000000000006}, 203},  // smoothed, as the benchmark label
      {1218, 1812, 4, {292.32, 434.88}, 203},           // 300 pixels an inch: not smoothed
      {406, 604, 1, {288, 432}, 300},                   // enlarged
      {1201, 803, 3, {288, 432}, 600},                  // odd sizes, landscape on portrait
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const auto decoded =
        decodeImageBytes(testing::code128LabelPng("TOVANEL-4711", c.width, c.height, c.module));
    ASSERT_TRUE(decoded.image);
    const std::string oneBit = pagePdf(c.page, *decoded.image);
    const std::string colourPage =
        pagePdf(c.page, CairoImage(testing::coloursOnly(decoded.image->surface())));
    EXPECT_NE(oneBit.find("/CCITTFaxDecode"), std::string::npos);
    EXPECT_EQ(colourPage.find("/CCITTFaxDecode"), std::string::npos);
    const std::string rendered = renderedPage(oneBit, c.dpi);
    ASSERT_FALSE(rendered.empty());
    EXPECT_TRUE(rendered == renderedPage(colourPage, c.dpi));
  }
  const auto antialiased =
      decodeImageBytes(testing::code128LabelPng("TOVANEL-4711", 1218, 1812, 4, true));
  EXPECT_EQ(pagePdf({288, 432}, *antialiased.image).find("/CCITTFaxDecode"), std::string::npos);
}

// Tests that an impossible page writes nothing, and a failing sink fails the page.
TEST(PagePdf, FailsWithoutPretending) {
  const CairoImage image = solidImage(20, 30);
  int writes = 0;
  const auto counting = [&writes](auto) { return ++writes, true; };
  for (const PaperSize page : {PaperSize{0, 432}, PaperSize{288, -1}, PaperSize{1e9, 1e9}}) {
    EXPECT_FALSE(writeImagePage(page, page, image, counting));
  }
  EXPECT_EQ(writes, 0);

  EXPECT_FALSE(writeImagePage({288, 432}, {288, 432}, image, [](auto) { return false; }));
  int accepted = 0;
  EXPECT_FALSE(
      writeImagePage({288, 432}, {288, 432}, image, [&accepted](auto) { return ++accepted < 3; }));
}

}  // namespace
}  // namespace tovanel
