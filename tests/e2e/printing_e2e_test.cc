// The host and printctl against a private cupsd: real lpstat, lpoptions, filters and
// printers, two of them driverless (IPP Everywhere), and what each printer received.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "support/cups_sandbox.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/process_probe.h"
#include "support/replies.h"
#include "support/rows.h"

namespace tovanel {
namespace {

using namespace testing;

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

// A pixel's colour as three bits, red 4, green 2 and blue 1: 7 is white; 0 outside the page.
int rgb(const Raster& raster, int x, int y) {
  if (x >= raster.width || y >= raster.height)
    return 0;
  const uint8_t* p = raster.at(x, y);
  return (p[0] > 200 ? 4 : 0) | (p[1] > 200 ? 2 : 0) | (p[2] > 200 ? 1 : 0);
}

// printctl, with --socket `socketPath` unless that is empty.
ProgramResult printctl(const std::string& socketPath, std::vector<std::string> arguments,
                       const std::string& input = {}) {
  if (!socketPath.empty())
    arguments.insert(arguments.begin(), {"--socket", socketPath});
  arguments.insert(arguments.begin(), std::string(TOVANEL_BINARY_DIR) + "/printctl");
  return runProgram(arguments, input);
}

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
  // The arguments that print `image` on `printer` at that size in millimetres.
  static ValueMap sized(const char* printer, const std::vector<uint8_t>& image, double width,
                        double height, const std::string& job = "Velmar Job") {
    return {{"printerName", printer},
            {"imageBytes", bytesOf(image)},
            {"width", width},
            {"height", height},
            {"jobName", job}};
  }

  static HostProcess* host_;
  HostClient client_{host_->socketPath()};
};
HostProcess* Printing::host_ = nullptr;

// Tests that refused prints leave no job, an image over the host's limit refused before decoding.
TEST_F(Printing, RefusedPrintsLeaveNoJob) {
  const int officeJobs = newestJobId("Office_Laser");
  const auto office = [](const char* key, Value value) {
    // A key given twice: the later one counts.
    return ValueMap{{"printerName", "Office Laser"},
                    {"imageBytes", bytesOf(markerImagePng(40, 60))},
                    {key, std::move(value)}};
  };
  // clang-format off
  const Row<ValueMap, MethodReply> prints[] = {
      // 100,010,000 pixels in a file of 13 KB: 400 MB once decoded.
      {.name = "too many pixels", .in = office("imageBytes", bytesOf(whitePng(10001, 10000))),
       .expect = errorReply("IMAGE_INVALID", "Failed to create image")},
      {.name = "over 200 inches", .in = office("width", 5080.000001), .expect = kPrintFailed},
      {.name = "no copies, for CUPS to refuse", .in = office("copies", int32_t{0}),
       .expect = kPrintFailed}};
  // clang-format on
  expectRows(prints,
             [this](const ValueMap& arguments) { return call("printDocument", arguments); });
  EXPECT_LT(statusKibibytes(host_->pid(), "VmHWM"), 200 * 1024);
  EXPECT_EQ(newestJobId("Office_Laser"), officeJobs);
  EXPECT_EQ(runShell("lpstat -p Office_Laser").output.find("disabled"), std::string::npos);
}

// Tests that labels scan, centred on Letter, 6 x 4 turned onto 4 x 6 stock and landscape turned.
TEST_F(Printing, DriverlessPrintersPrintLabelsThatScan) {
  const auto label = code128LabelPng("TOVANEL-DRIVERLESS", 1218, 1812, 4);
  const TemporaryFolder folder(0755);
  const auto scanZpl = [&](const std::string& job, const std::vector<uint8_t>& image, double width,
                           double height) {
    EXPECT_EQ(print("Label_Driverless",
                    sized("Label Printer Driverless", image, width, height, job), job),
              9);
    const std::string png = folder.file(job + ".png");
    runShell(std::string(TOVANEL_BINARY_DIR) + "/zpl_render '" +
             output("label_driverless/" + job + ".prn") + "' '" + png + "'");
    return runShell("file -b '" + png + "' | cut -d, -f2").output + scan(png);
  };
  EXPECT_EQ(scanZpl("Driverless label", label, 101.6, 152.4), " 816 x 1218\nTOVANEL-DRIVERLESS\n");
  EXPECT_EQ(scanZpl("Six by four", code128LabelPng("TOVANEL-6X4", 1812, 1218, 4), 152.4, 101.6),
            " 816 x 1218\nTOVANEL-6X4\n");

  // The sheet, asked for as Letter, and its page as the printer received it, which keeps each
  // document beside the attributes it was sent with.
  const auto received = [&](const char* job, const std::vector<uint8_t>& image, double width,
                            double height) {
    EXPECT_EQ(
        print("Office_Driverless", sized("Office Driverless", image, width, height, job), job), 9);
    const std::string env = runShell("grep -lx 'IPP_JOB_NAME=" + std::string(job) + "' " +
                                     output("office_driverless/*.env") + " | tr -d '\\n'")
                                .output;
    EXPECT_NE(readFile(env).find("IPP_MEDIA_COL={media-size={x-dimension=21590 y-dimension=27940}"),
              std::string::npos);
    const std::string pdf = env.substr(0, env.size() - 4) + ".pdf";
    const Raster page = renderPdf(pdf, 72);
    EXPECT_EQ(std::pair(page.width, page.height), std::pair(612, 792));
    return std::pair(pdf, page);
  };
  const auto [pdf, raster] = received("Office label", label, 101.6, 152.4);
  // The label's ink: 4 x 6 in at most, at true size, centred on the sheet.
  const auto [left, top, right, bottom] = inkBox(raster);
  EXPECT_TRUE(std::abs(left + right - 612) <= 4 && std::abs(top + bottom - 792) <= 4 &&
              right - left <= 288 && right - left >= 260)
      << left << ".." << right << " x " << top << ".." << bottom;
  EXPECT_EQ(scan(pdf), "TOVANEL-DRIVERLESS\n");
  const auto turned = received("Letter landscape", markerImagePng(300, 200), 279.4, 215.9).second;
  // The image's top left corner (red) at the sheet's bottom left, white beside its top edge.
  EXPECT_EQ((std::array{rgb(turned, 90, 740), rgb(turned, 500, 92), rgb(turned, 20, 400)}),
            (std::array{4, 1, 7}));
}

// Tests that each page size prints on media the driverless printers take, or leaves no job.
TEST_F(Printing, PagesGoOnMediaThePrinterTakes) {
  // What each page goes on: a medium by name, a custom size, or "" when it is refused.
  using Pages = Row<PaperDimensions, const char*>;
  // clang-format off
  const Pages labelPages[] = {
      {.name = "6 x 4 on the 4 x 6 stock", .in = {152.4, 101.6}, .expect = "na_index-4x6_4x6in"},
      {.name = "4 x 6.5 in, rounded by the queue", .in = {101.6, 165.1},
       .expect = "Custom.288x468"},
      {.name = "the rounded size: a sheet", .in = {102, 165}, .expect = "custom_4x8in_4x8in"},
      {.name = "the lower bounds", .in = {19.05, 6.35}, .expect = "Custom.54.00000000000001x18"},
      {.name = "under the range: the default", .in = {18.7, 50}, .expect = "na_index-4x6_4x6in"},
      {.name = "0.4 mm over the range", .in = {102, 200}, .expect = "custom_4x8in_4x8in"},
      {.name = "0.6 mm over the widest label", .in = {102.2, 152.4}, .expect = ""}};
  const Pages officePages[] = {
      {.name = "A4 landscape", .in = {297, 210}, .expect = "iso_a4_210x297mm"},
      {.name = "Env10, 0.5 mm narrower", .in = {104.27, 241.3},
       .expect = "na_number-10_4.125x9.5in"},
      {.name = "Env10, 0.5 mm shorter", .in = {104.77, 240.8},
       .expect = "na_number-10_4.125x9.5in"},
      {.name = "0.6 mm over Legal", .in = {216.5, 355.6}, .expect = ""},
      {.name = "on Legal turned", .in = {300, 200}, .expect = "na_legal_8.5x14in"}};
  // clang-format on
  const struct {
    const char *printer = "", *queue = "";
    std::span<const Pages> pages = {};
    int before = newestJobId(queue);
  } printers[] = {
      {.printer = "Label Printer Driverless", .queue = "Label_Driverless", .pages = labelPages},
      {.printer = "Office Driverless", .queue = "Office_Driverless", .pages = officePages}};
  for (const auto& printer : printers) {
    forEachRow(printer.pages, [&](const Pages& row) {
      char refusal[128];
      std::snprintf(refusal, sizeof refusal,
                    "Printer '%s' has no paper that holds a page of %.1f x %.1f mm",
                    printer.printer, row.in.width, row.in.height);
      EXPECT_EQ(call("printDocument", sized(printer.printer, markerImagePng(40, 60), row.in.width,
                                            row.in.height, row.name)),
                *row.expect ? printed(row.name) : errorReply("PRINT_FAILED", refusal));
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

// Tests that PDF, SVG, WebP, HEIC and JPEG labels print as they came, refused documents no job.
TEST_F(Printing, LabelsAsTheyCome) {
  const TemporaryFolder folder(0755);
  runShell("cd '" + folder.path() + "' && PATH=" TOVANEL_BINARY_DIR ":$PATH && " +
           "sample_label label.pdf --tracking TOV-PDF && sample_label label.svg --tracking TOV-SVG"
           " && sample_label label.png --tracking TOV-PIXELS && cwebp label.png -o label.webp && "
           "heif-enc -q 90 label.png -o label.heic && for n in 1 2 3; do sample_label page$n.pdf "
           "--tracking PAGE-$n; done && qpdf --empty --pages page?.pdf -- three.pdf && pdftoppm "
           "-jpeg -r 150 -singlefile label.pdf photo && qpdf --encrypt u o 256 -- label.pdf "
           "locked.pdf && head -c 9000 label.pdf > cut.pdf && qpdf --empty --pages $(yes "
           "label.pdf | head -n 1001) -- many.pdf >/dev/null 2>&1");
  const auto print = [&](const char* file, const char* printer, const char* queue) {
    const int before = newestJobId(queue);
    const auto result = printctl(host_->socketPath(), {"print", folder.file(file), "--printer",
                                                       printer, "--job-name", file});
    const auto job = result.status == 0 ? waitForJobAfter(queue, before) : std::nullopt;
    return std::pair(result.status == 0 ? (job ? job->state : 0) : newestJobId(queue) - before,
                     result.err);
  };
  // What each label's file scans as from the ZPL.
  const Row<const char*, std::string> labels[] = {
      {.name = "vector PDF", .in = "label.pdf", .expect = "TOV-PDF\n"},
      {.name = "SVG", .in = "label.svg", .expect = "TOV-SVG\n"},
      {.name = "WebP", .in = "label.webp", .expect = "TOV-PIXELS\n"},
      {.name = "HEIC", .in = "label.heic", .expect = "TOV-PIXELS\n"}};
  expectRows(labels, [&](const char* file) {
    EXPECT_EQ(print(file, "Label Printer Driverless", "Label_Driverless").first, 9);
    runShell(std::string(TOVANEL_BINARY_DIR) + "/zpl_render '" + output("label_driverless/") +
             file + ".prn' '" + folder.file("zpl.png") + "'");
    return scan(folder.file("zpl.png"));
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

// Tests that setDefaultPrinter sets CUPS's and the listing's default, read at each host's start.
TEST_F(Printing, DefaultPrinter) {
  EXPECT_EQ(call("setDefaultPrinter", named("Label Printer 4x6")), successReply(true));
  EXPECT_EQ(runShell("/usr/bin/lpstat -d").output, "system default destination: Label_4x6\n");
  EXPECT_EQ(field(listing().at(0), "isDefault"), Value(true));
  for (const bool listsFirst : {false, true}) {
    SCOPED_TRACE(listsFirst ? "a host that lists first" : "a host that sets the default first");
    runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null");
    HostProcess fresh;
    HostClient client(fresh.socketPath());
    if (listsFirst)
      client.call("printerlist");
    // A queue name: no printer has it as display name, so only CUPS's default changes.
    EXPECT_EQ(client.call("setDefaultPrinter", named("Label_4x6")), successReply(true));
    EXPECT_EQ(field(listingOf(client).at(3), "isDefault"), Value(true));
  }
  runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null");
}

// Tests that a description two queues share means the later queue everywhere, from start-up on.
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

// Tests that the listing is the same on a German desktop.
TEST_F(Printing, ListingOnAnyDesktop) {
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
}

// Tests that a socket-activated host answers, keeps a second host off, and leaves the socket.
TEST(HostProgram, SocketActivated) {
  HostProcess host({}, HostProcess::Start::socketActivated);
  const std::string& path = host.socketPath();
  EXPECT_EQ(printctl(path, {"status", "Label Printer 4x6"}).out,
            "Label Printer 4x6: online (Ready)\n");
  EXPECT_EQ(runProgram({printingHostPath(), "--socket", path}).err,
            "printing_host: another printing host is already listening on " + path + "\n");
  EXPECT_EQ(host.stop(), 0);
  EXPECT_TRUE(std::filesystem::exists(path) && !std::filesystem::exists(path + ".lock"));
}

// Tests --help, --version and a wrong option of both programs: their output and status.
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

// Tests printctl's JSON to codec bytes and back, and one line for input it cannot use.
TEST(Printctl, JsonAndCodecBytes) {
  // clang-format off
  const struct {
    const char* name = "";
    std::vector<std::string> form = {};
    std::string json = "", hex = "";
  } rows[] = {
      {.name = "integers kept apart", .json = "[-2147483648, 2147483648]",
       .hex = "0c020300000080040000008000000000"},
      {.name = "doubles, whole ones too", .json = "[101.6, 0.0]",
       .hex = "0c02060000000000666666666666594006000000000000000000000000000000"},
      {.name = "escapes", .json = "\"h\u00e9\\\"\\n\"", .hex = "070568c3a9220a"},
      {.name = "bytes", .json = "{\"$bytes\": \"AQL/\"}", .hex = "08030102ff"},
      {.name = "a map", .json = "{\"$map\": [[1, \"a\"], [null, true]]}",
       .hex = "0d0203010000000701610001"},
      {.name = "a call", .form = {"--call"},
       .json = "{\"method\": \"printerlist\", \"args\": null}",
       .hex = "070b7072696e7465726c69737400"},
      {.name = "a reply", .form = {"--reply"},
       .json = "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": [1]}}",
       .hex = "0107014507016d0c010301000000"}};
  // clang-format on
  forEachRow(rows, [](const auto& row) {
    auto encode = row.form, decode = row.form;
    encode.insert(encode.begin(), "encode"), encode.push_back(row.json);
    decode.insert(decode.begin(), "decode"), decode.push_back(row.hex);
    EXPECT_EQ(printctl("", encode).out, row.hex + "\n");
    EXPECT_EQ(printctl("", decode).out, row.json + "\n");
  });
  // Each named by what its one line on standard error must say.
  const Row<std::vector<std::string>, int> refusals[] = {
      {.name = "the integer 18446744073709551615 is outside",
       .in = {"encode", "18446744073709551615"}},
      {.name = "invalid JSON: ", .in = {"encode", "{\"a\": "}},
      {.name = "the bytes do not decode: unknown type tag 15", .in = {"decode", "0f"}}};
  forEachRow(refusals, [](const auto& row) {
    const auto result = printctl("", row.in);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, ::testing::StartsWith("printctl: "));
    EXPECT_THAT(result.err, ::testing::HasSubstr(row.name));
    EXPECT_EQ(std::ranges::count(result.err, '\n'), 1);
  });
}

// Tests every printctl verb against the host: its output, status, and the print it lands.
TEST(Printctl, VerbsAgainstTheHost) {
  HostProcess host;
  TemporaryFolder folder(0755);
  const std::string image = folder.write("label.png", markerImagePng(40, 60));
  const int before = newestJobId("Office_Laser");
  // clang-format off
  const struct {
    const char* name = "";
    std::vector<std::string> arguments = {};
    int status = 0;
    std::string out = "";
  } rows[] = {
      {.name = "no such printer's status", .arguments = {"status", "Nowhere"},
       .out = "Nowhere: offline (Printer not found)\n"},
      {.name = "papers", .arguments = {"papers", "Office Laser"},
       .out = "PAPER                SIZE\nLetter               215.9 x 279.4 mm\n"
              "A4                   210 x 297 mm\nw288h432             101.6 x 152.4 mm\n"
              "A6                   105 x 148 mm\nCustom.WIDTHxHEIGHT  unknown size\n"},
      {.name = "a call",
       .arguments = {"call", "getPrinterStatus", "{\"printerName\": \"Office Laser\"}"},
       .out = "{\"success\": {\"status\": \"online\", \"message\": \"Ready\"}}\n"},
      {.name = "a call of \"{}\" on standard input: no image",
       .arguments = {"call", "printDocument", "-"}, .status = 1,
       .out = "{\"error\": {\"code\": \"INVALID_ARGUMENTS\", \"message\": \"Invalid Image Data\", "
              "\"details\": null}}\n"},
      {.name = "no such method", .arguments = {"call", "nope"}, .status = 2,
       .out = "{\"notImplemented\": true}\n"},
      {.name = "no such default", .arguments = {"set-default", "Nope"}, .status = 1},
      {.name = "the default", .arguments = {"set-default", "Office Laser"},
       .out = "Office Laser is now the default printer.\n"},
      {.name = "a print", .arguments = {"print", image, "--printer", "Office Laser", "--width",
                                        "100", "--height", "150.5", "--copies", "2", "--job-name",
                                        "Box 7"},
       .out = "Printed \"Box 7\".\n"},
      {.name = "the listing", .arguments = {"list"},
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
  // clang-format on
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
  EXPECT_EQ(runShell("pdfinfo " + output("office_laser.pdf") + " | grep -o '[0-9.]* x .*'").output,
            "283.465 x 426.614 pts\n");
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
