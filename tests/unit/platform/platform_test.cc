// The CUPS job of a page: the medium it goes on, and the options that print it as drawn.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/libcups/cups_job_options.h"
#include "platform/libcups/media_choice.h"

namespace tovanel {

// How gtest names media in a failure.
inline void PrintTo(const MediaSize& size, std::ostream* out) {
  *out << size.width << " x " << size.height;
}
inline void PrintTo(const Medium& medium, std::ostream* out) {
  *out << medium.name << " (" << ::testing::PrintToString(medium.size) << ")";
}
inline void PrintTo(const MediaChoice& choice, std::ostream* out) {
  *out << "{medium " << ::testing::PrintToString(choice.medium) << ", sheet " << choice.sheet.width
       << " x " << choice.sheet.height << (choice.turned ? ", turned}" : "}");
}
inline void PrintTo(const CupsJob& job, std::ostream* out) {
  *out << "{" << job.queue << ", \"" << job.title << "\", " << ::testing::PrintToString(job.options)
       << "}";
}
inline void PrintTo(const MediaOffer& offer, std::ostream* out) {
  *out << "{listed " << ::testing::PrintToString(offer.listed) << ", custom "
       << ::testing::PrintToString(offer.customMin) << " to "
       << ::testing::PrintToString(offer.customMax) << ", default "
       << ::testing::PrintToString(offer.defaultMedium) << ", ready "
       << ::testing::PrintToString(offer.ready) << (offer.known ? "}" : ", unknown}");
}

namespace {

PaperSize mm(double width, double height) {
  return {width * 72 / 25.4, height * 72 / 25.4};
}
MediaChoice on(const Medium& medium, bool turned = false) {
  return {medium, pointsOf(medium.size), turned};
}
MediaChoice custom(const PaperSize& page) {
  return {std::nullopt, page, false};
}

const Medium letter{"letter", {21590, 27940}}, legal{"legal", {21590, 35560}},
    a4{"a4", {21000, 29700}}, a6{"a6", {10500, 14800}}, env10{"env10", {10477, 24130}},
    label4x6{"4x6", {10160, 15240}}, label4x8{"4x8", {10160, 20320}}, prc1{"prc1", {10200, 16500}};

// Tests that a page goes on the first medium in the order of choice that holds it, or none.
TEST(MediaChoice, PagesGoOnMediaThePrinterHas) {
  const MediaOffer office{
      .listed = {letter, legal, a4, env10}, .defaultMedium = letter, .ready = {a4}, .known = true};
  MediaOffer a6Default = office;
  a6Default.listed.push_back(a6), a6Default.defaultMedium = a6;
  MediaOffer nothingLoaded = a6Default;
  nothingLoaded.ready.clear();
  const MediaOffer roll{.listed = {label4x6, label4x8},
                        .customMin = MediaSize{1905, 635},
                        .customMax = MediaSize{10160, 100584},
                        .defaultMedium = label4x6,
                        .known = true};
  MediaOffer wideLabels = roll;
  wideLabels.customMax = MediaSize{20320, 127000};
  const MediaOffer loadedTwin{.listed = {label4x6, {"4x6 loaded", {10160, 15240}}},
                              .ready = {{"4x6 loaded", {10160, 15240}}},
                              .known = true};
  const struct {
    const char* name;
    MediaOffer offer;
    PaperSize page;
    std::optional<MediaChoice> expect;
  } rows[] = {
      {"a listed size within 0.5 mm", roll, mm(101.2, 152.8), on(label4x6)},
      {"0.5 mm narrower", office, mm(104.27, 241.3), on(env10)},
      {"0.5 mm shorter", office, mm(104.77, 240.8), on(env10)},
      {"0.51 mm narrower: a sheet that holds it", office, mm(104.26, 241.3), on(letter)},
      {"a loaded size before a listed twin", loadedTwin, mm(101.6, 152.4), on(loadedTwin.ready[0])},
      {"Letter landscape goes on Letter turned", office, mm(279.4, 215.9), on(letter, true)},
      {"A4 landscape goes on A4 turned", office, mm(297, 210), on(a4, true)},
      {"6 x 4 goes on 4 x 6 stock turned", roll, mm(152.4, 101.6), on(label4x6, true)},
      {"turned on a listed size before a custom size", wideLabels, mm(152.4, 101.6),
       on(label4x6, true)},
      {"Env10 landscape on Env10 turned, not on Letter", office, mm(241.3, 104.77),
       on(env10, true)},
      {"custom size inside the range", roll, mm(100, 50), custom(mm(100, 50))},
      {"custom size on the range's lower bounds", roll, mm(19.05, 6.35), custom(mm(19.05, 6.35))},
      {"custom size on the upper bounds", roll, mm(101.6, 1005.84), custom(mm(101.6, 1005.84))},
      {"0.01 mm too wide for the range: a sheet", roll, mm(101.61, 160), on(label4x8)},
      {"0.4 mm too wide: no custom size, a sheet", roll, mm(102, 200), on(label4x8)},
      {"0.35 mm too narrow for the range", roll, mm(18.7, 50), on(label4x6)},
      {"below the range both ways: the default", roll, mm(10, 5), on(label4x6)},
      {"the default holds a label", office, mm(101.6, 152.4), on(letter)},
      {"then a loaded sheet", a6Default, mm(101.6, 152.4), on(a4)},
      {"then the smallest listed sheet", nothingLoaded, mm(101.6, 152.4), on(env10)},
      {"the smallest that holds", office, mm(200, 300), on(legal)},
      {"a sheet that holds the page turned", office, mm(300, 200), on(legal, true)},
      {"a queue that says nothing: custom", MediaOffer{}, mm(101.6, 152.4),
       custom(mm(101.6, 152.4))},
      {"nothing holds it", roll, mm(300, 500), std::nullopt},
      {"nothing holds it turned either", office, mm(360, 220), std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(chooseMedia(row.offer, row.page), row.expect);
  }
}

// Tests that a queue's offer keeps only what its printer takes, and the stock it has loaded.
TEST(MediaChoice, OfferReducedToWhatThePrinterTakes) {
  const MediaOffer queue{.listed = {label4x6, prc1, label4x8},
                         .customMin = MediaSize{1905, 635},
                         .customMax = MediaSize{20000, 100584},
                         .defaultMedium = prc1,
                         .ready = {label4x8},
                         .known = true};
  const PrinterMedia lprint{.sizes = {{10160, 15240}, {10160, 16510}, {10160, 20320}},
                            .customMin = MediaSize{2000, 600},
                            .customMax = MediaSize{10160, 100584},
                            .ready = {{10160, 15240}}};
  MediaOffer fedFromRoll = queue;
  fedFromRoll.listed = {label4x6, label4x8}, fedFromRoll.defaultMedium.reset();
  fedFromRoll.customMin = MediaSize{2000, 635}, fedFromRoll.customMax = lprint.customMax;
  fedFromRoll.ready = {label4x6};
  MediaOffer sheetsOnly = fedFromRoll;
  sheetsOnly.customMin.reset(), sheetsOnly.customMax.reset(), sheetsOnly.listed = {label4x6};
  sheetsOnly.ready = {};
  MediaOffer rollSaysNothingLoaded = fedFromRoll;
  rollSaysNothingLoaded.listed = {label4x6, prc1, label4x8},
  rollSaysNothingLoaded.ready = {label4x8};
  rollSaysNothingLoaded.defaultMedium = prc1;
  rollSaysNothingLoaded.customMin = queue.customMin;
  rollSaysNothingLoaded.customMax = MediaSize{10200, 100584};
  const struct {
    const char* name;
    PrinterMedia printer;
    MediaOffer expect;
  } rows[] = {
      {"a rounded size goes, the loaded stock is the printer's", lprint, fedFromRoll},
      {"no custom sizes without the printer's range", {.sizes = {{10160, 15240}}}, sheetsOnly},
      {"a size inside the printer's range stays; the queue's loaded stock when it says none",
       {.customMin = MediaSize{1000, 600}, .customMax = MediaSize{10200, 100584}},
       rollSaysNothingLoaded},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(takenByPrinter(queue, row.printer), row.expect);
  }
}

// Tests the job's whole option list: the medium or the custom size, a page printed as
// drawn, copies that fit IPP, and titles cut whole.
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
  const struct {
    const char* name;
    MediaChoice media;
    int64_t copies;
    std::string title;
    std::optional<CupsJob> expect;
  } rows[] = {
      {"a custom size in the shortest text, a title cut at 255 bytes",
       custom({288, 432.00000000000006}), 3, x,
       job("Custom.288x432.00000000000006", "3", x.substr(0, 255))},
      {"a medium by name; a title cut before a character", on(label4x6), 0, accented,
       job("4x6", "0", x.substr(0, 254))},
      {"the most copies IPP holds", custom({1, 1}), INT32_MAX, "",
       job("Custom.1x1", "2147483647", "")},
      {"the fewest", custom({1, 1}), INT32_MIN, "", job("Custom.1x1", "-2147483648", "")},
      {"one copy too many", custom({1, 1}), int64_t{1} << 31, "", std::nullopt},
      {"one too few", custom({1, 1}), -(int64_t{1} << 31) - 1, "", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    PrintJobSettings settings;
    settings.printer.destination = "Q";
    settings.paperSize = row.media.sheet;
    settings.copiesAttribute = row.copies;
    settings.jobTitle = row.title;
    EXPECT_EQ(cupsJobFor(settings, row.media), row.expect);
  }
}

// Tests that only finite pages between a point and 200 inches a side reach a printer.
TEST(MediaChoice, PrintablePageSizes) {
  const struct {
    const char* name;
    PaperSize page;
    bool expect;
  } rows[] = {
      {"one point each way", {1, 1}, true},
      {"200 inches each way", {14400, 14400}, true},
      {"under a point high", {100, 0.999}, false},
      {"over 200 inches wide", {14400.001, 100}, false},
      {"infinitely wide", {INFINITY, 432}, false},
      {"not a number high", {288, NAN}, false},
      {"negative", {-288, 432}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(isPrintablePageSize(row.page), row.expect);
  }
}

}  // namespace
}  // namespace tovanel
