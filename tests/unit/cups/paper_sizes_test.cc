// Paper-size keywords to millimetres: the table, case, the custom form and its numbers.
#include "cups/paper_sizes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "text/text.h"

namespace tovanel {
namespace {

constexpr PaperDimensions kZero{0, 0};

// Tests that the table's keywords are distinct in lower case, and its trickiest values.
TEST(PaperSizes, TableHoldsTheExactValues) {
  std::set<std::string> lowered;
  for (const auto& known : knownPaperSizes())
    lowered.insert(lowercase(known.keyword));
  EXPECT_EQ(lowered.size(), knownPaperSizes().size());
  const struct {
    const char* keyword;
    PaperDimensions expected;
  } cases[] = {
      {"Executive", {184.15, 266.7}}, {"Env10", {104.78, 241.3}},  // not 104.775
      {"w288h432", {101.6, 152.4}},  // the custom rule would give 152.39999999999998
      {"w162h288", {57.15, 101.6}},  // and 57.150000000000006 here
      {"4x6.bl", {101.6, 152.4}},     {"8x10", {203.2, 254.0}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(paperSizeDimensions(c.keyword), c.expected) << c.keyword;
}

// Tests every keyword form: the table in any case, the custom form, and the rejected.
TEST(PaperSizes, KeywordForms) {
  const struct {
    std::string keyword;
    PaperDimensions expected;
  } cases[] = {
      {"a4", {210.0, 297.0}},
      {"4x6.BL", {101.6, 152.4}},
      {"W288H432", {101.6, 152.4}},  // the table, not the rule
      {"w100h150", {35.27777777777778, 52.916666666666664}},
      {"W100H150", {35.27777777777778, 52.916666666666664}},
      {"w288h360.5", {101.6, 360.5 * 25.4 / 72}},
      {"w0x48h1e2", {72 * 25.4 / 72, 100 * 25.4 / 72}},  // hexadecimal and exponent
      {"w+72h-72", {25.4, -25.4}},
      // Rejected forms.
      {"w100", kZero},
      {"w100h", kZero},
      {"wh100", kZero},
      {"w 100h150", kZero},  // a leading blank
      {"w100h\t150", kZero},
      {"w100h150mm", kZero},  // text left over
      {"w1,5h30", kZero},     // never the locale's comma
      {"w1e400h10", kZero},   // beyond a double
      {"w1e-400h10", kZero},  // underflow
      {std::string("w1h2\0", 5), kZero},
      {"Custom.WIDTHxHEIGHT", kZero},
      {"", kZero},
      {"\u0175100h100", kZero},  // w with circumflex is not w
  };
  for (const auto& c : cases)
    EXPECT_EQ(paperSizeDimensions(c.keyword), c.expected) << c.keyword;
  // The texts for infinity and not-a-number read as numbers, as strtod has it.
  EXPECT_TRUE(std::isinf(paperSizeDimensions("winfh10").width));
  EXPECT_TRUE(std::isnan(paperSizeDimensions("wNaNh10").width));
}

// Tests that the conversion multiplies first and divides second, without rounding.
TEST(PaperSizes, PointsToMillimetresDoesNotRound) {
  EXPECT_EQ(pointsToMillimetres(288), 101.6);
  EXPECT_EQ(pointsToMillimetres(432), 152.39999999999998);
  EXPECT_EQ(pointsToMillimetres(612), 215.89999999999998);
}

// Tests that a process locale with a decimal comma does not change how numbers read.
TEST(PaperSizes, NumbersIgnoreTheProcessLocale) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("tovanel-locale-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string command =
      "localedef -i de_DE -f UTF-8 " + (folder / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
  const bool built = std::system(command.c_str()) == 0;
  setenv("LOCPATH", folder.c_str(), 1);
  const bool german = built && std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  if (german) {
    ASSERT_EQ(std::strtod("12,5", nullptr), 12.5);  // the locale took effect
    EXPECT_EQ(paperSizeDimensions("w12.5h30").width, 12.5 * 25.4 / 72);
    EXPECT_EQ(paperSizeDimensions("w12,5h30"), kZero);
  }
  std::setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
  std::filesystem::remove_all(folder);
  if (!german)
    GTEST_SKIP() << "no de_DE locale could be built here";
}

}  // namespace
}  // namespace tovanel
