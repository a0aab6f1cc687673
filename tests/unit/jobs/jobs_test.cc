// The silent print job: its settings derived from the request, and the print itself over
// the fake printing services.
#include <gtest/gtest.h>

#include "jobs/job_settings.h"
#include "jobs/print_image.h"
#include "support/fake_printing_services.h"
#include "support/replies.h"

namespace tovanel {
namespace {

// Tests that points are multiplied first, unrounded, and only a page lower than wide turns.
TEST(JobSettings, PageInPointsAndItsOrientation) {
  const std::tuple<double, double, PaperSize, Orientation> cases[] = {
      {90, 29, {255.11811023622047, 82.20472440944883}, Orientation::landscape},
      {50, 50, {141.73228346456693, 141.73228346456693}, Orientation::portrait},
      {50.00000000000001, 50, {141.73228346456696, 141.73228346456693}, Orientation::landscape}};
  for (const auto& [widthMm, heightMm, points, orientation] : cases)
    EXPECT_EQ(std::pair(pageSizeInPoints(widthMm, heightMm), orientationFor(points)),
              std::pair(points, orientation));
}

// Tests that a print goes to the named queue or the current one's own, a failure with its reason.
TEST(PrintImage, PrinterAndReply) {
  // The name asked for, how the platform's print ends, the reply, and the queue and title
  // printed on. The current printer, named Lab, is queue Twin.
  const std::tuple<std::string, PrintOutcome, MethodReply, std::string> cases[] = {
      {"", {true, ""}, testing::printed("J"), "Twin J"},
      {"Lab", {true, ""}, testing::printed("J"), "Lab J"},
      {"", {false, "no paper"}, testing::errorReply("PRINT_FAILED", "no paper"), "Twin J"}};
  for (const auto& [name, outcome, reply, queue] : cases) {
    testing::FakePrintingServices services;
    services.addPrinter("Lab");
    services.shared = Printer{"Lab", "Fake", "Twin"};
    services.printOutcome = outcome;
    testing::ReplyRecorder recorder;
    printImage(services, {name, testing::fakeImageBytes(), 101.6, 152.4, 3, "J"},
               recorder.callback());
    EXPECT_EQ(recorder.replies, std::vector{reply}) << name;
    const PrintJobSettings& job = services.printedJobs.at(0);
    EXPECT_EQ(job.printer.destination + " " + job.jobTitle, queue);
  }
}

}  // namespace
}  // namespace tovanel
