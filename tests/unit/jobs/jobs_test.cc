// The silent print job: its settings derived from the request, and the print itself over
// the fake printing services.
#include <gtest/gtest.h>

#include "jobs/job_settings.h"
#include "jobs/print_image.h"
#include "support/fake_printing_services.h"
#include "support/replies.h"
#include "support/rows.h"

namespace tovanel {
namespace {

// Tests that points are multiplied first, unrounded, and only a page lower than wide turns.
TEST(JobSettings, PageInPointsAndItsOrientation) {
  // clang-format off
  const struct {
    const char* name = "";
    PaperDimensions mm = {};
    PaperSize points = {};
    Orientation orientation = Orientation::portrait;
  } rows[] = {
      {.name = "lower than wide", .mm = {90, 29}, .points = {255.11811023622047, 82.20472440944883},
       .orientation = Orientation::landscape},
      {.name = "square", .mm = {50, 50}, .points = {141.73228346456693, 141.73228346456693}},
      {.name = "wider by a rounding step", .mm = {50.00000000000001, 50},
       .points = {141.73228346456696, 141.73228346456693}, .orientation = Orientation::landscape}};
  // clang-format on
  testing::forEachRow(rows, [](const auto& row) {
    EXPECT_EQ(pageSizeInPoints(row.mm.width, row.mm.height), row.points);
    EXPECT_EQ(orientationFor(row.points), row.orientation);
  });
}

// Tests that a print goes to the named queue or the current one's own, a failure with its reason.
TEST(PrintImage, PrinterAndReply) {
  // The current printer, named Lab, is queue Twin.
  const Printer current{"Lab", "Fake", "Twin"};
  // clang-format off
  const struct {
    const char* name = "";
    std::string printer = "";
    PrintOutcome outcome = {.printed = true, .reason = ""};
    MethodReply expect = testing::printed("J");
    Printer printedOn = {};
  } rows[] = {
      {.name = "the current printer by its queue", .printedOn = current},
      {.name = "a printer by its name", .printer = "Lab",
       .printedOn = {"Lab", "Fake Model", "Lab"}},
      {.name = "a failure with its reason", .outcome = {.printed = false, .reason = "no paper"},
       .expect = testing::errorReply("PRINT_FAILED", "no paper"), .printedOn = current}};
  // clang-format on
  testing::forEachRow(rows, [&current](const auto& row) {
    testing::FakePrintingServices services;
    services.addPrinter("Lab");
    services.shared = current;
    services.printOutcome = row.outcome;
    testing::ReplyRecorder recorder;
    const std::vector<uint8_t> image{1};
    printImage(services, {.printerName = row.printer, .imageBytes = image, .jobName = "J"},
               recorder.callback());
    EXPECT_EQ(recorder.replies, std::vector{row.expect});
    EXPECT_EQ(services.printedJobs.at(0).printer, row.printedOn);
    EXPECT_EQ(services.printedJobs.at(0).jobTitle, "J");
  });
}

}  // namespace
}  // namespace tovanel
