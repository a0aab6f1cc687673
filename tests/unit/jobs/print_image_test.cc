// The silent print job over the fake printing services.
#include "jobs/print_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "jobs/job_settings.h"
#include "support/fake_printing_services.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using ::testing::ElementsAre;
using testing::errorReply;
using testing::successReply;

const MethodReply kImageInvalid = errorReply("IMAGE_INVALID", "Failed to create image");

MethodReply printed(const std::string& jobName) {
  return successReply(ValueMap{{"status", "success"}, {"jobName", jobName}});
}

MethodReply notFound(const std::string& name) {
  return errorReply("PRINTER_NOT_FOUND", "Printer '" + name + "' not found");
}

class PrintImageTest : public ::testing::Test {
 protected:
  PrintImageTest() {
    services.addPrinter("Label Printer 4x6");
    services.addPrinter("Office Laser");
    services.shared = services.printers.back().printer;
  }

  // A request for the label printer with valid image bytes and the channel's defaults.
  PrintJobRequest request() {
    PrintJobRequest request;
    request.printerName = "Label Printer 4x6";
    request.imageBytes = image;
    return request;
  }

  // The one reply of one call; none, two, or a misused callback fails the test.
  MethodReply print(const PrintJobRequest& request) {
    testing::MisuseRecorder misuses;
    testing::ReplyRecorder recorder;
    services.printedJobs.clear();
    printImage(services, request, recorder.callback());
    EXPECT_EQ(recorder.replies.size(), 1u);
    EXPECT_TRUE(misuses.misuses.empty());
    return recorder.replies.empty() ? errorReply("NO_REPLY", "") : recorder.replies.front();
  }

  // The settings of the one print operation that the last call ran.
  PrintJobSettings printedSettings() {
    EXPECT_EQ(services.printedJobs.size(), 1u);
    return services.printedJobs.empty() ? PrintJobSettings{} : services.printedJobs.back();
  }

  testing::FakePrintingServices services;
  std::vector<uint8_t> image = testing::fakeImageBytes();
};

// Tests every field of the defaults' settings.
TEST_F(PrintImageTest, DefaultsGiveAPortraitFourBySixPage) {
  EXPECT_EQ(print(request()), printed("Velmar Job"));
  PrintJobSettings expected;
  expected.printer = services.printers[0].printer;
  expected.paperSize = {288.0, 432.00000000000006};
  expected.orientation = Orientation::portrait;
  expected.horizontallyCentered = expected.verticallyCentered = true;
  expected.jobDisposition = JobDisposition::spool;
  expected.jobNameAttribute = expected.jobTitle = "Velmar Job";
  expected.copiesAttribute = 1;
  expected.viewFrameSize = expected.paperSize;
  expected.imageScaling = 3;
  EXPECT_EQ(printedSettings(), expected);
}

// Tests the conversion and orientation: never swapped, landscape only when strictly lower.
TEST_F(PrintImageTest, PageSizeAndOrientationFollowTheConversion) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr auto portrait = Orientation::portrait;
  constexpr auto landscape = Orientation::landscape;
  const struct {
    double widthMm, heightMm;
    double width, height;
    Orientation orientation;
  } cases[] = {
      {100, 50, 283.46456692913387, 141.73228346456693, landscape},
      {210, 297, 595.2755905511812, 841.8897637795276, portrait},
      {50, 50, 141.73228346456693, 141.73228346456693, portrait},
      {50.00000000000001, 50, 141.73228346456696, 141.73228346456693, landscape},
      {-10, -20, -28.34645669291339, -56.69291338582678, landscape},
  };
  for (const auto& c : cases) {
    auto r = request();
    r.widthMm = c.widthMm;
    r.heightMm = c.heightMm;
    print(r);
    const auto settings = printedSettings();
    EXPECT_EQ(settings.paperSize, (PaperSize{c.width, c.height}))
        << c.widthMm << " x " << c.heightMm;
    EXPECT_EQ(settings.viewFrameSize, settings.paperSize);
    EXPECT_EQ(settings.orientation, c.orientation) << c.widthMm << " x " << c.heightMm;
  }
  for (const PaperSize page : {PaperSize{kNaN, 100}, PaperSize{100, kNaN}})
    EXPECT_EQ(orientationFor(page), portrait);
}

// Tests that copies (0 and negative too) and the job name go on exactly as requested.
TEST_F(PrintImageTest, CopiesAndJobNamePassUnchanged) {
  for (const int64_t copies : {int64_t{0}, int64_t{-1}, int64_t{1} << 40}) {
    auto r = request();
    r.copies = copies;
    r.jobName = "Order 4711 \u00e9";
    EXPECT_EQ(print(r), printed("Order 4711 \u00e9"));
    const auto settings = printedSettings();
    EXPECT_EQ(settings.copiesAttribute, copies);
    EXPECT_EQ(settings.jobNameAttribute, "Order 4711 \u00e9");
    EXPECT_EQ(settings.jobTitle, "Order 4711 \u00e9");
  }
}

// Tests that a printer not found is reported by the name asked for, before the image.
TEST_F(PrintImageTest, UnknownPrinterWinsOverBadImage) {
  services.addPrinter("Broken", "Fake", /*opens=*/false);
  auto r = request();
  const std::vector<uint8_t> garbage{1, 2, 3};
  r.imageBytes = garbage;
  for (const char* name : {"Office", " ", "label printer 4x6", "Label Printer 4x6 ", "Broken"}) {
    services.calls.clear();
    r.printerName = name;
    EXPECT_EQ(print(r), notFound(name));
    EXPECT_THAT(services.calls, ElementsAre("printerWithName " + std::string(name)));
  }
}

// Tests that an empty name prints on the shared settings' printer, in four steps.
TEST_F(PrintImageTest, EmptyNamePrintsOnTheSharedPrinter) {
  auto r = request();
  r.printerName = "";
  EXPECT_EQ(print(r), printed("Velmar Job"));
  EXPECT_THAT(services.calls, ElementsAre("sharedPrinter", "printerWithName Office Laser",
                                          "decodeImage", "runPrintOperation"));
  EXPECT_EQ(printedSettings().printer.name, "Office Laser");
  services.setSharedPrinter(services.printers[0].printer);
  print(r);
  EXPECT_EQ(printedSettings().printer.name, "Label Printer 4x6");
  // Twin descriptions: a name means the last queue, the current printer its own queue.
  services.printers[0].printer.name = services.printers[1].printer.name;
  services.shared = services.printers[0].printer;
  print(r);
  EXPECT_EQ(printedSettings().printer.destination, "Label_Printer_4x6");
  r.printerName = "Office Laser";
  print(r);
  EXPECT_EQ(printedSettings().printer.destination, "Office_Laser");
  r.printerName = "";
  services.shared = Printer{"Gone Printer", "", "Gone_Printer"};
  EXPECT_EQ(print(r), notFound("Gone Printer"));
  services.shared = Printer{};
  EXPECT_EQ(print(r), notFound(""));
}

// Tests that bytes that do not decode never print, and a failed print is PRINT_FAILED.
TEST_F(PrintImageTest, ImageAndPrintFailuresAnswerTheirErrors) {
  auto r = request();
  const std::vector<uint8_t> garbage{'G', 'I', 'F'};
  r.imageBytes = garbage;
  EXPECT_EQ(print(r), kImageInvalid);
  r.imageBytes = {};
  EXPECT_EQ(print(r), kImageInvalid);
  EXPECT_TRUE(services.printedJobs.empty());
  services.printOutcome = {false, {}};
  EXPECT_EQ(print(request()), errorReply("PRINT_FAILED", "Print operation failed to start"));
  services.printOutcome = {false, "no paper holds it"};
  EXPECT_EQ(print(request()), errorReply("PRINT_FAILED", "no paper holds it"));
  EXPECT_EQ(services.printedJobs.size(), 1u);
}

}  // namespace
}  // namespace tovanel
