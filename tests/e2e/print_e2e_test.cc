// "printDocument" against a private cupsd: what the printers really received.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "channel/printing_channel_handler.h"
#include "jobs/job_settings.h"
#include "platform/cups_printing_services.h"
#include "platform/cups_spooler.h"
#include "platform/image_decoding.h"
#include "support/cups_sandbox.h"
#include "support/print_images.h"
#include "support/print_jobs.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::newestJobId;
using testing::Raster;
using testing::sandbox;
using testing::successReply;
using testing::waitForJobAfter;

constexpr int kDpi = 144;

MethodReply printed(const std::string& jobName = "Velmar Job") {
  return successReply(ValueMap{{"status", "success"}, {"jobName", jobName}});
}

Uint8List bytesOf(const std::vector<uint8_t>& bytes) {
  return Uint8List(bytes.begin(), bytes.end());
}

std::string officeOutput() {
  return sandbox().outputDir() + "/office_laser.pdf";
}

class PrintDocument : public ::testing::Test {
 protected:
  // "printDocument" on "Office Laser" unless `arguments` name another printer.
  MethodReply print(ValueMap arguments) {
    if (!findStringKey(arguments, "printerName"))
      arguments.push_back({"printerName", "Office Laser"});
    return testing::handleCall(handler_, "printDocument", std::move(arguments));
  }

  CupsPrintingServices services_;
  const PrintingChannelHandler handler_{makeChannelOperations(services_)};
  const Uint8List smallPng_ = bytesOf(testing::markerImagePng(40, 60));
};

enum class Colour { white, red, blue, other };

// The colour of the rendered page at a point given in points.
Colour colourAt(const Raster& raster, double x, double y) {
  const int column = std::clamp(static_cast<int>(x * kDpi / 72), 0, raster.width - 1);
  const int row = std::clamp(static_cast<int>(y * kDpi / 72), 0, raster.height - 1);
  const uint8_t* pixel = raster.at(column, row);
  const auto high = [](uint8_t value) { return value > 200; };
  const auto low = [](uint8_t value) { return value < 60; };
  if (high(pixel[0]) && high(pixel[1]) && high(pixel[2]))
    return Colour::white;
  if (high(pixel[0]) && low(pixel[1]) && low(pixel[2]))
    return Colour::red;
  return low(pixel[0]) && low(pixel[1]) && high(pixel[2]) ? Colour::blue : Colour::other;
}

// Tests that each marker image lands on one unrotated page of exactly its size, scaled to
// fit, centred, neither turned nor mirrored, whether it shrinks or grows, RGB or RGBA.
TEST_F(PrintDocument, ImageLandsExactlyOnTheOfficeLaser) {
  const struct {
    double widthMm, heightMm;
    int width, height;
    bool alpha;
  } cases[] = {
      {101.6, 152.4, 400, 300, false},   // wider than the page: centred top to bottom
      {101.6, 152.4, 120, 600, false},   // taller: centred side to side, enlarged
      {101.6, 152.4, 1218, 1812, true},  // a 300 dpi label, reduced
      {100, 50, 300, 400, false},        // landscape: the size is kept, not swapped
      {100, 50, 1000, 500, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " px on " +
                 std::to_string(c.widthMm) + " x " + std::to_string(c.heightMm) + " mm");
    const int before = newestJobId("Office_Laser");
    const auto png = testing::markerImagePng(c.width, c.height);
    ASSERT_EQ(print({{"imageBytes", bytesOf(c.alpha ? testing::withAlphaChannel(png) : png)},
                     {"width", c.widthMm},
                     {"height", c.heightMm}}),
              printed());
    const auto job = waitForJobAfter("Office_Laser", before);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->state, 9);  // completed

    const double pageWidth = c.widthMm * 72 / 25.4, pageHeight = c.heightMm * 72 / 25.4;
    const auto pages = testing::pdfPages(officeOutput());
    ASSERT_TRUE(pages);
    EXPECT_EQ(pages->count, 1);
    EXPECT_NEAR(pages->width, pageWidth, 0.01);
    EXPECT_NEAR(pages->height, pageHeight, 0.01);
    EXPECT_EQ(pages->rotation, 0);
    const auto raster = testing::renderPdfPage(officeOutput(), kDpi);
    ASSERT_TRUE(raster);

    const double scale = std::min(pageWidth / c.width, pageHeight / c.height);
    const double left = (pageWidth - c.width * scale) / 2,
                 top = (pageHeight - c.height * scale) / 2;
    const double right = left + c.width * scale, bottom = top + c.height * scale;
    const double inset = std::min(c.width, c.height) / 10 * scale;
    const double middleX = (left + right) / 2, middleY = (top + bottom) / 2;
    const struct {
      double x, y;
      Colour colour;
    } points[] = {
        {left + inset, top + inset, Colour::red},
        {right - inset, top + inset, Colour::blue},
        {left + inset, bottom - inset, Colour::blue},
        {right - inset, bottom - inset, Colour::blue},
        {middleX, middleY, Colour::blue},
        {left + 1.5, middleY, Colour::blue},
        {right - 1.5, middleY, Colour::blue},
        {middleX, top + 1.5, Colour::blue},
        {middleX, bottom - 1.5, Colour::blue},
    };
    for (const auto& point : points)
      EXPECT_EQ(colourAt(*raster, point.x, point.y), point.colour) << point.x << ", " << point.y;
    // Equal white margins where the image does not reach the page's edges.
    if (left > 3) {
      EXPECT_EQ(colourAt(*raster, left - 1.5, middleY), Colour::white);
      EXPECT_EQ(colourAt(*raster, right + 1.5, middleY), Colour::white);
    }
    if (top > 3) {
      EXPECT_EQ(colourAt(*raster, middleX, top - 1.5), Colour::white);
      EXPECT_EQ(colourAt(*raster, middleX, bottom + 1.5), Colour::white);
    }
  }
}

// Tests that the label printer receives ZPL of the page's size at 203 dpi, unturned.
TEST_F(PrintDocument, LabelPrinterReceivesZplOfThePageSize) {
  const struct {
    double widthMm, heightMm;
    int bytesPerRow, rows;
  } cases[] = {{101.6, 152.4, 102, 1218}, {100, 50, 100, 400}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.widthMm) + " x " + std::to_string(c.heightMm));
    const int before = newestJobId("Label_4x6");
    ASSERT_EQ(print({{"printerName", "Label Printer 4x6"},
                     {"imageBytes", bytesOf(testing::code128LabelPng("4711", 1218, 1812, 4))},
                     {"width", c.widthMm},
                     {"height", c.heightMm},
                     {"jobName", "Shipping label"}}),
              printed("Shipping label"));
    const auto job = waitForJobAfter("Label_4x6", before);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->state, 9);
    const std::string zpl = testing::readFile(sandbox().outputDir() + "/label_4x6.zpl");
    int total = 0, perRow = 0;
    ASSERT_EQ(std::sscanf(zpl.c_str(), "~DGR:CUPS.GRF,%d,%d,", &total, &perRow), 2)
        << zpl.substr(0, 40);
    EXPECT_EQ(perRow, c.bytesPerRow);
    EXPECT_EQ(total / perRow, c.rows);
    EXPECT_NE(zpl.find("^XA"), std::string::npos);
    EXPECT_NE(zpl.find("^XZ"), std::string::npos);
  }
}

// Tests that a black-and-white label, a 1-bit page, reaches the label printer as the very
// ZPL that the page drawn from its colours gives.
TEST_F(PrintDocument, OneBitLabelGivesTheSameZpl) {
  const auto png = testing::code128LabelPng("TOVANEL-4711", 1218, 1812, 4);
  const std::string output = sandbox().outputDir() + "/label_4x6.zpl";
  int before = newestJobId("Label_4x6");
  ASSERT_EQ(print({{"printerName", "Label Printer 4x6"}, {"imageBytes", bytesOf(png)}}), printed());
  ASSERT_TRUE(waitForJobAfter("Label_4x6", before));
  const std::string oneBit = testing::readFile(output);

  const auto decoded = decodeImageBytes(png);
  const auto printer = services_.printerWithName("Label Printer 4x6");
  ASSERT_TRUE(decoded.image && printer);
  before = newestJobId("Label_4x6");
  const PrintOutcome colours =
      services_.runPrintOperation(makePrintJobSettings(*printer, PrintJobRequest{}),
                                  CairoImage(testing::coloursOnly(decoded.image->surface())));
  ASSERT_TRUE(colours.printed && waitForJobAfter("Label_4x6", before));
  EXPECT_GT(oneBit.size(), 1000u);
  EXPECT_TRUE(testing::readFile(output) == oneBit);
}

// Tests that copies and the job name reach CUPS as the job's own attributes.
TEST_F(PrintDocument, CopiesAndTitleReachCups) {
  const int before = newestJobId("Office_Laser");
  ASSERT_EQ(print({{"imageBytes", smallPng_},
                   {"copies", int32_t{3}},
                   {"jobName", "Pallet \u00e9tiquette"}}),
            printed("Pallet \u00e9tiquette"));
  const auto job = waitForJobAfter("Office_Laser", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->copies, 3);
  EXPECT_EQ(job->title, "Pallet \u00e9tiquette");
}

// Tests that unusable images and impossible jobs answer their errors, leave no job and do
// not stop the queue.
TEST_F(PrintDocument, UnusableImagesAndImpossibleJobsPrintNothing) {
  const MethodReply imageInvalid = errorReply("IMAGE_INVALID", "Failed to create image");
  const MethodReply printFailed = errorReply("PRINT_FAILED", "Print operation failed to start");
  auto truncated = testing::markerImagePng(300, 200);
  truncated.resize(truncated.size() / 2);
  auto bomb = testing::markerImagePng(8, 8);
  testing::setPngSize(bomb, 60000, 60000);
  bomb.resize(33);  // signature and header only
  const struct {
    ValueMap arguments;
    const MethodReply& expected;
  } cases[] = {
      {{{"imageBytes", Uint8List{}}}, imageInvalid},
      {{{"imageBytes", Uint8List{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}}},
       imageInvalid},
      {{{"imageBytes", bytesOf(truncated)}}, imageInvalid},
      {{{"imageBytes", bytesOf(bomb)}}, imageInvalid},
      {{{"imageBytes", smallPng_}, {"width", 0.0}}, printFailed},
      {{{"imageBytes", smallPng_}, {"width", 5080.000001}}, printFailed},        // over 200 inches
      {{{"imageBytes", smallPng_}, {"copies", int32_t{0}}}, printFailed},        // CUPS refuses
      {{{"imageBytes", smallPng_}, {"copies", int64_t{1} << 32}}, printFailed},  // no IPP integer
  };
  const int before = newestJobId("Office_Laser");
  for (const auto& c : cases)
    EXPECT_EQ(print(c.arguments), c.expected) << describe(Value(c.arguments));
  EXPECT_EQ(newestJobId("Office_Laser"), before);
  EXPECT_TRUE(testing::queueIsEnabled("Office_Laser"));
  // The largest medium there is still prints.
  ASSERT_EQ(print({{"imageBytes", smallPng_}, {"width", 5080.0}}), printed());
  EXPECT_TRUE(waitForJobAfter("Office_Laser", before));
}

// Tests that a printed Code128 barcode still scans from the page rendered at 203 dpi.
TEST_F(PrintDocument, BarcodeStillScansAfterPrinting) {
  const int before = newestJobId("Office_Laser");
  ASSERT_EQ(
      print({{"imageBytes", bytesOf(testing::code128LabelPng("TOVANEL-4711", 1218, 1812, 2))}}),
      printed());
  ASSERT_TRUE(waitForJobAfter("Office_Laser", before));
  const testing::TemporaryFolder folder(0755);
  const auto rendered = testing::runShell("pdftoppm -r 203 -png -singlefile '" + officeOutput() +
                                          "' '" + folder.file("page") + "' 2>&1");
  ASSERT_EQ(rendered.status, 0) << rendered.output;
  EXPECT_EQ(
      testing::runShell("zbarimg -q --raw '" + folder.file("page.png") + "' 2>/dev/null").output,
      "TOVANEL-4711\n");
}

// The first line of `file` that starts with `prefix`, without the prefix; "" if none.
std::string lineAfter(const std::string& file, const std::string& prefix) {
  const std::string text = testing::readFile(file);
  const size_t at = text.find("\n" + prefix);
  return at == std::string::npos ? ""
                                 : text.substr(at + 1 + prefix.size(),
                                               text.find('\n', at + 1) - at - 1 - prefix.size());
}

// What a barcode scanner reads from a picture; "" for nothing.
std::string scan(const std::string& png) {
  return testing::runShell("zbarimg -q --raw '" + png + "' 2>/dev/null").output;
}

// Tests that a 4 x 6 in Code128 label prints, completed, on both driverless printers and
// scans from what each received: ZPL from the label printer, which has 4 x 6 labels; from
// the office printer, which has none, a Letter page with the label at true size in its
// middle; and that a page no paper of it holds is refused without a job.
TEST_F(PrintDocument, DriverlessPrintersPrintLabelsThatScan) {
  const auto label = bytesOf(testing::code128LabelPng("TOVANEL-DRIVERLESS", 1218, 1812, 4));
  const testing::TemporaryFolder folder(0755);
  int before = newestJobId("Label_Driverless");
  ASSERT_EQ(print({{"printerName", "Label Printer Driverless"},
                   {"imageBytes", label},
                   {"jobName", "Driverless label"}}),
            printed("Driverless label"));
  auto job = waitForJobAfter("Label_Driverless", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->state, 9);
  const std::string zpl = sandbox().outputDir() + "/label_driverless/Driverless label.prn";
  ASSERT_EQ(testing::runShell(std::string(TOVANEL_BINARY_DIR) + "/zpl_render '" + zpl + "' '" +
                              folder.file("label.png") + "'")
                .status,
            0);
  EXPECT_EQ(scan(folder.file("label.png")), "TOVANEL-DRIVERLESS\n");

  before = newestJobId("Office_Driverless");
  ASSERT_EQ(print({{"printerName", "Office Driverless"},
                   {"imageBytes", label},
                   {"jobName", "Office label"}}),
            printed("Office label"));
  job = waitForJobAfter("Office_Driverless", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->state, 9);
  // The printer keeps each document beside the attributes it was sent with.
  const std::string jobs = sandbox().outputDir() + "/office_driverless/";
  const std::string env = testing::runShell("grep -lx 'IPP_JOB_NAME=Office label' " + jobs +
                                            "*.env | head -n 1 | tr -d '\n'")
                              .output;
  ASSERT_FALSE(env.empty());
  const std::string pdf = env.substr(0, env.size() - 4) + ".pdf";
  EXPECT_EQ(lineAfter(env, "IPP_MEDIA_COL={media-size={").substr(0, 35),
            "x-dimension=21590 y-dimension=27940");
  const auto pages = testing::pdfPages(pdf);
  ASSERT_TRUE(pages);
  EXPECT_NEAR(pages->width, 612, 0.5);
  EXPECT_NEAR(pages->height, 792, 0.5);
  const auto raster = testing::renderPdfPage(pdf, 72);
  ASSERT_TRUE(raster);
  int left = raster->width, right = -1, top = raster->height, bottom = -1;
  for (int y = 0; y < raster->height; ++y) {
    for (int x = 0; x < raster->width; ++x) {
      if (raster->at(x, y)[0] < 128) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
  }
  // The label's ink: 4 x 6 in at most, centred on the sheet.
  EXPECT_NEAR((left + right) / 2.0, 306, 2);
  EXPECT_NEAR((top + bottom) / 2.0, 396, 2);
  EXPECT_LE(right - left, 288);
  EXPECT_GE(right - left, 260);
  ASSERT_EQ(testing::runShell("pdftoppm -r 203 -png -singlefile '" + pdf + "' '" +
                              folder.file("office") + "'")
                .status,
            0);
  EXPECT_EQ(scan(folder.file("office.png")), "TOVANEL-DRIVERLESS\n");

  before = newestJobId("Office_Driverless");
  EXPECT_EQ(print({{"printerName", "Office Driverless"},
                   {"imageBytes", label},
                   {"width", 300.0},
                   {"height", 500.0}}),
            errorReply("PRINT_FAILED",
                       "Printer 'Office Driverless' has no paper that holds a page of 300.0 x "
                       "500.0 mm"));
  EXPECT_EQ(newestJobId("Office_Driverless"), before);
}

const std::string kHalfPdf = "%PDF-1.5\n1 0 obj\n<< /Type /Catalog";

// Tests that a document failing half-way is cancelled, never printed, and stops no queue.
TEST(PrintSpooling, DocumentFailingHalfWayPrintsNothing) {
  const std::string outputBefore = testing::readFile(officeOutput());
  const int before = newestJobId("Office_Laser");
  const CupsJob job{"Office_Laser", "Spool test", {{"PageSize", "Custom.288x432"}}};
  EXPECT_FALSE(spoolCupsJob(job, "application/pdf", [](const ByteSink& sink) {
    return sink({reinterpret_cast<const unsigned char*>(kHalfPdf.data()), kHalfPdf.size()}) &&
           false;  // the rest of the page could not be produced
  }));
  const auto cancelled = waitForJobAfter("Office_Laser", before);
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(cancelled->state, 7);
  EXPECT_TRUE(testing::queueIsEnabled("Office_Laser"));
  EXPECT_EQ(testing::readFile(officeOutput()), outputBefore);
}

// Tests that a missing queue or a server that is down fails the spooling, without a job.
TEST(PrintSpooling, MissingQueueOrServerFails) {
  const auto writeNothing = [](const ByteSink&) { return true; };
  const int before = newestJobId("Office_Laser");
  EXPECT_FALSE(spoolCupsJob(CupsJob{"No_Such_Queue", "x", {}}, "application/pdf", writeNothing));
  sandbox().stopDaemon();
  EXPECT_FALSE(spoolCupsJob(CupsJob{"Office_Laser", "x", {}}, "application/pdf", writeNothing));
  sandbox().startDaemon();
  EXPECT_EQ(newestJobId("Office_Laser"), before);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
