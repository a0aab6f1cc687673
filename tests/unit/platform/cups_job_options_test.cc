#include "platform/cups_job_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace tovanel {
namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

PrintJobSettings settingsFor(PaperSize page, int64_t copies = 1, std::string title = "Label") {
  PrintJobSettings settings;
  settings.printer = Printer{"Office Laser", "Model", "Office_Laser"};
  settings.paperSize = page;
  settings.orientation = page.height < page.width ? Orientation::landscape : Orientation::portrait;
  settings.copiesAttribute = copies;
  settings.jobNameAttribute = title;
  settings.jobTitle = title;
  settings.viewFrameSize = page;
  return settings;
}

std::optional<CupsJob> customJob(const PrintJobSettings& settings) {
  return cupsJobFor(settings, MediaChoice{std::nullopt, settings.paperSize});
}

// Tests the exact options that print a page as drawn: its exact size, unscaled, unturned.
TEST(CupsJobOptions, PagePrintsAsDrawn) {
  const struct {
    PaperSize page;
    const char* pageSize;
  } cases[] = {
      {{288, 432.00000000000006}, "Custom.288x432.00000000000006"},
      {{283.46456692913387, 141.73228346456693}, "Custom.283.46456692913387x141.73228346456693"},
      {{14400, 1.5}, "Custom.14400x1.5"},
  };
  for (const auto& c : cases) {
    const auto job = customJob(settingsFor(c.page, 3));
    ASSERT_TRUE(job) << c.pageSize;
    EXPECT_EQ(job->queue, "Office_Laser");
    EXPECT_EQ(job->title, "Label");
    EXPECT_EQ(job->options, (Options{{"PageSize", c.pageSize},
                                     {"print-scaling", "none"},
                                     {"nopdfAutoRotate", "true"},
                                     {"copies", "3"}}));
  }
}

// Tests that copies go as they are when an IPP integer holds them, else make no job.
TEST(CupsJobOptions, CopiesOnlyWhereAnIppIntegerHoldsThem) {
  const struct {
    int64_t copies;
    const char* sent;  // nullptr: no job
  } cases[] = {
      {1, "1"},
      {0, "0"},
      {-1, "-1"},
      {std::numeric_limits<int32_t>::max(), "2147483647"},
      {std::numeric_limits<int32_t>::min(), "-2147483648"},
      {int64_t{1} << 31, nullptr},
      {-(int64_t{1} << 31) - 1, nullptr},
  };
  for (const auto& c : cases) {
    const auto job = customJob(settingsFor({288, 432}, c.copies));
    if (!c.sent) {
      EXPECT_FALSE(job) << c.copies;
      continue;
    }
    ASSERT_TRUE(job) << c.copies;
    EXPECT_EQ(job->options.back(), (std::pair<std::string, std::string>{"copies", c.sent}));
  }
}

// Tests that a page no medium has makes no job.
TEST(CupsJobOptions, NoJobForImpossiblePages) {
  EXPECT_FALSE(customJob(settingsFor({0, 432})));
  EXPECT_FALSE(customJob(settingsFor({14401, 432})));
}

// Tests that a title longer than IPP allows is cut, never inside a UTF-8 character.
TEST(CupsJobOptions, LongTitlesAreCutOnCharacterBoundaries) {
  const std::string ascii(300, 'x');
  EXPECT_EQ(customJob(settingsFor({288, 432}, 1, ascii))->title, std::string(255, 'x'));
  // 'é' is two bytes: 127 of them are 254 bytes, and the 128th must not be halved.
  std::string accented;
  for (int i = 0; i < 200; ++i)
    accented += "\u00e9";
  const std::string cut = customJob(settingsFor({288, 432}, 1, accented))->title;
  EXPECT_EQ(cut.size(), 254u);
  EXPECT_EQ(cut, accented.substr(0, 254));
  const std::string exact(255, 'y');
  EXPECT_EQ(customJob(settingsFor({288, 432}, 1, exact))->title, exact);
  EXPECT_EQ(customJob(settingsFor({288, 432}, 1, ""))->title, "");
}

}  // namespace
}  // namespace tovanel
