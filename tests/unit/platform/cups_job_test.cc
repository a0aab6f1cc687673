// The CUPS job of a page: the medium it goes on, and the options that print it as drawn.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/cups_job_options.h"
#include "platform/media_choice.h"

namespace tovanel {
namespace {

PaperSize mm(double width, double height) {
  return {width * 72 / 25.4, height * 72 / 25.4};
}

// Tests that a page goes on the first medium in the order of choice that holds it, or none.
TEST(MediaChoice, PagesGoOnMediaThePrinterHas) {
  const Medium letter{"letter", mm(215.9, 279.4)}, legal{"legal", mm(215.9, 355.6)},
      a4{"a4", mm(210, 297)}, a6{"a6", mm(105, 148)}, env10{"env10", mm(104.78, 241.3)},
      label4x6{"4x6", mm(101.6, 152.4)};
  const MediaOffer office{{letter, legal, a4, env10}, {}, {}, letter, {a4}, true};
  const MediaOffer a6Default{{letter, a4, env10, a6}, {}, {}, a6, {a4}, true};
  const MediaOffer nothingLoaded{{letter, a4, env10, a6}, {}, {}, a6, {}, true};
  const MediaOffer label{{a4, label4x6}, mm(12.7, 12.7), mm(203.2, 1270), label4x6, {}, true};
  const MediaOffer only4x6{{label4x6}, {}, {}, {}, {}, true};
  const std::tuple<MediaOffer, PaperSize, const char*> cases[] = {
      {label, mm(101.2, 152.8), "4x6"},    {label, mm(100, 50), "custom"},
      {label, mm(10, 10), "4x6"},          {office, mm(101.6, 152.4), "letter"},
      {a6Default, mm(101.6, 152.4), "a4"}, {nothingLoaded, mm(101.6, 152.4), "env10"},
      {office, mm(200, 300), "legal"},     {MediaOffer{}, mm(101.6, 152.4), "custom"},
      {only4x6, mm(101.6, 153.0), "none"}, {label, mm(300, 500), "none"}};
  for (const auto& [offer, page, expected] : cases) {
    const auto choice = chooseMedia(offer, page).value_or(MediaChoice{Medium{"none", {}}, {}});
    const Medium medium = choice.medium.value_or(Medium{"custom", page});
    EXPECT_EQ(medium.name, expected) << page.width << " x " << page.height;
    EXPECT_EQ(choice.sheet, medium.size) << expected;
  }
}

// Tests custom sizes, pages as drawn, copies that fit IPP, impossible pages, titles cut whole.
TEST(CupsJobOptions, SizeCopiesAndTitleAsCupsTakesThem) {
  // An "\u00e9" in bytes 255 and 256 would be cut in two at 255.
  const std::string x(300, 'x'), accented = std::string(254, 'x') + "\u00e9";
  const std::tuple<PaperSize, int64_t, std::string, std::string> cases[] = {
      {{288, 432.00000000000006}, 3, x, "Custom.288x432.00000000000006 3 " + x.substr(0, 255)},
      {{14400, 1.5}, 0, accented, "Custom.14400x1.5 0 " + x.substr(0, 254)},
      {{1, 1}, INT32_MAX, "", "Custom.1x1 2147483647 "},
      {{1, 1}, INT32_MIN, "", "Custom.1x1 -2147483648 "},
      {{1, 1}, int64_t{1} << 31, "", "no job"},
      {{1, 1}, -(int64_t{1} << 31) - 1, "", "no job"},
      {{100, 0.999}, 1, "", "no job"},
      {{INFINITY, 432}, 1, "", "no job"}};
  for (const auto& [page, copies, title, expected] : cases) {
    PrintJobSettings settings;
    settings.paperSize = page;
    settings.copiesAttribute = copies;
    settings.jobTitle = title;
    const auto job = cupsJobFor(settings, {{}, page});
    EXPECT_EQ(
        job ? job->options.front().second + " " + job->options.back().second + " " + job->title
            : "no job",
        expected);
    EXPECT_TRUE(!job || job->options[1].second + job->options[2].second == "nonetrue");
  }
}

}  // namespace
}  // namespace tovanel
