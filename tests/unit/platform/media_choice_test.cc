#include "platform/media_choice.h"

#include <gtest/gtest.h>

namespace tovanel {
namespace {

PaperSize mm(double width, double height) {
  return {width * 72 / 25.4, height * 72 / 25.4};
}

const Medium kLetter{"na_letter_8.5x11in", mm(215.9, 279.4)};
const Medium kLegal{"na_legal_8.5x14in", mm(215.9, 355.6)};
const Medium kA4{"iso_a4_210x297mm", mm(210, 297)};
const Medium kA6{"iso_a6_105x148mm", mm(105, 148)};
const Medium kEnv10{"na_number-10_4.125x9.5in", mm(104.78, 241.3)};
const Medium k4x6{"na_index-4x6_4x6in", mm(101.6, 152.4)};

// An office printer of named sizes only, Letter by default, A4 loaded.
MediaOffer office() {
  MediaOffer offer;
  offer.known = true;
  offer.listed = {kLetter, kLegal, kA4, kEnv10};
  offer.defaultMedium = kLetter;
  offer.ready = {kA4};
  return offer;
}

// A label printer of 4 x 6 in labels that takes custom sizes from 0.5 in to 8 x 50 in.
MediaOffer label() {
  MediaOffer offer;
  offer.known = true;
  offer.listed = {kA4, k4x6};
  offer.customMin = mm(12.7, 12.7);
  offer.customMax = mm(203.2, 1270);
  offer.defaultMedium = k4x6;
  return offer;
}

// Tests the order of choice: a listed size equal to the page, then a custom size in range,
// then the default, loaded and smallest listed sheet that holds the page unrotated.
TEST(MediaChoice, PagesGoOnMediaThePrinterHas) {
  MediaOffer a6Default = office();
  a6Default.listed.push_back(kA6);
  a6Default.defaultMedium = kA6;
  MediaOffer nothingLoaded = a6Default;
  nothingLoaded.ready.clear();
  const MediaOffer unknown;
  const struct {
    const char* what;
    const MediaOffer& offer;
    PaperSize page;
    std::optional<Medium> medium;  // nothing: the custom size
  } cases[] = {
      {"4x6 on a label printer: its own name", label(), mm(101.6, 152.4), k4x6},
      {"within half a millimetre", label(), mm(101.2, 152.8), k4x6},
      {"a custom size in range", label(), mm(100, 50), std::nullopt},
      {"below the custom range: the default", label(), mm(10, 10), k4x6},
      {"4x6 on an office printer: its default", office(), mm(101.6, 152.4), kLetter},
      {"landscape, unrotated, on the default", office(), mm(152.4, 101.6), kLetter},
      {"a default too small: the loaded", a6Default, mm(101.6, 152.4), kA4},
      {"nothing loaded: the smallest listed", nothingLoaded, mm(101.6, 152.4), kEnv10},
      {"taller than Letter: Legal", office(), mm(200, 300), kLegal},
      {"a queue that tells nothing", unknown, mm(101.6, 152.4), std::nullopt},
  };
  for (const auto& c : cases) {
    const auto choice = chooseMedia(c.offer, c.page);
    ASSERT_TRUE(choice) << c.what;
    EXPECT_EQ(choice->medium, c.medium) << c.what;
    EXPECT_EQ(choice->sheet, c.medium ? c.medium->size : c.page) << c.what;
  }
}

// Tests that no medium is chosen when none holds the page, nor one only half a millimetre
// and a hair short.
TEST(MediaChoice, NothingWhenNoMediumHoldsThePage) {
  EXPECT_FALSE(chooseMedia(office(), mm(300, 500)));
  EXPECT_FALSE(chooseMedia(label(), mm(300, 500)));
  MediaOffer only4x6 = label();
  only4x6.customMin.reset();
  only4x6.listed = {k4x6};
  EXPECT_FALSE(chooseMedia(only4x6, mm(101.6, 153.0)));
  EXPECT_TRUE(chooseMedia(only4x6, mm(101.6, 152.8)));
}

}  // namespace
}  // namespace tovanel
