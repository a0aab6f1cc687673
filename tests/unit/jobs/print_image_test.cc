#include "jobs/print_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "channel/printing_channel_handler.h"
#include "jobs/job_settings.h"
#include "support/fake_printing_services.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using ::testing::ElementsAre;
using testing::errorReply;
using testing::FakePrintingServices;
using testing::MisuseRecorder;
using testing::ReplyRecorder;
using testing::successReply;

const MethodReply kNotFoundOffice = errorReply("PRINTER_NOT_FOUND", "Printer 'Office' not found");
const MethodReply kImageInvalid = errorReply("IMAGE_INVALID", "Failed to create image");
const MethodReply kPrintFailed = errorReply("PRINT_FAILED", "Print operation failed to start");

MethodReply printed(const std::string& jobName) {
  return successReply(ValueMap{{"status", "success"}, {"jobName", jobName}});
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

  // The one reply of one call; fails the test on none, two, or a misuse.
  MethodReply print(const PrintJobRequest& request) {
    ReplyRecorder recorder;
    printImage(services, request, recorder.callback());
    EXPECT_EQ(recorder.replies.size(), 1u);
    EXPECT_TRUE(misuses.misuses.empty());
    return recorder.replies.empty() ? MethodReply(Value("no reply")) : recorder.replies.front();
  }

  // The settings of the one print operation that the last call ran.
  PrintJobSettings printedSettings() {
    EXPECT_EQ(services.printedJobs.size(), 1u);
    return services.printedJobs.empty() ? PrintJobSettings{} : services.printedJobs.back();
  }

  MisuseRecorder misuses;
  FakePrintingServices services;
  std::vector<uint8_t> image = testing::fakeImageBytes();
};

// Tests the defaults' settings field by field: a wrong conversion order, a rounded size,
// a missing margin or centring flag, or panels left on would all show here.
TEST_F(PrintImageTest, DefaultsGiveAPortraitFourBySixPage) {
  EXPECT_EQ(print(request()), printed("Velmar Job"));
  const PrintJobSettings settings = printedSettings();
  EXPECT_EQ(settings.printer, services.printers[0].printer);
  EXPECT_EQ(settings.paperSize.width, 288.0);
  EXPECT_EQ(settings.paperSize.height, 432.00000000000006);
  EXPECT_EQ(settings.orientation, Orientation::portrait);
  EXPECT_EQ(settings.topMargin, 0);
  EXPECT_EQ(settings.bottomMargin, 0);
  EXPECT_EQ(settings.leftMargin, 0);
  EXPECT_EQ(settings.rightMargin, 0);
  EXPECT_TRUE(settings.horizontallyCentered);
  EXPECT_TRUE(settings.verticallyCentered);
  EXPECT_EQ(settings.jobDisposition, JobDisposition::spool);
  EXPECT_EQ(settings.jobNameAttribute, "Velmar Job");
  EXPECT_EQ(settings.copiesAttribute, 1);
  EXPECT_EQ(settings.viewFrameSize, settings.paperSize);
  EXPECT_EQ(settings.imageScaling, 3);
  EXPECT_EQ(settings.jobTitle, "Velmar Job");
  EXPECT_FALSE(settings.showsPrintPanel);
  EXPECT_FALSE(settings.showsProgressPanel);
}

// Tests the conversion and orientation rule on the worked sizes and the edges: the size
// is never swapped, landscape needs a strictly lower page, and NaN gives portrait.
TEST_F(PrintImageTest, PageSizeAndOrientationFollowTheConversion) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr auto portrait = Orientation::portrait;
  constexpr auto landscape = Orientation::landscape;
  const struct {
    double widthMm, heightMm;
    double width, height;
    Orientation orientation;
  } cases[] = {
      {101.6, 152.4, 288.0, 432.00000000000006, portrait},
      {100, 50, 283.46456692913387, 141.73228346456693, landscape},
      {210, 297, 595.2755905511812, 841.8897637795276, portrait},
      {50, 50, 141.73228346456693, 141.73228346456693, portrait},
      {50.00000000000001, 50, 141.73228346456696, 141.73228346456693, landscape},
      {0, 0, 0, 0, portrait},
      {-10, -20, -28.34645669291339, -56.69291338582678, landscape},
  };
  for (const auto& c : cases) {
    services.printedJobs.clear();
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
  for (const PaperSize page : {PaperSize{kNaN, 100}, PaperSize{100, kNaN}, PaperSize{kNaN, kNaN}}) {
    EXPECT_EQ(orientationFor(page), portrait);
  }
  const PaperSize nan = pageSizeInPoints(kNaN, 1);
  EXPECT_TRUE(std::isnan(nan.width));
}

// Tests that copies and the job name go on exactly as requested: no correction of 0 or
// negative copies, the name as attribute, title and reply.
TEST_F(PrintImageTest, CopiesAndJobNamePassUnchanged) {
  for (const int64_t copies : {int64_t{0}, int64_t{-1}, int64_t{3}, int64_t{1} << 40}) {
    services.printedJobs.clear();
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

// Tests that an unknown printer is reported under the name asked for, before the image is
// decoded, even when the bytes are no image; and that names are not trimmed or folded.
TEST_F(PrintImageTest, UnknownPrinterWinsOverBadImage) {
  auto r = request();
  r.printerName = "Office";
  const std::vector<uint8_t> garbage{1, 2, 3};
  r.imageBytes = garbage;
  EXPECT_EQ(print(r), kNotFoundOffice);
  EXPECT_THAT(services.calls, ElementsAre("printerWithName Office"));

  for (const char* name : {" ", "label printer 4x6", "Label Printer 4x6 ", "Label_4x6"}) {
    r.printerName = name;
    EXPECT_EQ(print(r),
              errorReply("PRINTER_NOT_FOUND", "Printer '" + std::string(name) + "' not found"));
  }
  EXPECT_TRUE(services.printedJobs.empty());
}

// Tests that an empty name prints on the shared settings' printer, that an unknown
// shared printer is named in the error, and that a name of blanks is not empty.
TEST_F(PrintImageTest, EmptyNamePrintsOnTheSharedPrinter) {
  auto r = request();
  r.printerName = "";
  EXPECT_EQ(print(r), printed("Velmar Job"));
  EXPECT_THAT(services.calls, ElementsAre("sharedPrinter", "printerWithName Office Laser",
                                          "decodeImage", "runPrintOperation"));
  EXPECT_EQ(printedSettings().printer.name, "Office Laser");

  services.setSharedPrinter(services.printers[0].printer);
  services.printedJobs.clear();
  print(r);
  EXPECT_EQ(printedSettings().printer.name, "Label Printer 4x6");

  services.shared = Printer{"Gone Printer", "", "Gone_Printer"};
  EXPECT_EQ(print(r), errorReply("PRINTER_NOT_FOUND", "Printer 'Gone Printer' not found"));
  services.shared = Printer{};
  EXPECT_EQ(print(r), errorReply("PRINTER_NOT_FOUND", "Printer '' not found"));
}

// Tests the later failures: bytes that do not decode never reach the print operation,
// and an operation that did not run is PRINT_FAILED, not success.
TEST_F(PrintImageTest, ImageAndPrintFailuresAnswerTheirErrors) {
  auto r = request();
  const std::vector<uint8_t> garbage{'G', 'I', 'F'};
  r.imageBytes = garbage;
  EXPECT_EQ(print(r), kImageInvalid);
  r.imageBytes = {};
  EXPECT_EQ(print(r), kImageInvalid);
  EXPECT_TRUE(services.printedJobs.empty());

  services.printSucceeds = false;
  EXPECT_EQ(print(request()), kPrintFailed);
  EXPECT_EQ(services.printedJobs.size(), 1u);
}

// Tests that the decision needs nothing of the platform beyond the four calls, in order,
// and that a printer that is listed but does not open is not found.
TEST_F(PrintImageTest, CallsThePlatformInOrder) {
  print(request());
  EXPECT_THAT(services.calls,
              ElementsAre("printerWithName Label Printer 4x6", "decodeImage", "runPrintOperation"));
  services.addPrinter("Broken", "Fake", /*opens=*/false);
  auto r = request();
  r.printerName = "Broken";
  EXPECT_EQ(print(r), errorReply("PRINTER_NOT_FOUND", "Printer 'Broken' not found"));
}

// Tests that "printDocument" on the channel reaches the job with the handler's defaults
// and answers once with the job's reply.
TEST_F(PrintImageTest, ChannelMethodPrintsThroughTheJob) {
  const PrintingChannelHandler handler(makeChannelOperations(services));
  const auto call = [&](ValueMap arguments) {
    ReplyRecorder recorder;
    handler.handleMethodCall(MethodCall{"printDocument", std::move(arguments)},
                             recorder.callback());
    EXPECT_EQ(recorder.replies.size(), 1u);
    return recorder.replies.empty() ? MethodReply(Value()) : recorder.replies.front();
  };
  EXPECT_EQ(call({{"imageBytes", Uint8List(image.begin(), image.end())}}), printed("Velmar Job"));
  EXPECT_EQ(printedSettings().printer.name, "Office Laser");
  EXPECT_EQ(call({{"imageBytes", Uint8List{1}}, {"printerName", "Office"}}), kNotFoundOffice);
  EXPECT_EQ(call({{"imageBytes", Uint8List{1}}, {"printerName", "Office Laser"}}), kImageInvalid);
  EXPECT_EQ(call({{"imageBytes", Uint8List(image.begin(), image.end())},
                  {"width", 100.0},
                  {"height", int32_t{50}},
                  {"copies", int32_t{2}},
                  {"jobName", "Pallet"}}),
            printed("Pallet"));
  const auto settings = services.printedJobs.back();
  EXPECT_EQ(settings.paperSize, (PaperSize{283.46456692913387, 141.73228346456693}));
  EXPECT_EQ(settings.orientation, Orientation::landscape);
  EXPECT_EQ(settings.copiesAttribute, 2);
  EXPECT_EQ(settings.jobTitle, "Pallet");
}

}  // namespace
}  // namespace tovanel
