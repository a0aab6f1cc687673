// The host and printctl against a private cupsd: real lpstat, lpoptions, filters and
// printers, two of them driverless (IPP Everywhere), and what each printer received.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "codec/standard_message_codec.h"
#include "directory/printer_listing.h"
#include "platform/libcups/cups_printing_services.h"
#include "platform/libcups/cups_spooler.h"
#include "support/cups_sandbox.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/process_probe.h"
#include "support/replies.h"
#include "support/rows.h"

namespace tovanel {
namespace {

using namespace testing;

Value paper(const char* name, double width, double height) {
  return ValueMap{{"name", name}, {"width", width}, {"height", height}};
}
Uint8List bytesOf(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}
Value field(const Value& record, const char* key) {
  const auto* map = record.getIf<ValueMap>();
  const Value* value = map ? findStringKey(*map, key) : nullptr;
  return value ? *value : Value();
}
ValueList listingOf(HostClient& client) {
  const Value records = std::get<Value>(client.call("printerlist"));
  return records.getIf<ValueList>() ? *records.getIf<ValueList>() : ValueList{};
}
std::string output(const std::string& name) {
  return sandbox().outputDir() + "/" + name;
}
// What a barcode scanner reads from page 1 of a PDF at 203 dpi, or from a PNG.
std::string scan(const std::string& file) {
  const TemporaryFolder folder(0755);
  const bool pdf = file.ends_with(".pdf");
  const std::string png = pdf ? folder.file("page.png") : file;
  if (pdf)
    runShell("pdftoppm -r 203 -png -singlefile '" + file + "' '" + folder.file("page") + "'");
  return runShell("zbarimg -q --raw '" + png + "' 2>/dev/null").output;
}

// A pixel's colour as three bits, red 4, green 2 and blue 1: 7 is white.
int rgb(const Raster& raster, int x, int y) {
  const uint8_t* p = raster.at(x, y);
  return (p[0] > 200 ? 4 : 0) | (p[1] > 200 ? 2 : 0) | (p[2] > 200 ? 1 : 0);
}

unsigned modeOf(const std::string& path) {
  return static_cast<unsigned>(std::filesystem::symlink_status(path).permissions());
}
// printctl, with --socket `socketPath` unless that is empty.
ProgramResult printctl(const std::string& socketPath, std::vector<std::string> arguments,
                       const std::string& input = {}) {
  if (!socketPath.empty())
    arguments.insert(arguments.begin(), {"--socket", socketPath});
  arguments.insert(arguments.begin(), std::string(TOVANEL_BINARY_DIR) + "/printctl");
  return runProgram(arguments, input);
}
const std::string kLabelOnline = "Label Printer 4x6: online (Ready)\n";

// One host for the whole file, as the interface has it, with a client.
class Printing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { host_ = new HostProcess(); }
  static void TearDownTestSuite() { delete host_; }

  MethodReply call(const std::string& method, Value arguments = Value()) {
    return client_.call(method, arguments);
  }
  // "printDocument" that must succeed; the state of its job once CUPS is done with it.
  int print(const std::string& queue, ValueMap arguments, const std::string& title = "Velmar Job") {
    const int before = newestJobId(queue);
    EXPECT_EQ(call("printDocument", arguments), printed(title)) << describe(Value(arguments));
    const auto job = waitForJobAfter(queue, before, std::chrono::seconds(20));
    return job ? job->state : 0;
  }
  ValueList listing() { return listingOf(client_); }

  static HostProcess* host_;
  HostClient client_{host_->socketPath()};
};
HostProcess* Printing::host_ = nullptr;

// Tests status, paper sizes, and argument and job errors on the real path, as rows of call
// and reply; none of the failing prints leaves a job or stops a queue.
TEST_F(Printing, CallsAndReplies) {
  const int officeJobs = newestJobId("Office_Laser");
  const int driverlessJobs = newestJobId("Office_Driverless");
  const auto png = bytesOf(markerImagePng(40, 60));
  const auto office = [&png](const char* key, Value value) {
    // A key given twice: the later one counts.
    return ValueMap{{"printerName", "Office Laser"}, {"imageBytes", png}, {key, std::move(value)}};
  };
  const Row<const char*, MethodReply> statuses[] = {
      {.name = "a label printer", .in = "Label Printer 4x6", .expect = kOnline},
      {.name = "a driverless label printer", .in = "Label Printer Driverless", .expect = kOnline},
      {.name = "a driverless office printer", .in = "Office Driverless", .expect = kOnline},
      {.name = "a queue name", .in = "Label_4x6", .expect = kOffline},
      {.name = "a blank after the name", .in = "Label Printer 4x6 ", .expect = kOffline}};
  expectRows(statuses, [this](const char* name) { return call("getPrinterStatus", named(name)); });
  const Row<const char*, MethodReply> papers[] = {
      {.name = "a driverless printer",
       .in = "Office Driverless",
       .expect = ValueList{paper("A4", 210.0, 297.0), paper("Env10", 104.78, 241.3),
                           paper("EnvDL", 110.0, 220.0), paper("Legal", 215.9, 355.6),
                           paper("Letter", 215.9, 279.4)}},
      {.name = "no such printer", .in = "No Such Printer", .expect = ValueList{}},
      {.name = "a shell command", .in = "Label_4x6 ; rm -rf /tmp/x", .expect = ValueList{}}};
  expectRows(papers, [this](const char* name) { return call("getPaperSizes", named(name)); });
  const MethodReply noImage = errorReply("IMAGE_INVALID", "Failed to create image");
  const Row<ValueMap, MethodReply> prints[] = {
      {.name = "no such printer",
       .in = {{"imageBytes", png}, {"printerName", "Office"}},
       .expect = errorReply("PRINTER_NOT_FOUND", "Printer 'Office' not found")},
      {.name = "no image", .in = office("imageBytes", Uint8List{}), .expect = noImage},
      // The host's own limit: 100,010,000 pixels in a file of 13 KB.
      {.name = "too many pixels",
       .in = office("imageBytes", bytesOf(whitePng(10001, 10000))),
       .expect = noImage},
      {.name = "over 200 inches", .in = office("width", 5080.000001), .expect = kPrintFailed},
      {.name = "no copies, for CUPS to refuse",
       .in = office("copies", int32_t{0}),
       .expect = kPrintFailed},
      {.name = "no paper holds it",
       .in = {{"printerName", "Office Driverless"},
              {"imageBytes", png},
              {"width", 300.0},
              {"height", 500.0}},
       .expect = errorReply(
           "PRINT_FAILED",
           "Printer 'Office Driverless' has no paper that holds a page of 300.0 x 500.0 mm")}};
  expectRows(prints,
             [this](const ValueMap& arguments) { return call("printDocument", arguments); });
  // Refused before its pixels exist: 400 MB once decoded.
  EXPECT_LT(statusKibibytes(host_->pid(), "VmHWM"), 200 * 1024);
  EXPECT_EQ(newestJobId("Office_Laser"), officeJobs);
  EXPECT_EQ(newestJobId("Office_Driverless"), driverlessJobs);
  EXPECT_EQ(runShell("lpstat -p Office_Laser").output.find("disabled"), std::string::npos);
}

// Tests that an image lands on one unrotated page of exactly the page's size (landscape
// kept), scaled to fit and centred, neither turned nor mirrored; that the label printer
// gets ZPL of the page's size at 203 dpi, on a listed size or a custom one.
TEST_F(Printing, PagesComeOutWhole) {
  ASSERT_EQ(print("Office_Laser", {{"printerName", "Office Laser"},
                                   {"imageBytes", bytesOf(markerImagePng(400, 300))},
                                   {"width", 100.0},
                                   {"height", 50.0}}),
            9);
  const auto page = pdfPage(output("office_laser.pdf"));
  ASSERT_TRUE(page && page->pages == 1 && page->rotation == 0);
  EXPECT_NEAR(page->width, 283.46, 0.01);
  EXPECT_NEAR(page->height, 141.73, 0.01);
  const auto raster = renderPdfPage(output("office_laser.pdf"), 72);
  ASSERT_TRUE(raster);
  // 400 x 300 fits the height: 189 x 142 points from x = 47, a red square top left.
  EXPECT_EQ(rgb(*raster, 52, 5), 4);
  EXPECT_EQ(rgb(*raster, 230, 136), 1);
  EXPECT_EQ(rgb(*raster, 44, 70) & rgb(*raster, 240, 70), 7);  // white margins on both sides

  const auto label = bytesOf(code128LabelPng("TOVANEL-4711", 1218, 1812, 2));
  // The head of the ZPL graphic: its bytes in all, then in a row of dots.
  const Row<PaperDimensions, std::string> rows[] = {
      {.name = "a listed size", .in = {101.6, 152.4}, .expect = "~DGR:CUPS.GRF,124236,102,"},
      {.name = "a custom size", .in = {100, 50}, .expect = "~DGR:CUPS.GRF,40000,100,"}};
  expectRows(rows, [&](const PaperDimensions& page) {
    EXPECT_EQ(print("Label_4x6", {{"printerName", "Label Printer 4x6"},
                                  {"imageBytes", label},
                                  {"width", page.width},
                                  {"height", page.height}}),
              9);
    const std::string zpl = readFile(output("label_4x6.zpl"));
    return zpl.substr(0, zpl.find(',', zpl.find(',', 14) + 1) + 1);
  });
}

// Tests that a 4 x 6 in Code128 label prints, completed, on both driverless printers and
// scans from what each received: ZPL from the label printer, which has 4 x 6 labels; from
// the office printer, which has none, a Letter page asked for as Letter, with the label at
// true size in its middle. A 6 x 4 label goes on the 4 x 6 stock a quarter turn round, and
// so does a Letter landscape page on Letter, counter-clockwise as CUPS turns landscape.
TEST_F(Printing, DriverlessPrintersPrintLabelsThatScan) {
  const auto label = bytesOf(code128LabelPng("TOVANEL-DRIVERLESS", 1218, 1812, 4));
  const TemporaryFolder folder(0755);
  const auto printLabel = [&](const char* queue, const char* printer, const char* job,
                              const Uint8List& image, double width, double height) {
    return print(queue,
                 {{"printerName", printer},
                  {"imageBytes", image},
                  {"jobName", job},
                  {"width", width},
                  {"height", height}},
                 job);
  };
  const auto scanZpl = [&](const std::string& title) {
    const std::string png = folder.file(title + ".png");
    runShell(std::string(TOVANEL_BINARY_DIR) + "/zpl_render '" +
             output("label_driverless/" + title + ".prn") + "' '" + png + "'");
    const std::string size = runShell("file -b '" + png + "' | cut -d, -f2").output;
    return size + scan(png);
  };
  ASSERT_EQ(printLabel("Label_Driverless", "Label Printer Driverless", "Driverless label", label,
                       101.6, 152.4),
            9);
  EXPECT_EQ(scanZpl("Driverless label"), " 816 x 1218\nTOVANEL-DRIVERLESS\n");
  const auto wide = bytesOf(code128LabelPng("TOVANEL-6X4", 1812, 1218, 4));
  ASSERT_EQ(
      printLabel("Label_Driverless", "Label Printer Driverless", "Six by four", wide, 152.4, 101.6),
      9);
  EXPECT_EQ(scanZpl("Six by four"), " 816 x 1218\nTOVANEL-6X4\n");

  // The printer keeps each document beside the attributes it was sent with.
  const auto received = [](const char* job) {
    const std::string env = runShell("grep -lx 'IPP_JOB_NAME=" + std::string(job) + "' " +
                                     output("office_driverless/*.env") + " | tr -d '\\n'")
                                .output;
    return std::pair(readFile(env), env.empty() ? env : env.substr(0, env.size() - 4) + ".pdf");
  };
  const std::string letter = "IPP_MEDIA_COL={media-size={x-dimension=21590 y-dimension=27940}";
  ASSERT_EQ(
      printLabel("Office_Driverless", "Office Driverless", "Office label", label, 101.6, 152.4), 9);
  const auto [env, pdf] = received("Office label");
  EXPECT_NE(env.find(letter), std::string::npos);
  const auto raster = renderPdfPage(pdf, 72);
  ASSERT_TRUE(raster);
  ASSERT_EQ(raster->width * 10000 + raster->height, 612 * 10000 + 792);
  // The label's ink: 4 x 6 in at most, at true size, centred on the sheet.
  int left = 612, right = 0, top = 792, bottom = 0;
  for (int at = 0; at < 612 * 792; ++at) {
    if (raster->at(at % 612, at / 612)[0] < 128)
      left = std::min(left, at % 612), right = std::max(right, at % 612),
      top = std::min(top, at / 612), bottom = std::max(bottom, at / 612);
  }
  EXPECT_TRUE(std::abs(left + right - 612) <= 4 && std::abs(top + bottom - 792) <= 4 &&
              right - left <= 288 && right - left >= 260)
      << left << ".." << right << " x " << top << ".." << bottom;
  EXPECT_EQ(scan(pdf), "TOVANEL-DRIVERLESS\n");

  ASSERT_EQ(printLabel("Office_Driverless", "Office Driverless", "Letter landscape",
                       bytesOf(markerImagePng(300, 200)), 279.4, 215.9),
            9);
  const auto [landscapeEnv, landscapePdf] = received("Letter landscape");
  EXPECT_NE(landscapeEnv.find(letter), std::string::npos);
  const auto turned = renderPdfPage(landscapePdf, 72);
  ASSERT_TRUE(turned && turned->width == 612 && turned->height == 792);
  // The image's top left corner (red) at the sheet's bottom left, white beside its top edge.
  EXPECT_EQ(rgb(*turned, 90, 740), 4);
  EXPECT_EQ(rgb(*turned, 500, 92), 1);
  EXPECT_EQ(rgb(*turned, 20, 400), 7);
}

// Tests that every page size the driverless printers are asked for either prints, in a job
// the printer completes on media it has, or is refused with no job: pages at and 0.5 mm
// off listed sizes, on and past the custom range's edges, landscape pages. The jobs run
// side by side and are checked together.
TEST_F(Printing, PagesGoOnMediaThePrinterTakes) {
  // What each page goes on: a medium by name, a custom size, or "" when it is refused.
  using Pages = Row<PaperDimensions, const char*>;
  const Pages labelPages[] = {
      {.name = "6 x 4 on the 4 x 6 stock", .in = {152.4, 101.6}, .expect = "na_index-4x6_4x6in"},
      {.name = "4 x 6.5 in, rounded by the queue",
       .in = {101.6, 165.1},
       .expect = "Custom.288x468"},
      {.name = "the rounded size: a sheet", .in = {102, 165}, .expect = "custom_4x8in_4x8in"},
      {.name = "the lower bounds", .in = {19.05, 6.35}, .expect = "Custom.54.00000000000001x18"},
      {.name = "under the range: the default", .in = {18.7, 50}, .expect = "na_index-4x6_4x6in"},
      {.name = "0.4 mm over the range", .in = {102, 200}, .expect = "custom_4x8in_4x8in"},
      {.name = "0.6 mm over the widest label", .in = {102.2, 152.4}, .expect = ""}};
  const Pages officePages[] = {
      {.name = "A4 landscape", .in = {297, 210}, .expect = "iso_a4_210x297mm"},
      {.name = "Env10, 0.5 mm narrower",
       .in = {104.27, 241.3},
       .expect = "na_number-10_4.125x9.5in"},
      {.name = "Env10, 0.5 mm shorter",
       .in = {104.77, 240.8},
       .expect = "na_number-10_4.125x9.5in"},
      {.name = "0.6 mm over Legal", .in = {216.5, 355.6}, .expect = ""},
      {.name = "on Legal turned", .in = {300, 200}, .expect = "na_legal_8.5x14in"}};
  const struct {
    std::string printer = "", queue = "";
    std::span<const Pages> pages = {};
    int before = newestJobId(queue);
  } printers[] = {
      {.printer = "Label Printer Driverless", .queue = "Label_Driverless", .pages = labelPages},
      {.printer = "Office Driverless", .queue = "Office_Driverless", .pages = officePages}};
  const auto png = bytesOf(markerImagePng(40, 60));
  for (const auto& printer : printers) {
    forEachRow(printer.pages, [&](const Pages& row) {
      char size[64];
      std::snprintf(size, sizeof size, "%.1f x %.1f mm", row.in.width, row.in.height);
      EXPECT_EQ(call("printDocument", ValueMap{{"printerName", printer.printer},
                                               {"imageBytes", png},
                                               {"width", row.in.width},
                                               {"height", row.in.height},
                                               {"jobName", row.name}}),
                *row.expect ? printed(row.name)
                            : errorReply("PRINT_FAILED",
                                         "Printer '" + printer.printer +
                                             "' has no paper that holds a page of " + size));
    });
  }
  for (const auto& printer : printers) {
    const auto done = waitForJobsAfter(
        printer.queue, printer.before,
        std::ranges::count_if(printer.pages, [](const Pages& row) { return *row.expect != 0; }));
    // A refused page would have left a job after these.
    EXPECT_EQ(newestJobId(printer.queue), done.empty() ? printer.before : done.back().id);
    std::map<std::string, SandboxJob> jobs;
    for (const auto& job : done)
      jobs[job.title] = job;
    forEachRow(printer.pages, [&jobs](const Pages& row) {
      if (*row.expect) {
        EXPECT_EQ(jobs[row.name].media, row.expect);
        EXPECT_EQ(jobs[row.name].state, 9);
      }
    });
  }
}

// Tests labels as clients send them, printed with printctl: a vector PDF, an SVG, a WebP
// and a HEIC label scan from the label printer's ZPL; the PDF reaches the office printer
// with no raster image, three pages stay three in order, and a JPEG arrives as its own
// bytes; cut, locked and 1,001-page documents are refused and leave no job.
TEST_F(Printing, LabelsAsTheyCome) {
  const TemporaryFolder folder(0755);
  const std::string in = "cd '" + folder.path() + "' && ",
                    label = std::string(TOVANEL_BINARY_DIR) + "/sample_label";
  runShell(
      in + label + " label.pdf --tracking TOV-PDF && " + label +
      " label.svg --tracking TOV-SVG && " + label +
      " label.png --tracking TOV-PIXELS && cwebp -quiet label.png -o label.webp && " +
      "heif-enc -q 90 label.png -o label.heic >/dev/null && for n in 1 2 3; do " + label +
      " page$n.pdf --tracking PAGE-$n; done && qpdf --empty --pages page1.pdf page2.pdf "
      "page3.pdf " +
      "-- three.pdf && pdftoppm -jpeg -r 150 -singlefile label.pdf photo && qpdf --encrypt u o " +
      "256 -- label.pdf locked.pdf && head -c 9000 label.pdf > cut.pdf && qpdf --empty --pages " +
      "$(yes label.pdf | head -n 1001) -- many.pdf");
  const auto print = [&](const char* file, const char* printer, const char* queue) {
    const int before = newestJobId(queue);
    const auto result = printctl(host_->socketPath(), {"print", folder.file(file), "--printer",
                                                       printer, "--job-name", file});
    const auto job = result.status == 0 ? waitForJobAfter(queue, before) : std::nullopt;
    return std::pair(result.status == 0 ? (job ? job->state : 0) : newestJobId(queue) - before,
                     result.err);
  };
  const struct {
    const char* name = "";
    const char* file = "";
    std::string scans = "";
  } labels[] = {{.name = "vector PDF", .file = "label.pdf", .scans = "TOV-PDF\n"},
                {.name = "SVG", .file = "label.svg", .scans = "TOV-SVG\n"},
                {.name = "WebP", .file = "label.webp", .scans = "TOV-PIXELS\n"},
                {.name = "HEIC", .file = "label.heic", .scans = "TOV-PIXELS\n"}};
  forEachRow(labels, [&](const auto& row) {
    ASSERT_EQ(print(row.file, "Label Printer Driverless", "Label_Driverless").first, 9);
    runShell(std::string(TOVANEL_BINARY_DIR) + "/zpl_render '" + output("label_driverless/") +
             row.file + ".prn' '" + folder.file("zpl.png") + "'");
    EXPECT_EQ(scan(folder.file("zpl.png")), row.scans);
  });
  const std::string office = output("office_laser.pdf");
  ASSERT_EQ(print("label.pdf", "Office Laser", "Office_Laser").first, 9);
  EXPECT_EQ(runShell("pdfimages -list '" + office + "' | tail -n +3 | wc -l").output, "0\n");
  ASSERT_EQ(print("three.pdf", "Office Laser", "Office_Laser").first, 9);
  EXPECT_EQ(runShell("pdftotext '" + office + "' - | grep -o 'PAGE-[0-9]' | tr '\\n' ' '").output,
            "PAGE-1 PAGE-2 PAGE-3 ");
  ASSERT_EQ(print("photo.jpg", "Office Laser", "Office_Laser").first, 9);
  EXPECT_NE(readFile(office).find(readFile(folder.file("photo.jpg"))), std::string::npos);
  for (const char* refused : {"cut.pdf", "locked.pdf", "many.pdf"}) {
    SCOPED_TRACE(refused);
    EXPECT_EQ(print(refused, "Office Laser", "Office_Laser"),
              std::pair(0, std::string("printctl: IMAGE_INVALID: Failed to create image\n")));
  }
}

// Tests that "setDefaultPrinter" makes CUPS's default and the listing's; and that the current
// printer is the CUPS default of start-up, for a host whose first call sets the default by queue
// name as for one that lists first.
TEST_F(Printing, DefaultPrinter) {
  EXPECT_EQ(call("setDefaultPrinter", named("Label Printer 4x6")), successReply(true));
  EXPECT_EQ(runShell("/usr/bin/lpstat -d").output, "system default destination: Label_4x6\n");
  EXPECT_EQ(field(listing().at(0), "isDefault"), Value(true));
  const struct {
    const char* name = "";
    bool listsFirst = false;
  } hosts[] = {{.name = "a host that sets the default first"},
               {.name = "a host that lists first", .listsFirst = true}};
  forEachRow(hosts, [](const auto& row) {
    runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null");
    HostProcess fresh;
    HostClient client(fresh.socketPath());
    if (row.listsFirst)
      client.call("printerlist");
    // A queue name: no printer has it as display name, so only CUPS's default changes.
    EXPECT_EQ(client.call("setDefaultPrinter", named("Label_4x6")), successReply(true));
    EXPECT_EQ(field(listingOf(client).at(3), "isDefault"), Value(true));
  });
  runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null");
}

// Tests that where two queues share a description, the name means the later queue for the
// listing, the jobs and the current printer alike, also for a host started with the
// earlier one as CUPS's default.
TEST_F(Printing, TwinDescriptionsMeanOneQueue) {
  const std::string twin =
      " -E -D Twin -m drv:///sample.drv/zebra.ppd -v file://" + output("twin") + " 2>/dev/null";
  runShell("/usr/sbin/lpadmin -p Dup_A" + twin + "; /usr/sbin/lpadmin -p Dup_B" + twin);
  const auto png = bytesOf(markerImagePng(40, 60));
  EXPECT_EQ(field(listing().at(0), "cupsName"), Value("Dup_B"));  // Dup_A's record
  EXPECT_EQ(print("Dup_B", {{"imageBytes", png}, {"printerName", "Twin"}}), 9);
  EXPECT_EQ(call("setDefaultPrinter", named("Twin")), successReply(true));
  EXPECT_EQ(runShell("/usr/bin/lpstat -d").output, "system default destination: Dup_B\n");
  EXPECT_EQ(print("Dup_B", {{"imageBytes", png}}), 9);
  runShell("/usr/bin/lpoptions -d Dup_A >/dev/null");
  {
    HostProcess startedOnTwin;
    const int before = newestJobId("Dup_B");
    HostClient(startedOnTwin.socketPath()).call("printDocument", ValueMap{{"imageBytes", png}});
    EXPECT_TRUE(waitForJobAfter("Dup_B", before));
  }
  runShell(
      "/usr/bin/lpoptions -d Office_Laser >/dev/null; /usr/sbin/lpadmin -x Dup_A; "
      "/usr/sbin/lpadmin -x Dup_B");
}

// Tests that a host on a German desktop, whose tools would write German, lists the same
// queues and paper sizes; and that the listing's queries side by side give byte for byte
// the reply and diagnostic lines of one query after another, also where tools fail.
TEST_F(Printing, ListingOnAnyDesktopAndSideBySide) {
  MethodReply listings[2];
  for (const bool german : {false, true}) {
    if (german)
      setenv("LANG", "de_DE.UTF-8", 1);
    HostProcess host;
    listings[german] = HostClient(host.socketPath()).call("printerlist");
  }
  const std::string lpstat = runShell("/usr/bin/lpstat -lp").output;
  unsetenv("LANG");
  EXPECT_EQ(listings[1], listings[0]);
  EXPECT_NE(lpstat.find("Beschreibung:"), std::string::npos) << "German is not tried here";

  const CommandRunner run = [](const CommandRequest& request) {
    CommandResult failed;
    failed.launchError = LaunchError{request.toolPath, "exec", 2, "broken"};
    const auto& words = request.arguments;
    return std::ranges::count(words, "Label_4x6") + std::ranges::count(words, "Office_Laser")
               ? failed
               : runCommand(request);
  };
  CupsPrintingServices services;
  std::vector<uint8_t> replies[2];
  std::string lines[2];
  for (const size_t concurrency : {1, 4}) {
    ::testing::internal::CaptureStdout();
    replies[concurrency > 1] = encodeMessage(listPrinters(services, run, concurrency));
    lines[concurrency > 1] = ::testing::internal::GetCapturedStdout();
  }
  EXPECT_TRUE(replies[1] == replies[0]);
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_LT(lines[0].find("Label Printer 4x6: "), lines[0].find("Office Laser: "));
}

// Tests that a document failing half-way is cancelled, and never printed.
TEST(Spooling, DocumentFailingHalfWayPrintsNothing) {
  const std::string outputBefore = readFile(output("office_laser.pdf"));
  const int before = newestJobId("Office_Laser");
  const std::string half = "%PDF-1.5\n1 0 obj\n<< /Type /Catalog";
  EXPECT_FALSE(
      spoolCupsJob({"Office_Laser", "Half", {}}, "application/pdf", [&](const ByteSink& sink) {
        return sink({reinterpret_cast<const unsigned char*>(half.data()), half.size()}) && false;
      }));
  const auto cancelled = waitForJobAfter("Office_Laser", before);
  EXPECT_TRUE(cancelled && cancelled->state == 7);
  EXPECT_EQ(readFile(output("office_laser.pdf")), outputBefore);
}

// Tests the listening line, a private folder and socket, a clean stop on SIGTERM and
// SIGINT, the default socket under XDG_RUNTIME_DIR, and one host per socket (a dead one's
// is taken over).
TEST(HostProgram, ListensPrivatelyAndStopsCleanly) {
  for (int signal : {SIGTERM, SIGINT}) {
    TemporaryFolder folder;
    const std::string path = folder.path() + "/new/channel.sock";
    HostProcess host(path);
    EXPECT_EQ(host.standardOutput(), "printing_host: listening on " + path + "\n");
    EXPECT_EQ(modeOf(folder.path() + "/new") * 010000 + modeOf(path), 0700u * 010000 + 0600u);
    EXPECT_EQ(printctl(path, {"status", "Label Printer 4x6"}).out, kLabelOnline);
    EXPECT_EQ(host.stop(signal), 0) << signal;
    EXPECT_FALSE(std::filesystem::exists(path) || std::filesystem::exists(path + ".lock"));
  }
  TemporaryFolder runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  HostProcess first(runtime.path() + "/com.tovanel.printing/channel.sock",
                    HostProcess::Start::defaultSocket);
  EXPECT_EQ(printctl("", {"status", "Label Printer 4x6"}).out, kLabelOnline);
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(modeOf(runtime.path() + "/com.tovanel.printing"), 0700u);
  const auto second = runProgram({printingHostPath(), "--socket", first.socketPath()});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err, "printing_host: another printing host is already listening on " +
                            first.socketPath() + "\n");
  first.kill();
  HostProcess next(first.socketPath());
  EXPECT_EQ(printctl(next.socketPath(), {"status", "Label Printer 4x6"}).out, kLabelOnline);
}

// Tests that a host socket-activated by systemd-socket-activate answers the call that started
// it, keeps a second host off its path, and leaves the socket file, the launcher's, behind.
TEST(HostProgram, SocketActivated) {
  HostProcess host({}, HostProcess::Start::socketActivated);
  const std::string& path = host.socketPath();
  EXPECT_EQ(printctl(path, {"status", "Label Printer 4x6"}).out, kLabelOnline);
  EXPECT_EQ(runProgram({printingHostPath(), "--socket", path}).err,
            "printing_host: another printing host is already listening on " + path + "\n");
  EXPECT_EQ(host.stop(), 0);
  EXPECT_TRUE(std::filesystem::exists(path) && !std::filesystem::exists(path + ".lock"));
}

// Tests --help, --version and a wrong option of both programs: usage or version on standard
// output, or one line on standard error and 64, apart from printctl's statuses 0 to 3.
TEST(HostProgram, HelpVersionAndWrongOption) {
  for (const std::string program : {"printing_host", "printctl"}) {
    SCOPED_TRACE(program);
    const std::string path = std::string(TOVANEL_BINARY_DIR) + "/" + program;
    const auto help = runProgram({path, "--help"}), version = runProgram({path, "--version"}),
               wrong = runProgram({path, "--sock"});
    EXPECT_EQ(std::tuple(help.status, help.out.substr(0, help.out.find(" [")), help.err),
              std::tuple(0, "usage: " + program, ""));
    EXPECT_EQ(std::tuple(version.status, version.out, version.err),
              std::tuple(0, program + " " TOVANEL_VERSION "\n", ""));
    EXPECT_EQ(std::tuple(wrong.status, wrong.out, wrong.err),
              std::tuple(64, "",
                         program + ": unknown option or missing value: --sock (" + program +
                             " --help shows how to use it)\n"));
  }
}

// Tests JSON to codec bytes and back, integers kept apart from doubles, calls and replies;
// and that input which cannot be used exits 1 with one line saying why.
TEST(Printctl, JsonAndCodecBytes) {
  const struct {
    const char* name = "";
    std::vector<std::string> form = {};
    std::string json = "", hex = "";
  } rows[] = {{.name = "integers kept apart",
               .json = "[-2147483648, 2147483648]",
               .hex = "0c020300000080040000008000000000"},
              {.name = "doubles, whole ones too",
               .json = "[101.6, 0.0]",
               .hex = "0c02060000000000666666666666594006000000000000000000000000000000"},
              {.name = "escapes", .json = "\"h\u00e9\\\"\\n\"", .hex = "070568c3a9220a"},
              {.name = "bytes", .json = "{\"$bytes\": \"AQL/\"}", .hex = "08030102ff"},
              {.name = "a map",
               .json = "{\"$map\": [[1, \"a\"], [null, true]]}",
               .hex = "0d0203010000000701610001"},
              {.name = "a call",
               .form = {"--call"},
               .json = "{\"method\": \"printerlist\", \"args\": null}",
               .hex = "070b7072696e7465726c69737400"},
              {.name = "a reply",
               .form = {"--reply"},
               .json = "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": [1]}}",
               .hex = "0107014507016d0c010301000000"}};
  forEachRow(rows, [](const auto& row) {
    auto encode = row.form, decode = row.form;
    encode.insert(encode.begin(), "encode"), encode.push_back(row.json);
    decode.insert(decode.begin(), "decode"), decode.push_back(row.hex);
    EXPECT_EQ(printctl("", encode).out, row.hex + "\n");
    EXPECT_EQ(printctl("", decode).out, row.json + "\n");
  });
  // Each named by what its one line on standard error must say; it expects an exit status.
  const Row<std::vector<std::string>, int> refusals[] = {
      {.name = "the integer 18446744073709551615 is outside",
       .in = {"encode", "18446744073709551615"},
       .expect = 1},
      {.name = "invalid JSON: ", .in = {"encode", "{\"a\": "}, .expect = 1},
      {.name = "the bytes do not decode: unknown type tag 15",
       .in = {"decode", "0f"},
       .expect = 1}};
  forEachRow(refusals, [](const auto& row) {
    const auto result = printctl("", row.in);
    EXPECT_EQ(result.status, row.expect);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, ::testing::StartsWith("printctl: "));
    EXPECT_THAT(result.err, ::testing::HasSubstr(row.name));
    EXPECT_EQ(std::ranges::count(result.err, '\n'), 1);
  });
}

// Tests every verb against the real host: what each prints, its exit status, and that the
// print lands with its size, copies and title.
TEST(Printctl, VerbsAgainstTheHost) {
  HostProcess host;
  TemporaryFolder folder(0755);
  const std::string image = folder.write("label.png", markerImagePng(40, 60));
  const int before = newestJobId("Office_Laser");
  const struct {
    const char* name = "";
    std::vector<std::string> arguments = {};
    int status = 0;
    std::string out = "";
  } rows[] = {
      {.name = "no such printer's status",
       .arguments = {"status", "Nowhere"},
       .out = "Nowhere: offline (Printer not found)\n"},
      {.name = "papers",
       .arguments = {"papers", "Office Laser"},
       .out = "PAPER                SIZE\nLetter               215.9 x 279.4 mm\n"
              "A4                   210 x 297 mm\nw288h432             101.6 x 152.4 mm\n"
              "A6                   105 x 148 mm\nCustom.WIDTHxHEIGHT  unknown size\n"},
      {.name = "a call",
       .arguments = {"call", "getPrinterStatus", "{\"printerName\": \"Office Laser\"}"},
       .out = "{\"success\": {\"status\": \"online\", \"message\": \"Ready\"}}\n"},
      {.name = "a call of \"{}\" on standard input: no image",
       .arguments = {"call", "printDocument", "-"},
       .status = 1,
       .out = "{\"error\": {\"code\": \"INVALID_ARGUMENTS\", \"message\": \"Invalid Image Data\", "
              "\"details\": null}}\n"},
      {.name = "no such method",
       .arguments = {"call", "nope"},
       .status = 2,
       .out = "{\"notImplemented\": true}\n"},
      {.name = "no such default", .arguments = {"set-default", "Nope"}, .status = 1},
      {.name = "the default",
       .arguments = {"set-default", "Office Laser"},
       .out = "Office Laser is now the default printer.\n"},
      {.name = "a print",
       .arguments = {"print", image, "--printer", "Office Laser", "--width", "100", "--height",
                     "150.5", "--copies", "2", "--job-name", "Box 7"},
       .out = "Printed \"Box 7\".\n"},
      {.name = "the listing",
       .arguments = {"list"},
       .out = "DEFAULT  NAME                      QUEUE              TYPE                      "
              "PAPER             SIZES\n"
              "         Label Printer 4x6         Label_4x6          Zebra ZPL Label Printer   "
              "101.6 x 152.4 mm  65\n"
              "         Label Printer Driverless  Label_Driverless   Printer - IPP Everywhere  "
              "101.6 x 152.4 mm  45\n"
              "         Office Driverless         Office_Driverless  Printer - IPP Everywhere  "
              "215.9 x 279.4 mm  5\n"
              "*        Office Laser              Office_Laser       Tovanel Office Laser PDF  "
              "210 x 297 mm      5\n"}};
  forEachRow(rows, [&host](const auto& row) {
    const auto result = printctl(host.socketPath(), row.arguments, "{}");
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.out, row.out) << result.err;
  });
  EXPECT_EQ(printctl(host.socketPath(), {"set-default", "Nope"}).err,
            "printctl: SHELL_ERROR: Failed to set system default printer. Status: 1\n");
  const auto job = waitForJobAfter("Office_Laser", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->title, "Box 7");
  EXPECT_EQ(job->copies, 2);
  const auto page = pdfPage(sandbox().outputDir() + "/office_laser.pdf");
  ASSERT_TRUE(page);
  EXPECT_NEAR(page->width, 283.46, 0.01);
  EXPECT_NEAR(page->height, 426.61, 0.01);
  TemporaryFolder empty;
  const auto noHost = printctl(empty.file("channel.sock"), {"list"});
  EXPECT_EQ(noHost.status, 3);
  EXPECT_TRUE(noHost.err.starts_with("printctl: no printing host at ")) << noHost.err;
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
