// The host and printctl against a private cupsd: real lpstat, lpoptions, filters and
// printers, two of them driverless (IPP Everywhere), and what each printer received.
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
  const struct {
    const char* method;
    Value arguments;
    MethodReply expected;
  } rows[] = {
      {"getPrinterStatus", named("Label Printer 4x6"), kOnline},
      {"getPrinterStatus", named("Label Printer Driverless"), kOnline},
      {"getPrinterStatus", named("Office Driverless"), kOnline},
      {"getPrinterStatus", named("Label_4x6"), kOffline},
      {"getPrinterStatus", named("Label Printer 4x6 "), kOffline},
      {"getPaperSizes", named("Office Driverless"),
       successReply(ValueList{paper("A4", 210.0, 297.0), paper("Env10", 104.78, 241.3),
                              paper("EnvDL", 110.0, 220.0), paper("Legal", 215.9, 355.6),
                              paper("Letter", 215.9, 279.4)})},
      {"getPaperSizes", named("No Such Printer"), successReply(ValueList{})},
      {"getPaperSizes", named("Label_4x6 ; rm -rf /tmp/x"), successReply(ValueList{})},
      {"printDocument", ValueMap{{"imageBytes", png}, {"printerName", "Office"}},
       errorReply("PRINTER_NOT_FOUND", "Printer 'Office' not found")},
      {"printDocument", office("imageBytes", Uint8List{}),
       errorReply("IMAGE_INVALID", "Failed to create image")},
      // The host's own limit: 100,010,000 pixels in a file of 13 KB.
      {"printDocument", office("imageBytes", bytesOf(whitePng(10001, 10000))),
       errorReply("IMAGE_INVALID", "Failed to create image")},
      {"printDocument", office("width", 5080.000001), kPrintFailed},  // over 200 inches
      {"printDocument", office("copies", int32_t{0}), kPrintFailed},  // CUPS refuses
      {"printDocument",
       ValueMap{{"printerName", "Office Driverless"},
                {"imageBytes", png},
                {"width", 300.0},
                {"height", 500.0}},
       errorReply(
           "PRINT_FAILED",
           "Printer 'Office Driverless' has no paper that holds a page of 300.0 x 500.0 mm")},
  };
  for (const auto& row : rows)
    EXPECT_EQ(call(row.method, row.arguments), row.expected) << describe(row.arguments);
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
  const auto rgb = [&](int x, int y) {
    const uint8_t* p = raster->at(x, y);
    return (p[0] > 200 ? 4 : 0) | (p[1] > 200 ? 2 : 0) | (p[2] > 200 ? 1 : 0);
  };
  EXPECT_EQ(rgb(52, 5), 4);
  EXPECT_EQ(rgb(230, 136), 1);
  EXPECT_EQ(rgb(44, 70) & rgb(240, 70), 7);  // white margins on both sides

  const auto label = bytesOf(code128LabelPng("TOVANEL-4711", 1218, 1812, 2));
  for (const auto& [width, height, perRow, rows] :
       {std::tuple{101.6, 152.4, 102, 1218}, {100.0, 50.0, 100, 400}}) {
    ASSERT_EQ(print("Label_4x6", {{"printerName", "Label Printer 4x6"},
                                  {"imageBytes", label},
                                  {"width", width},
                                  {"height", height}}),
              9);
    int total = 0, bytesPerRow = 0;
    std::sscanf(readFile(output("label_4x6.zpl")).c_str(), "~DGR:CUPS.GRF,%d,%d,", &total,
                &bytesPerRow);
    EXPECT_EQ(bytesPerRow, perRow);
    EXPECT_EQ(total, perRow * rows);
  }
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
  const auto rgb = [&](int x, int y) {
    const uint8_t* p = turned->at(x, y);
    return (p[0] > 200 ? 4 : 0) | (p[1] > 200 ? 2 : 0) | (p[2] > 200 ? 1 : 0);
  };
  EXPECT_EQ(rgb(90, 740), 4);
  EXPECT_EQ(rgb(500, 92), 1);
  EXPECT_EQ(rgb(20, 400), 7);
}

// Tests that every page size the driverless printers are asked for either prints, in a job
// the printer completes on media it has, or is refused with no job: pages at and 0.5 mm
// off listed sizes, on and past the custom range's edges, landscape pages. The jobs run
// side by side and are checked together.
TEST_F(Printing, PagesGoOnMediaThePrinterTakes) {
  const struct {
    const char* name;
    const char* printer;
    double width, height;
    const char* media;  // empty: refused
  } rows[] = {
      {"6 x 4 on the 4 x 6 stock", "Label Printer Driverless", 152.4, 101.6, "na_index-4x6_4x6in"},
      {"the printer's 4 x 6.5 in, which its queue rounds", "Label Printer Driverless", 101.6, 165.1,
       "Custom.288x468"},
      {"the rounded size itself: a sheet that holds it", "Label Printer Driverless", 102, 165,
       "custom_4x8in_4x8in"},
      {"the custom range's lower bounds", "Label Printer Driverless", 19.05, 6.35,
       "Custom.54.00000000000001x18"},
      {"under the range: the default", "Label Printer Driverless", 18.7, 50, "na_index-4x6_4x6in"},
      {"0.4 mm over the range", "Label Printer Driverless", 102, 200, "custom_4x8in_4x8in"},
      {"0.6 mm over the widest label", "Label Printer Driverless", 102.2, 152.4, ""},
      {"A4 landscape", "Office Driverless", 297, 210, "iso_a4_210x297mm"},
      {"0.5 mm narrower than Env10", "Office Driverless", 104.27, 241.3,
       "na_number-10_4.125x9.5in"},
      {"0.5 mm shorter than Env10", "Office Driverless", 104.77, 240.8, "na_number-10_4.125x9.5in"},
      {"0.6 mm over Legal", "Office Driverless", 216.5, 355.6, ""},
      {"on Legal turned", "Office Driverless", 300, 200, "na_legal_8.5x14in"},
  };
  const auto png = bytesOf(markerImagePng(40, 60));
  const std::map<std::string, std::string> queues = {
      {"Label Printer Driverless", "Label_Driverless"}, {"Office Driverless", "Office_Driverless"}};
  std::map<std::string, int> before;
  std::map<std::string, size_t> expectedJobs;
  for (const auto& [printer, queue] : queues)
    before[queue] = newestJobId(queue);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    char size[64];
    std::snprintf(size, sizeof size, "%.1f x %.1f mm", row.width, row.height);
    EXPECT_EQ(call("printDocument", ValueMap{{"printerName", row.printer},
                                             {"imageBytes", png},
                                             {"width", row.width},
                                             {"height", row.height},
                                             {"jobName", row.name}}),
              *row.media
                  ? printed(row.name)
                  : errorReply("PRINT_FAILED", "Printer '" + std::string(row.printer) +
                                                   "' has no paper that holds a page of " + size));
    expectedJobs[queues.at(row.printer)] += *row.media != 0;
  }
  std::map<std::string, SandboxJob> jobs;
  for (const auto& [printer, queue] : queues) {
    const auto done = waitForJobsAfter(queue, before[queue], expectedJobs[queue]);
    for (const auto& job : done)
      jobs[job.title] = job;
    // A refused page would have left a job after these.
    EXPECT_EQ(newestJobId(queue), done.empty() ? before[queue] : done.back().id) << queue;
  }
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (*row.media) {
      EXPECT_EQ(std::pair(jobs[row.name].state, jobs[row.name].media),
                std::pair(9, std::string(row.media)));
    }
  }
}

// Tests that "setDefaultPrinter" makes CUPS's default and the listing's; and that the current
// printer is the CUPS default of start-up, for a host whose first call sets the default by queue
// name as for one that lists first.
TEST_F(Printing, DefaultPrinter) {
  EXPECT_EQ(call("setDefaultPrinter", named("Label Printer 4x6")), successReply(true));
  EXPECT_EQ(runShell("/usr/bin/lpstat -d").output, "system default destination: Label_4x6\n");
  EXPECT_EQ(field(listing().at(0), "isDefault"), Value(true));
  for (const bool listingFirst : {false, true}) {
    runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null");
    HostProcess fresh;
    HostClient client(fresh.socketPath());
    if (listingFirst)
      client.call("printerlist");
    // A queue name: no printer has it as display name, so only CUPS's default changes.
    EXPECT_EQ(client.call("setDefaultPrinter", named("Label_4x6")), successReply(true));
    EXPECT_EQ(field(listingOf(client).at(3), "isDefault"), Value(true)) << listingFirst;
  }
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
  for (const auto& [form, json, hex] : {
           std::tuple{"", "[-2147483648, 2147483648]", "0c020300000080040000008000000000"},
           {"", "[101.6, 0.0]", "0c02060000000000666666666666594006000000000000000000000000000000"},
           {"", "\"h\u00e9\\\"\\n\"", "070568c3a9220a"},
           {"", "{\"$bytes\": \"AQL/\"}", "08030102ff"},
           {"", "{\"$map\": [[1, \"a\"], [null, true]]}", "0d0203010000000701610001"},
           {"--call", "{\"method\": \"printerlist\", \"args\": null}",
            "070b7072696e7465726c69737400"},
           {"--reply", "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": [1]}}",
            "0107014507016d0c010301000000"},
       }) {
    const std::vector<std::string> forms =
        *form ? std::vector<std::string>{form} : std::vector<std::string>{};
    auto encode = forms, decode = forms;
    encode.insert(encode.begin(), "encode"), encode.push_back(json);
    decode.insert(decode.begin(), "decode"), decode.push_back(hex);
    EXPECT_EQ(printctl("", encode).out, std::string(hex) + "\n") << json;
    EXPECT_EQ(printctl("", decode).out, std::string(json) + "\n") << hex;
  }
  for (const auto& [arguments, reason] :
       {std::pair{std::vector<std::string>{"encode", "18446744073709551615"},
                  "the integer 18446744073709551615 is outside"},
        {{"encode", "{\"a\": "}, "invalid JSON: "},
        {{"decode", "0f"}, "the bytes do not decode: unknown type tag 15 (at byte 0)"}}) {
    const auto result = printctl("", arguments);
    EXPECT_EQ(result.status, 1) << reason;
    EXPECT_TRUE(result.err.starts_with("printctl: ") &&
                result.err.find(reason) != std::string::npos &&
                std::ranges::count(result.err, '\n') == 1 && result.out.empty())
        << result.err;
  }
}

// Tests every verb against the real host: what each prints, its exit status, and that the
// print lands with its size, copies and title.
TEST(Printctl, VerbsAgainstTheHost) {
  HostProcess host;
  TemporaryFolder folder(0755);
  const std::string image = folder.write("label.png", markerImagePng(40, 60));
  const int before = newestJobId("Office_Laser");
  for (const auto& [arguments, status, out] : {
           std::tuple{std::vector<std::string>{"status", "Nowhere"}, 0,
                      "Nowhere: offline (Printer not found)\n"},
           {{"papers", "Office Laser"},
            0,
            "PAPER                SIZE\nLetter               215.9 x 279.4 mm\n"
            "A4                   210 x 297 mm\nw288h432             101.6 x 152.4 mm\n"
            "A6                   105 x 148 mm\nCustom.WIDTHxHEIGHT  unknown size\n"},
           {{"call", "getPrinterStatus", "{\"printerName\": \"Office Laser\"}"},
            0,
            "{\"success\": {\"status\": \"online\", \"message\": \"Ready\"}}\n"},
           {{"call", "printDocument", "-"},
            1,  // "{}" on standard input: no image
            "{\"error\": {\"code\": \"INVALID_ARGUMENTS\", \"message\": \"Invalid Image Data\", "
            "\"details\": null}}\n"},
           {{"call", "nope"}, 2, "{\"notImplemented\": true}\n"},
           {{"set-default", "Nope"}, 1, ""},
           {{"set-default", "Office Laser"}, 0, "Office Laser is now the default printer.\n"},
           {{"print", image, "--printer", "Office Laser", "--width", "100", "--height", "150.5",
             "--copies", "2", "--job-name", "Box 7"},
            0,
            "Printed \"Box 7\".\n"},
           {{"list"},
            0,
            "DEFAULT  NAME                      QUEUE              TYPE                      "
            "PAPER             SIZES\n"
            "         Label Printer 4x6         Label_4x6          Zebra ZPL Label Printer   "
            "101.6 x 152.4 mm  65\n"
            "         Label Printer Driverless  Label_Driverless   Printer - IPP Everywhere  "
            "101.6 x 152.4 mm  45\n"
            "         Office Driverless         Office_Driverless  Printer - IPP Everywhere  "
            "215.9 x 279.4 mm  5\n"
            "*        Office Laser              Office_Laser       Tovanel Office Laser PDF  "
            "210 x 297 mm      5\n"},
       }) {
    const auto result = printctl(host.socketPath(), arguments, "{}");
    EXPECT_EQ(result.status, status) << arguments[0];
    EXPECT_EQ(result.out, out) << arguments[0] << ": " << result.err;
  }
  EXPECT_EQ(printctl(host.socketPath(), {"set-default", "Nope"}).err,
            "printctl: SHELL_ERROR: Failed to set system default printer. Status: 1\n");
  const auto job = waitForJobAfter("Office_Laser", before);
  EXPECT_TRUE(job && job->title == "Box 7" && job->copies == 2);
  const auto page = pdfPage(sandbox().outputDir() + "/office_laser.pdf");
  EXPECT_TRUE(page && std::abs(page->width - 283.46) < 0.01 &&
              std::abs(page->height - 426.61) < 0.01);
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
