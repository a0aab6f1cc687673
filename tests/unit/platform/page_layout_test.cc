#include "platform/page_layout.h"

#include <gtest/gtest.h>

#include <limits>

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

}  // namespace
}  // namespace tovanel
