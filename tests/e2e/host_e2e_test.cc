// printing_host as a program, and printctl against it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/cups_sandbox.h"
#include "support/host_process.h"
#include "support/print_images.h"

namespace tovanel {
namespace {

using namespace testing;

mode_t modeOf(const std::string& path) {
  struct stat status = {};
  ::lstat(path.c_str(), &status);
  return status.st_mode & 07777;
}
// printctl, with --socket `socketPath` unless that is empty.
ProgramResult printctl(const std::string& socketPath, std::vector<std::string> arguments,
                       const std::string& input = {}) {
  if (!socketPath.empty())
    arguments.insert(arguments.begin(), {"--socket", socketPath});
  arguments.insert(arguments.begin(), std::string(TOVANEL_BINARY_DIR) + "/printctl");
  return runProgram(arguments, input);
}
std::string labelStatus(const std::string& socketPath) {
  return printctl(socketPath, {"status", "Label Printer 4x6"}).out;
}
const std::string kOnline = "Label Printer 4x6: online (Ready)\n";

// Tests the listening line, a private folder and socket, a clean stop on SIGTERM and
// SIGINT, the default socket under XDG_RUNTIME_DIR, one host per socket (a dead one's is
// taken over), and the options for people.
TEST(HostProgram, ListensPrivatelyAndStopsCleanly) {
  for (int signal : {SIGTERM, SIGINT}) {
    TemporaryFolder folder;
    const std::string path = folder.path() + "/new/channel.sock";
    HostProcess host({path});
    EXPECT_EQ(host.standardOutput(), "printing_host: listening on " + path + "\n");
    EXPECT_EQ(modeOf(folder.path() + "/new") * 010000 + modeOf(path), 0700u * 010000 + 0600u);
    EXPECT_EQ(labelStatus(path), kOnline);
    EXPECT_EQ(host.stop(signal), 0) << signal;
    EXPECT_FALSE(std::filesystem::exists(path) || std::filesystem::exists(path + ".lock"));
  }
  TemporaryFolder runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  HostProcess first({runtime.path() + "/com.tovanel.printing/channel.sock", true});
  EXPECT_EQ(printctl("", {"status", "Label Printer 4x6"}).out, kOnline);
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(modeOf(runtime.path() + "/com.tovanel.printing"), 0700u);
  const auto second = runProgram({printingHostPath(), "--socket", first.socketPath()});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err, "printing_host: another printing host is already listening on " +
                            first.socketPath() + "\n");
  first.kill();
  HostProcess next({first.socketPath()});
  EXPECT_EQ(labelStatus(next.socketPath()), kOnline);
  for (const auto& [option, status, out] :
       {std::tuple{"--help", 0, "usage: printing_host [--socket PATH]\n"},
        {"--version", 0, "printing_host " TOVANEL_VERSION "\n"},
        {"--socket", 2, ""}}) {
    const auto result = runProgram({printingHostPath(), option});
    EXPECT_EQ(result.status, status) << option;
    EXPECT_TRUE(result.out.starts_with(out) && result.out.empty() == !*out) << result.out;
    EXPECT_EQ(result.err.empty(), status == 0) << result.err;
  }
}

// Tests JSON to codec bytes and back, integers kept apart from doubles, calls and replies;
// and that input which cannot be used exits 1 with one line saying why.
TEST(Printctl, JsonAndCodecBytes) {
  for (const auto& [form, json, hex] : {
           std::tuple{"", "[null, true, false]", "0c03000102"},
           {"", "[-2147483648, 2147483648]", "0c020300000080040000008000000000"},
           {"", "[101.6, 0.0]", "0c02060000000000666666666666594006000000000000000000000000000000"},
           {"", "\"h\u00e9\\\"\\n\"", "070568c3a9220a"},
           {"", "{\"$bytes\": \"AQL/\"}", "08030102ff"},
           {"", "{\"a\": 1, \"b\": [2.5]}", "0d0207016103010000000701620c01060000000000000440"},
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
        {{"encode", "{\"$bytes\": \"abc\"}"}, "\"$bytes\" needs padded base64 text"},
        {{"encode", "{\"a\": "}, "invalid JSON: "},
        {{"decode", "0f"}, "the bytes do not decode: unknown type tag 15 (at byte 0)"},
        {{"frobnicate"}, "unknown verb \"frobnicate\""}}) {
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
