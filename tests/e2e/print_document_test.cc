// "printDocument" against a private cupsd: what the printers really received.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <limits>

#include "channel/printing_channel_handler.h"
#include "platform/cups_printing_services.h"
#include "support/cups_sandbox.h"
#include "support/print_images.h"
#include "support/print_jobs.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::newestJobId;
using testing::PdfPages;
using testing::Raster;
using testing::ReplyRecorder;
using testing::sandbox;
using testing::successReply;
using testing::waitForJobAfter;

constexpr int kDpi = 144;
const MethodReply kImageInvalid = errorReply("IMAGE_INVALID", "Failed to create image");
const MethodReply kPrintFailed = errorReply("PRINT_FAILED", "Print operation failed to start");

MethodReply printed(const std::string& jobName) {
  return successReply(ValueMap{{"status", "success"}, {"jobName", jobName}});
}

Uint8List bytesOf(const std::vector<uint8_t>& bytes) {
  return Uint8List(bytes.begin(), bytes.end());
}

std::string officeOutput() {
  return sandbox().outputDir() + "/office_laser.pdf";
}

// Sends "printDocument" with these arguments through the channel; returns its one reply.
MethodReply printDocument(PrintingServices& services, ValueMap arguments) {
  const PrintingChannelHandler handler(makeChannelOperations(services));
  ReplyRecorder recorder;
  handler.handleMethodCall(MethodCall{"printDocument", std::move(arguments)}, recorder.callback());
  EXPECT_EQ(recorder.replies.size(), 1u);
  return recorder.replies.empty() ? MethodReply(Value()) : recorder.replies.front();
}

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
  if (low(pixel[0]) && low(pixel[1]) && high(pixel[2]))
    return Colour::blue;
  return Colour::other;
}

// Prints a marker image of width x height pixels on a page of the given millimetres
// on "Office Laser", then checks the PDF that the printer received: one page of exactly
// that size, unrotated, the image scaled to fit with its aspect ratio kept and centred,
// white around it, and the red corner top left (so neither a turn nor a mirror passes).
// With `alpha` the image is an RGBA PNG, as Flutter exports them.
void expectMarkerPrintedExactly(double widthMm, double heightMm, int width, int height,
                                bool alpha = false) {
  SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " px on " +
               std::to_string(widthMm) + " x " + std::to_string(heightMm) + " mm");
  CupsPrintingServices services;
  const int before = newestJobId("Office_Laser");
  const auto png = testing::markerImagePng(width, height);
  ASSERT_EQ(printDocument(services,
                          {{"printerName", "Office Laser"},
                           {"imageBytes", bytesOf(alpha ? testing::withAlphaChannel(png) : png)},
                           {"width", widthMm},
                           {"height", heightMm}}),
            printed("Velmar Job"));
  const auto job = waitForJobAfter("Office_Laser", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->state, 9);  // completed

  const double pageWidth = widthMm * 72 / 25.4, pageHeight = heightMm * 72 / 25.4;
  const auto pages = testing::pdfPages(officeOutput());
  ASSERT_TRUE(pages);
  EXPECT_EQ(pages->count, 1);
  EXPECT_NEAR(pages->width, pageWidth, 0.01);
  EXPECT_NEAR(pages->height, pageHeight, 0.01);
  EXPECT_EQ(pages->rotation, 0);

  const auto raster = testing::renderPdfPage(officeOutput(), kDpi);
  ASSERT_TRUE(raster);
  EXPECT_NEAR(raster->width, pageWidth * kDpi / 72, 1.0);
  EXPECT_NEAR(raster->height, pageHeight * kDpi / 72, 1.0);

  const double scale = std::min(pageWidth / width, pageHeight / height);
  const double left = (pageWidth - width * scale) / 2, top = (pageHeight - height * scale) / 2;
  const double right = left + width * scale, bottom = top + height * scale;
  const double marker = std::min(width, height) / 5 * scale;
  const double inset = marker / 2;
  EXPECT_EQ(colourAt(*raster, left + inset, top + inset), Colour::red);
  EXPECT_EQ(colourAt(*raster, right - inset, top + inset), Colour::blue);
  EXPECT_EQ(colourAt(*raster, left + inset, bottom - inset), Colour::blue);
  EXPECT_EQ(colourAt(*raster, right - inset, bottom - inset), Colour::blue);
  EXPECT_EQ(colourAt(*raster, (left + right) / 2, (top + bottom) / 2), Colour::blue);
  // The image reaches the page's edges one way; the other way it is centred with white
  // margins of equal size.
  const double centreX = (left + right) / 2, centreY = (top + bottom) / 2;
  EXPECT_EQ(colourAt(*raster, left + 1.5, centreY), Colour::blue);
  EXPECT_EQ(colourAt(*raster, right - 1.5, centreY), Colour::blue);
  EXPECT_EQ(colourAt(*raster, centreX, top + 1.5), Colour::blue);
  EXPECT_EQ(colourAt(*raster, centreX, bottom - 1.5), Colour::blue);
  if (left > 3) {
    EXPECT_EQ(colourAt(*raster, left - 1.5, centreY), Colour::white);
    EXPECT_EQ(colourAt(*raster, right + 1.5, centreY), Colour::white);
  }
  if (top > 3) {
    EXPECT_EQ(colourAt(*raster, centreX, top - 1.5), Colour::white);
    EXPECT_EQ(colourAt(*raster, centreX, bottom + 1.5), Colour::white);
  }
}

// Tests the default portrait 4 x 6 in page, with images that must shrink and grow.
TEST(PrintDocumentEndToEnd, PortraitLabelLandsExactlyOnTheOfficeLaser) {
  expectMarkerPrintedExactly(101.6, 152.4, 400, 300);  // wider than the page: centred top to bottom
  expectMarkerPrintedExactly(101.6, 152.4, 120, 600);  // taller: centred side to side, enlarged
  expectMarkerPrintedExactly(101.6, 152.4, 1218, 1812);  // a 300 dpi label, reduced
  expectMarkerPrintedExactly(101.6, 152.4, 1218, 1812, /*alpha=*/true);
}

// Tests a landscape 100 x 50 mm page: the size is kept as asked, not swapped, and the
// page is not turned on the way to the printer.
TEST(PrintDocumentEndToEnd, LandscapeLabelIsNotTurned) {
  expectMarkerPrintedExactly(100, 50, 300, 400);
  expectMarkerPrintedExactly(100, 50, 1000, 500);
  expectMarkerPrintedExactly(100, 50, 1000, 500, /*alpha=*/true);
}

// Tests that the label printer's driver turns our page into ZPL of the page's size at
// 203 dpi, unturned: 4 x 6 in is 812 dots (102 bytes) a row and 1218 rows; a landscape
// 100 x 50 mm label is 800 dots (100 bytes) wide and 400 rows high.
TEST(PrintDocumentEndToEnd, LabelPrinterReceivesZplOfThePageSize) {
  CupsPrintingServices services;
  const struct {
    double widthMm, heightMm;
    int bytesPerRow, rows;
  } cases[] = {{101.6, 152.4, 102, 1218}, {100, 50, 100, 400}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.widthMm) + " x " + std::to_string(c.heightMm));
    const int before = newestJobId("Label_4x6");
    ASSERT_EQ(printDocument(services, {{"printerName", "Label Printer 4x6"},
                                       {"imageBytes",
                                        bytesOf(testing::code128LabelPng("4711", 1218, 1812, 4))},
                                       {"width", c.widthMm},
                                       {"height", c.heightMm},
                                       {"jobName", "Shipping label"}}),
              printed("Shipping label"));
    const auto job = waitForJobAfter("Label_4x6", before);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->state, 9);
    EXPECT_EQ(job->title, "Shipping label");
    const std::string zpl = testing::readFile(sandbox().outputDir() + "/label_4x6.zpl");
    ASSERT_TRUE(zpl.starts_with("~DGR:CUPS.GRF,")) << zpl.substr(0, 40);
    int total = 0, perRow = 0;
    ASSERT_EQ(std::sscanf(zpl.c_str(), "~DGR:CUPS.GRF,%d,%d,", &total, &perRow), 2);
    EXPECT_EQ(perRow, c.bytesPerRow);
    EXPECT_EQ(total / perRow, c.rows);
    EXPECT_NE(zpl.find("^XA"), std::string::npos);
    EXPECT_NE(zpl.find("^XZ"), std::string::npos);
  }
}

// Tests that copies and the job name reach CUPS as the job's own attributes, and that the
// default name is the title when the call gives none.
TEST(PrintDocumentEndToEnd, CopiesAndTitleReachCups) {
  CupsPrintingServices services;
  const auto png = bytesOf(testing::markerImagePng(40, 60));
  int before = newestJobId("Office_Laser");
  ASSERT_EQ(printDocument(services, {{"printerName", "Office Laser"},
                                     {"imageBytes", png},
                                     {"copies", int32_t{3}},
                                     {"jobName", "Pallet \u00e9tiquette"}}),
            printed("Pallet \u00e9tiquette"));
  auto job = waitForJobAfter("Office_Laser", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->copies, 3);
  EXPECT_EQ(job->title, "Pallet \u00e9tiquette");

  before = job->id;
  ASSERT_EQ(printDocument(services, {{"printerName", "Office Laser"}, {"imageBytes", png}}),
            printed("Velmar Job"));
  job = waitForJobAfter("Office_Laser", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->copies, 1);
  EXPECT_EQ(job->title, "Velmar Job");
}

// Tests that an empty printer name prints on the CUPS default (the shared printer), and
// that an unknown name creates no job anywhere.
TEST(PrintDocumentEndToEnd, EmptyNameUsesTheDefaultAndUnknownNamesPrintNothing) {
  CupsPrintingServices services;
  const auto png = bytesOf(testing::markerImagePng(40, 60));
  const int office = newestJobId("Office_Laser"), label = newestJobId("Label_4x6");
  ASSERT_EQ(printDocument(services, {{"printerName", "Office"}, {"imageBytes", png}}),
            errorReply("PRINTER_NOT_FOUND", "Printer 'Office' not found"));
  ASSERT_EQ(
      printDocument(services, {{"printerName", "Office_Laser"}, {"imageBytes", Uint8List{1}}}),
      errorReply("PRINTER_NOT_FOUND", "Printer 'Office_Laser' not found"));
  EXPECT_EQ(newestJobId("Office_Laser"), office);
  ASSERT_EQ(printDocument(services, {{"printerName", ""}, {"imageBytes", png}}),
            printed("Velmar Job"));
  EXPECT_TRUE(waitForJobAfter("Office_Laser", office));
  EXPECT_EQ(newestJobId("Label_4x6"), label);
}

// A PNG of width x height whose header is real but whose pixel data is missing.
Uint8List pngHeaderOnly(uint32_t width, uint32_t height) {
  auto png = testing::markerImagePng(8, 8);
  testing::setPngSize(png, width, height);
  png.resize(33);  // signature and IHDR only
  return bytesOf(png);
}

// Tests that bytes which are no usable image answer IMAGE_INVALID, leave nothing in the
// queue, and that the host goes on printing afterwards.
TEST(PrintDocumentEndToEnd, UnusableImagesAreRefusedAndTheHostKeepsServing) {
  CupsPrintingServices services;
  auto truncated = testing::markerImagePng(300, 200);
  truncated.resize(truncated.size() / 2);
  const Uint8List cases[] = {
      Uint8List{},
      Uint8List{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'},
      Uint8List{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 0},
      bytesOf(truncated),
      pngHeaderOnly(60000, 60000),
  };
  const int before = newestJobId("Office_Laser");
  for (const auto& bytes : cases) {
    EXPECT_EQ(printDocument(services, {{"printerName", "Office Laser"}, {"imageBytes", bytes}}),
              kImageInvalid)
        << bytes.size() << " bytes";
  }
  EXPECT_EQ(newestJobId("Office_Laser"), before);
  ASSERT_EQ(printDocument(services, {{"printerName", "Office Laser"},
                                     {"imageBytes", bytesOf(testing::markerImagePng(40, 60))}}),
            printed("Velmar Job"));
  EXPECT_TRUE(waitForJobAfter("Office_Laser", before));
}

// Tests that page sizes no medium has (empty, negative, not a number, under a point or
// over 200 inches a side) and copies CUPS refuses answer PRINT_FAILED without
// a crash, without leaving a job behind and without stopping the queue.
TEST(PrintDocumentEndToEnd, ImpossibleJobsFailCleanly) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  CupsPrintingServices services;
  const auto png = bytesOf(testing::markerImagePng(40, 60));
  const struct {
    double widthMm, heightMm;
    int64_t copies;
  } cases[] = {
      {0, 152.4, 1},
      {101.6, 0, 1},
      {-101.6, 152.4, 1},
      {101.6, -1, 1},
      {kNaN, 152.4, 1},
      {101.6, kInfinity, 1},
      {-kInfinity, 152.4, 1},
      {5080.000001, 100, 1},
      {1e300, 1e300, 1},
      {101.6, 152.4, 0},
      {101.6, 152.4, -1},
      {101.6, 152.4, 10000},
      {101.6, 152.4, int64_t{1} << 32},
      {101.6, 152.4, (int64_t{1} << 32) + 1},
      {101.6, 152.4, std::numeric_limits<int64_t>::min()},
  };
  const int before = newestJobId("Office_Laser");
  for (const auto& c : cases) {
    EXPECT_EQ(printDocument(services, {{"printerName", "Office Laser"},
                                       {"imageBytes", png},
                                       {"width", c.widthMm},
                                       {"height", c.heightMm},
                                       {"copies", c.copies}}),
              kPrintFailed)
        << c.widthMm << " x " << c.heightMm << " mm, " << c.copies << " copies";
  }
  EXPECT_EQ(newestJobId("Office_Laser"), before);
  EXPECT_TRUE(testing::queueIsEnabled("Office_Laser"));
  // The largest medium there is still prints.
  ASSERT_EQ(
      printDocument(services,
                    {{"printerName", "Office Laser"}, {"imageBytes", png}, {"width", 5080.0}}),
      printed("Velmar Job"));
  EXPECT_TRUE(waitForJobAfter("Office_Laser", before));
}

// Tests that a Code128 barcode survives the whole road: drawn into a label, printed on
// "Office Laser", and read back by zbarimg from the printed page rendered at 203 dpi.
TEST(PrintDocumentEndToEnd, BarcodeStillScansAfterPrinting) {
  CupsPrintingServices services;
  for (const int module : {2, 4}) {
    SCOPED_TRACE("module " + std::to_string(module));
    const int before = newestJobId("Office_Laser");
    ASSERT_EQ(printDocument(services, {{"printerName", "Office Laser"},
                                       {"imageBytes", bytesOf(testing::code128LabelPng(
                                                          "TOVANEL-4711", 1218, 1812, module))}}),
              printed("Velmar Job"));
    ASSERT_TRUE(waitForJobAfter("Office_Laser", before));
    const testing::TemporaryFolder folder(0755);
    const auto rendered = testing::runShell("pdftoppm -r 203 -png -singlefile '" + officeOutput() +
                                            "' '" + folder.file("page") + "' 2>&1");
    ASSERT_EQ(rendered.status, 0) << rendered.output;
    const auto scanned =
        testing::runShell("zbarimg -q --raw '" + folder.file("page.png") + "' 2>/dev/null");
    EXPECT_EQ(scanned.output, "TOVANEL-4711\n");
  }
}

int openDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                        std::filesystem::directory_iterator()));
}

// Tests that printing, on every path, leaves no connection or file open behind.
TEST(PrintDocumentEndToEnd, NoDescriptorLeaksOverManyCalls) {
  CupsPrintingServices services;
  const auto png = bytesOf(testing::markerImagePng(40, 60));
  const ValueMap calls[] = {
      {{"printerName", "Office Laser"}, {"imageBytes", png}},
      {{"printerName", "Office Laser"}, {"imageBytes", png}, {"copies", int32_t{0}}},
      {{"printerName", "Office Laser"}, {"imageBytes", png}, {"width", 0.0}},
      {{"printerName", "Office Laser"}, {"imageBytes", Uint8List{1, 2}}},
      {{"printerName", "Nobody"}, {"imageBytes", png}},
  };
  printDocument(services, calls[0]);  // libcups keeps one connection for later calls
  const int before = openDescriptors();
  for (int round = 0; round < 10; ++round) {
    for (const auto& call : calls)
      printDocument(services, call);
  }
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
