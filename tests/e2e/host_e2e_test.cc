// printing_host as a program, and printctl against it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/cups_sandbox.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::HostProcess;
using testing::runPrintctl;
using testing::TemporaryFolder;

mode_t modeOf(const std::string& path) {
  struct stat status = {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

std::string labelStatus(const std::string& socketPath) {
  return runPrintctl(socketPath, {"status", "Label Printer 4x6"}).out;
}
const std::string kOnline = "Label Printer 4x6: online (Ready)\n";

// Tests the listening line, private folder and socket, a clean stop on SIGTERM and SIGINT,
// and the default socket under XDG_RUNTIME_DIR.
TEST(HostProgram, ListensPrivatelyAndStopsCleanly) {
  for (int signal : {SIGTERM, SIGINT}) {
    TemporaryFolder folder;
    const std::string path = folder.path() + "/new/channel.sock";
    HostProcess host({path});
    EXPECT_EQ(host.standardOutput(), "printing_host: listening on " + path + "\n");
    EXPECT_EQ(modeOf(folder.path() + "/new"), 0700u);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(labelStatus(path), kOnline);
    EXPECT_EQ(host.stop(signal), 0) << signal;
    EXPECT_FALSE(std::filesystem::exists(path) || std::filesystem::exists(path + ".lock"));
  }
  TemporaryFolder runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  const std::string path = runtime.path() + "/com.tovanel.printing/channel.sock";
  HostProcess host({.socketPath = path, .defaultSocket = true});
  EXPECT_EQ(runPrintctl("", {"status", "Label Printer 4x6"}).out, kOnline);
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(modeOf(runtime.path() + "/com.tovanel.printing"), 0700u);
}

// Tests that a second host refuses a live socket, and the next one takes over a dead one;
// and the options for people: exit status, and which stream says what.
TEST(HostProgram, OneHostPerSocketAndOptions) {
  HostProcess first;
  const auto second =
      testing::runProgram({testing::printingHostPath(), "--socket", first.socketPath()});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err, "printing_host: another printing host is already listening on " +
                            first.socketPath() + "\n");
  first.kill();
  HostProcess next({first.socketPath()});
  EXPECT_EQ(labelStatus(next.socketPath()), kOnline);
  const struct {
    const char* option;
    int status;
    std::string out, err;
  } cases[] = {
      {"--help", 0, "usage: printing_host [--socket PATH]\n", ""},
      {"--version", 0, "printing_host " TOVANEL_VERSION "\n", ""},
      {"--bogus", 2, "", "printing_host: unknown option or missing value: --bogus"},
      {"--socket", 2, "", "printing_host: unknown option or missing value: --socket"},
  };
  for (const auto& c : cases) {
    const auto result = testing::runProgram({testing::printingHostPath(), c.option});
    EXPECT_EQ(result.status, c.status) << c.option;
    EXPECT_TRUE(result.out.starts_with(c.out) && result.out.empty() == c.out.empty()) << result.out;
    EXPECT_TRUE(result.err.starts_with(c.err)) << result.err;
  }
}

// Tests JSON to codec bytes and back, integers kept apart from doubles, and calls and
// replies with a stack trace and the empty "not implemented".
TEST(Printctl, JsonAndCodecBytesBothWays) {
  const struct {
    const char* form;
    std::string json, hex;
  } cases[] = {
      {"", "null", "00"},
      {"", "[true, false]", "0c020102"},
      {"", "-2147483648", "0300000080"},
      {"", "2147483648", "040000008000000000"},
      {"", "101.6", "06000000000000006666666666665940"},
      {"", "0.0", "06000000000000000000000000000000"},
      {"", "152.39999999999998", "0600000000000000cccccccccc0c6340"},
      {"", "{\"$double\": \"NaN\"}", "0600000000000000000000000000f87f"},
      {"", "\"h\u00e9\\\"\\n\"", "070568c3a9220a"},
      {"", "{\"$bytes\": \"AQL/\"}", "08030102ff"},
      {"", "{\"$int32\": [1, -1]}", "0902000001000000ffffffff"},
      {"", "{\"$int64\": [1]}", "0a010000000000000100000000000000"},
      {"", "{\"$float32\": [0.1, -2.5]}", "0e020000cdcccc3d000020c0"},
      {"", "{\"$float64\": [{\"$double\": \"Infinity\"}]}", "0b01000000000000000000000000f07f"},
      {"", "{\"a\": 1, \"b\": [2.5]}", "0d0207016103010000000701620c01060000000000000440"},
      {"", "{\"$map\": [[1, \"a\"], [null, true]]}", "0d0203010000000701610001"},
      {"", "{\"$map\": [[\"k\", 1], [\"k\", 2]]}", "0d0207016b030100000007016b0302000000"},
      {"--call", "{\"method\": \"printerlist\", \"args\": null}", "070b7072696e7465726c69737400"},
      {"--reply", "{\"success\": true}", "0001"},
      {"--reply", "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": [1]}}",
       "0107014507016d0c010301000000"},
      {"--reply", "{\"notImplemented\": true}", ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> encode = {"encode", c.json}, decode = {"decode", c.hex};
    if (*c.form) {
      encode.insert(encode.begin() + 1, c.form);
      decode.insert(decode.begin() + 1, c.form);
    }
    EXPECT_EQ(runPrintctl("", encode).out, c.hex + "\n") << c.json;
    EXPECT_EQ(runPrintctl("", decode).out, c.json + "\n") << c.hex;
  }
  EXPECT_EQ(runPrintctl("", {"decode", "07 05 68 65 6C\n6c 6F"}).out, "\"hello\"\n");
  EXPECT_EQ(runPrintctl("", {"decode", "--reply", "0107014507016d0007027374"}).out,
            "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": null}}\n");
}

// Tests that input which cannot be used exits 1 with one line saying why.
TEST(Printctl, UnusableInputIsRefused) {
  const struct {
    std::vector<std::string> arguments;
    std::string reason;
  } cases[] = {
      {{"encode", "18446744073709551615"}, "the integer 18446744073709551615 is outside"},
      {{"encode", "{\"$int32\": [2147483648]}"}, "which is not an integer of that size"},
      {{"encode", "{\"$bytes\": \"abc\"}"}, "\"$bytes\" needs padded base64 text"},
      {{"encode", "{\"$byte\": \"\"}"}, "unknown object \"$byte\""},
      {{"encode", "{\"$double\": \"nan\"}"}, "\"$double\" is one of"},
      {{"encode", "{\"$file\": \"/no/such/file\"}"}, "cannot read the file /no/such/file"},
      {{"encode", "{\"a\": "}, "invalid JSON: "},
      {{"encode", "--call", "{\"args\": 1}"}, "a call is written"},
      {{"encode", "--reply", "{\"error\": {\"message\": \"m\"}}"}, "an error needs its \"code\""},
      {{"decode", "0f"}, "the bytes do not decode: unknown type tag 15 (at byte 0)"},
      {{"decode", "070"}, "not hexadecimal bytes"},
      {{"decode", "--call", "00"}, "the method name is not a string"},
      {{"frobnicate"}, "unknown verb \"frobnicate\""},
      {{"print", "/dev/null", "--copies", "two"}, "printctl: "},
  };
  for (const auto& c : cases) {
    const auto result = runPrintctl("", c.arguments);
    EXPECT_EQ(result.status, 1) << c.arguments.back();
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("printctl: ")) << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

// Tests every verb against the real host: what each prints, its exit status, and the call
// it makes (the print lands with its size, copies and title).
TEST(Printctl, VerbsAgainstTheHost) {
  HostProcess host;
  const std::string socket = host.socketPath();
  TemporaryFolder folder(0755);
  const std::string image = folder.write("label.png", testing::markerImagePng(40, 60));
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string out, err;
  } cases[] = {
      {{"status", "Office Laser"}, 0, "Office Laser: online (Ready)\n", ""},
      {{"status", "Nowhere"}, 0, "Nowhere: offline (Printer not found)\n", ""},
      {{"papers", "Office Laser"},
       0,
       "PAPER                SIZE\nLetter               215.9 x 279.4 mm\nA4                   "
       "210 x 297 mm\nw288h432             101.6 x 152.4 mm\nA6                   105 x 148 mm\n"
       "Custom.WIDTHxHEIGHT  unknown size\n",
       ""},
      {{"call", "getPrinterStatus", "{\"printerName\": \"Office Laser\"}"},
       0,
       "{\"success\": {\"status\": \"online\", \"message\": \"Ready\"}}\n",
       ""},
      {{"call", "printDocument", "-"}, 1, "", ""},  // standard input: {} is no image
      {{"call", "nope"}, 2, "{\"notImplemented\": true}\n", ""},
      {{"set-default", "Nope"},
       1,
       "",
       "printctl: SHELL_ERROR: Failed to set system default printer. Status: 1\n"},
      {{"set-default", "Office Laser"}, 0, "Office Laser is now the default printer.\n", ""},
      {{"print", image, "--printer", "Office Laser", "--width", "100", "--height", "150.5",
        "--copies", "2", "--job-name", "Box 7"},
       0,
       "Printed \"Box 7\".\n",
       ""},
  };
  const int before = testing::newestJobId("Office_Laser");
  for (const auto& c : cases) {
    const auto result = runPrintctl(socket, c.arguments, "{}");
    EXPECT_EQ(result.status, c.status) << c.arguments[0] << ": " << result.err;
    EXPECT_TRUE(c.out.empty() || result.out == c.out) << result.out;
    EXPECT_EQ(result.err, c.err);
  }
  EXPECT_EQ(runPrintctl(socket, {"list"}).out,
            "DEFAULT  NAME                      QUEUE              TYPE                      "
            "PAPER             SIZES\n"
            "         Label Printer 4x6         Label_4x6          Zebra ZPL Label Printer   "
            "101.6 x 152.4 mm  65\n"
            "         Label Printer Driverless  Label_Driverless   Printer - IPP Everywhere  "
            "101.6 x 152.4 mm  45\n"
            "         Office Driverless         Office_Driverless  Printer - IPP Everywhere  "
            "215.9 x 279.4 mm  5\n"
            "*        Office Laser              Office_Laser       Tovanel Office Laser PDF  "
            "210 x 297 mm      5\n");
  const auto job = testing::waitForJobAfter("Office_Laser", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->title, "Box 7");
  EXPECT_EQ(job->copies, 2);
  const auto page = testing::pdfPage(testing::sandbox().outputDir() + "/office_laser.pdf");
  EXPECT_TRUE(page && std::abs(page->width - 283.46) < 0.01 &&
              std::abs(page->height - 426.61) < 0.01);

  TemporaryFolder empty;
  const auto noHost = runPrintctl(empty.file("channel.sock"), {"list"});
  EXPECT_EQ(noHost.status, 3);
  EXPECT_EQ(noHost.err, "printctl: no printing host at " + empty.file("channel.sock") +
                            ": start it with printing_host --socket " + empty.file("channel.sock") +
                            "\n");
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
