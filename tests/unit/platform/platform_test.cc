// The CUPS job of a page: the medium it goes on, and the options that print it as drawn.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/libcups/cups_job_options.h"
#include "platform/libcups/media_choice.h"
#include "support/fake_printing_services.h"
#include "support/rows.h"

namespace tovanel {

// How gtest names media in a failure.
inline void PrintTo(const MediaSize& size, std::ostream* out) {
  *out << size.width << " x " << size.height;
}
inline void PrintTo(const Medium& medium, std::ostream* out) {
  *out << medium.name << " (" << ::testing::PrintToString(medium.size) << ")";
}
inline void PrintTo(const MediaChoice& choice, std::ostream* out) {
  *out << "{medium " << ::testing::PrintToString(choice.medium) << ", sheet "
       << ::testing::PrintToString(choice.sheet) << (choice.turned ? ", turned}" : "}");
}

namespace {

PaperSize mm(double width, double height) {
  return {width * 72 / 25.4, height * 72 / 25.4};
}
MediaChoice on(const Medium& medium) {
  return {medium, pointsOf(medium.size), false};
}
MediaChoice turned(const Medium& medium) {
  return {medium, pointsOf(medium.size), true};
}
MediaChoice custom(const PaperSize& page) {
  return {std::nullopt, page, false};
}

using Choices = testing::Row<PaperSize, std::optional<MediaChoice>>;

const Medium letter{"letter", {21590, 27940}}, legal{"legal", {21590, 35560}},
    a4{"a4", {21000, 29700}}, a6{"a6", {10500, 14800}}, env10{"env10", {10477, 24130}},
    label4x6{"4x6", {10160, 15240}}, label4x8{"4x8", {10160, 20320}}, prc1{"prc1", {10200, 16500}};

// Tests that a page goes on the first medium in the order of choice that holds it, or none.
TEST(MediaChoice, PagesGoOnMediaThePrinterHas) {
  const MediaOffer office{
      .listed = {letter, legal, a4, env10}, .defaultMedium = letter, .ready = {a4}, .known = true};
  MediaOffer a6Default = office, nothingLoaded = office;
  a6Default.listed.push_back(a6), a6Default.defaultMedium = a6;
  nothingLoaded = a6Default, nothingLoaded.ready.clear();
  const MediaOffer roll{.listed = {label4x6, label4x8},
                        .customMin = MediaSize{1905, 635},
                        .customMax = MediaSize{10160, 100584},
                        .defaultMedium = label4x6,
                        .known = true};
  MediaOffer wideLabels = roll;
  wideLabels.customMax = MediaSize{20320, 127000};
  const Medium loaded{"4x6 loaded", {10160, 15240}};
  const MediaOffer loadedTwin{.listed = {label4x6, loaded}, .ready = {loaded}, .known = true};
  const PaperSize label = mm(101.6, 152.4);
  // clang-format off
  const Choices onOffice[] = {
      {.name = "0.5 mm narrower", .in = mm(104.27, 241.3), .expect = on(env10)},
      {.name = "0.5 mm shorter", .in = mm(104.77, 240.8), .expect = on(env10)},
      {.name = "0.51 mm narrower: a sheet", .in = mm(104.26, 241.3), .expect = on(letter)},
      {.name = "Letter landscape", .in = mm(279.4, 215.9), .expect = turned(letter)},
      {.name = "A4 landscape", .in = mm(297, 210), .expect = turned(a4)},
      {.name = "Env10 landscape, not on Letter", .in = mm(241.3, 104.77), .expect = turned(env10)},
      {.name = "the default holds a label", .in = label, .expect = on(letter)},
      {.name = "the smallest that holds", .in = mm(200, 300), .expect = on(legal)},
      {.name = "a sheet holds it turned", .in = mm(300, 200), .expect = turned(legal)},
      {.name = "nothing holds it, nor turned", .in = mm(360, 220)}};
  const Choices onRoll[] = {
      {.name = "a listed size 0.4 mm off", .in = mm(101.2, 152.8), .expect = on(label4x6)},
      {.name = "custom in the range", .in = mm(100, 50), .expect = custom(mm(100, 50))},
      {.name = "the lower bounds", .in = mm(19.05, 6.35), .expect = custom(mm(19.05, 6.35))},
      {.name = "the upper bounds", .in = mm(101.6, 1005.84), .expect = custom(mm(101.6, 1005.84))},
      {.name = "0.01 mm too wide: a sheet", .in = mm(101.61, 160), .expect = on(label4x8)},
      {.name = "0.4 mm too wide: a sheet", .in = mm(102, 200), .expect = on(label4x8)},
      {.name = "0.35 mm too narrow", .in = mm(18.7, 50), .expect = on(label4x6)},
      {.name = "below both ways: the default", .in = mm(10, 5), .expect = on(label4x6)},
      {.name = "nothing holds it", .in = mm(300, 500)}};
  // A label on queues that differ in what they list, have loaded or say.
  const testing::Row<MediaOffer, std::optional<MediaChoice>> onOthers[] = {
      {.name = "a loaded twin first", .in = loadedTwin, .expect = on(loaded)},
      {.name = "after the default, a loaded sheet", .in = a6Default, .expect = on(a4)},
      {.name = "then the smallest listed", .in = nothingLoaded, .expect = on(env10)},
      {.name = "a queue that says nothing: custom", .expect = custom(label)}};
  // clang-format on
  testing::expectRows(onOthers, [&](const MediaOffer& offer) { return chooseMedia(offer, label); });
  testing::expectRows(onOffice, [&](const PaperSize& page) { return chooseMedia(office, page); });
  testing::expectRows(onRoll, [&](const PaperSize& page) { return chooseMedia(roll, page); });
  // A page equal to a listed size turned goes on it before it would go as a custom size.
  EXPECT_EQ(chooseMedia(wideLabels, mm(152.4, 101.6)), turned(label4x6));
}

// Tests that a queue's offer keeps only what its printer takes, and the stock it has loaded.
TEST(MediaChoice, OfferReducedToWhatThePrinterTakes) {
  const MediaSize upTo4Inches{10160, 100584}, upTo102Mm{10200, 100584};
  const MediaOffer queue{.listed = {label4x6, prc1, label4x8},
                         .customMin = MediaSize{1905, 635},
                         .customMax = MediaSize{20000, 100584},
                         .defaultMedium = prc1,
                         .ready = {label4x8},
                         .known = true};
  // clang-format off
  const testing::Row<PrinterMedia, MediaOffer> rows[] = {
      {.name = "a rounded size goes; loaded stock as the printer says",
       .in = {.sizes = {{10160, 15240}, {10160, 16510}, {10160, 20320}},
              .customMin = MediaSize{2000, 600}, .customMax = upTo4Inches,
              .ready = {{10160, 15240}}},
       .expect = {.listed = {label4x6, label4x8}, .customMin = MediaSize{2000, 635},
                  .customMax = upTo4Inches, .ready = {label4x6}, .known = true}},
      {.name = "no custom sizes without the printer's range", .in = {.sizes = {{10160, 15240}}},
       .expect = {.listed = {label4x6}, .known = true}},
      {.name = "a size in the printer's range stays; loaded stock as the queue says",
       .in = {.customMin = MediaSize{1000, 600}, .customMax = upTo102Mm},
       .expect = {.listed = {label4x6, prc1, label4x8}, .customMin = MediaSize{1905, 635},
                  .customMax = upTo102Mm, .defaultMedium = prc1, .ready = {label4x8},
                  .known = true}}};
  // clang-format on
  testing::expectRows(
      rows, [&queue](const PrinterMedia& printer) { return takenByPrinter(queue, printer); });
}

// Tests the job's options: medium or custom size, no scaling, copies that fit IPP, whole titles.
TEST(CupsJobOptions, SizeCopiesAndTitleAsCupsTakesThem) {
  // An "\u00e9" in bytes 255 and 256 would be cut in two at 255.
  const std::string x(300, 'x'), accented = std::string(254, 'x') + "\u00e9";
  const auto job = [](std::string size, std::string copies, std::string title) {
    const std::string name = size.starts_with("Custom.") ? "PageSize" : "media";
    return CupsJob{.queue = "Q",
                   .title = std::move(title),
                   .options = {{name, std::move(size)},
                               {"print-scaling", "none"},
                               {"nopdfAutoRotate", "true"},
                               {"copies", std::move(copies)}}};
  };
  // clang-format off
  const struct {
    const char* name = "";
    MediaChoice media = custom({1, 1});
    int64_t copies = 0;
    std::string title = "";
    std::optional<CupsJob> expect = {};
  } rows[] = {
      {.name = "a custom size in the shortest text, a title cut at 255 bytes",
       .media = custom({288, 432.00000000000006}), .copies = 3, .title = x,
       .expect = job("Custom.288x432.00000000000006", "3", x.substr(0, 255))},
      {.name = "a medium by name; a title cut before a character", .media = on(label4x6),
       .title = accented, .expect = job("4x6", "0", x.substr(0, 254))},
      {.name = "the most copies IPP holds", .copies = INT32_MAX,
       .expect = job("Custom.1x1", "2147483647", "")},
      {.name = "the fewest", .copies = INT32_MIN, .expect = job("Custom.1x1", "-2147483648", "")},
      {.name = "one copy too many", .copies = int64_t{1} << 31},
      {.name = "one too few", .copies = -(int64_t{1} << 31) - 1}};
  // clang-format on
  testing::forEachRow(rows, [](const auto& row) {
    PrintJobSettings settings;
    settings.printer.destination = "Q";
    settings.paperSize = row.media.sheet;
    settings.copiesAttribute = row.copies;
    settings.jobTitle = row.title;
    EXPECT_EQ(cupsJobFor(settings, row.media), row.expect);
  });
}

// Tests that only finite pages between a point and 200 inches a side reach a printer.
TEST(MediaChoice, PrintablePageSizes) {
  // clang-format off
  const testing::Row<PaperSize, bool> rows[] = {
      {.name = "one point each way", .in = {1, 1}, .expect = true},
      {.name = "200 inches each way", .in = {14400, 14400}, .expect = true},
      {.name = "under a point high", .in = {100, 0.999}},
      {.name = "over 200 inches wide", .in = {14400.001, 100}},
      {.name = "infinitely wide", .in = {INFINITY, 432}},
      {.name = "not a number high", .in = {288, NAN}},
      {.name = "negative", .in = {-288, 432}}};
  // clang-format on
  testing::expectRows(rows, isPrintablePageSize);
}

}  // namespace
}  // namespace tovanel
