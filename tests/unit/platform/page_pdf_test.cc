#include "platform/page_pdf.h"

#include <gtest/gtest.h>

#include <string>

namespace tovanel {
namespace {

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

  const std::string reduced =
      pagePdf({283.46456692913387, 141.73228346456693}, solidImage(2000, 1000));
  EXPECT_NE(reduced.find("/MediaBox [ 0 0 283.464567 141.732283 ]"), std::string::npos);
  EXPECT_NE(reduced.find("/Interpolate true"), std::string::npos);
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
