// printctl as scripts and people use it: the JSON mapping in both directions, exit
// statuses, and the friendly verbs against a host with replies chosen by the test.
#include <gtest/gtest.h>

#include <fstream>

#include "support/cups_sandbox.h"
#include "support/host_process.h"
#include "support/host_scripted_host.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::ProgramResult;
using testing::ScriptedHost;

ProgramResult printctl(const std::vector<std::string>& arguments, const std::string& input = {}) {
  std::vector<std::string> command = {testing::printctlPath()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return testing::runProgram(command, input);
}

// Tests JSON to codec bytes and back for every kind: integers kept apart from doubles,
// shortest doubles that show they are doubles, and the "$" objects.
TEST(Printctl, JsonAndCodecBytesBothWays) {
  const struct {
    std::string json;
    std::string hex;
  } cases[] = {
      {"null", "00"},
      {"[true, false]", "0c020102"},
      {"1", "0301000000"},
      {"-2147483648", "0300000080"},
      {"2147483648", "040000008000000000"},
      {"9223372036854775807", "04ffffffffffffff7f"},
      {"-9223372036854775808", "040000000000000080"},
      {"101.6",
       "0600000000000000666666666666"
       "5940"},
      {"0.0",
       "060000000000000000000000000000"
       "00"},
      {"-0.0",
       "060000000000000000000000000000"
       "80"},
      {"152.39999999999998", "0600000000000000cccccccccc0c6340"},
      {"1e+300", "06000000000000009c7500883ce4377e"},
      {"{\"$double\": \"NaN\"}", "0600000000000000000000000000f87f"},
      {"{\"$double\": \"-Infinity\"}", "0600000000000000000000000000f0ff"},
      {"\"h\u00e9\\\"\\n\"", "070568c3a9220a"},
      {"{\"$bytes\": \"AQL/\"}", "08030102ff"},
      {"{\"$int32\": [1, -1]}",
       "090200000100000"
       "0ffffffff"},
      {"{\"$int64\": [1]}", "0a010000000000000100000000000000"},
      {"{\"$float32\": [0.1, -2.5]}", "0e020000cdcccc3d000020c0"},
      {"{\"$float64\": [101.6, {\"$double\": \"Infinity\"}]}",
       "0b02000000000000"
       "6666666666665940"
       "000000000000f07f"},
      {"{\"a\": 1, \"b\": [2.5]}", "0d0207016103010000000701620c01060000000000000440"},
      {"{\"$map\": [[1, \"a\"], [null, true]]}", "0d0203010000000701610001"},
      {"{\"$map\": [[\"$bytes\", 1]]}",
       "0d010706246279746573030100000"
       "0"},
      {"{\"$map\": [[\"k\", 1], [\"k\", 2]]}", "0d0207016b030100000007016b0302000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    const auto encoded = printctl({"encode", c.json});
    EXPECT_EQ(encoded.out, c.hex + "\n") << encoded.err;
    EXPECT_EQ(encoded.status, 0);
    const auto decoded = printctl({"decode"}, encoded.out);
    EXPECT_EQ(decoded.out, c.json + "\n") << decoded.err;
    EXPECT_EQ(decoded.status, 0);
  }
  // Any case and whitespace in hex; none of it in the output.
  EXPECT_EQ(printctl({"decode", "07 05 68 65 6C\n6c 6F"}).out, "\"hello\"\n");
}

// Tests calls and envelopes both ways, the stack trace an error may carry, and the
// empty reply of not implemented.
TEST(Printctl, CallsAndRepliesBothWays) {
  const struct {
    const char* form;
    std::string json;
    std::string hex;
  } cases[] = {
      {"--call", "{\"method\": \"getPrinterStatus\", \"args\": {\"printerName\": \"X\"}}",
       "07106765745072696e746572537461747573"
       "0d01070b7072696e7465724e616d65070158"},
      {"--call", "{\"method\": \"printerlist\", \"args\": null}", "070b7072696e7465726c69737400"},
      {"--reply", "{\"success\": true}", "0001"},
      {"--reply", "{\"error\": {\"code\": \"E\", \"message\": null, \"details\": null}}",
       "0107014500"
       "00"},
      {"--reply", "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": [1]}}",
       "01070145"
       "07016d"
       "0c010301000000"},
      {"--reply", "{\"notImplemented\": true}", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    const auto encoded = printctl({"encode", c.form, c.json});
    EXPECT_EQ(encoded.status, 0) << encoded.err;
    EXPECT_EQ(encoded.out, c.hex + "\n");
    const auto decoded = printctl({"decode", c.form, c.hex});
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(decoded.out, c.json + "\n");
  }
  const auto withTrace = printctl({"decode", "--reply", "01070145070 16d00 07027374"});
  EXPECT_EQ(withTrace.out,
            "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": null}}\n");
  EXPECT_EQ(printctl({"encode", "--call", "{\"method\": \"m\"}"}).out, "07016d00\n");
}

// Tests that input which cannot be used exits 1 with one line saying why, and nothing on
// standard output.
TEST(Printctl, UnusableInputIsRefused) {
  const struct {
    std::vector<std::string> arguments;
    std::string reason;
  } cases[] = {
      {{"encode", "99999999999999999999"},
       "the integer 99999999999999999999 is outside the 64-bit range"},
      {{"encode", "-9223372036854775809"}, "the integer -9223372036854775809 is outside"},
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
      {{"decode", "0701"}, "the bytes do not decode: truncated: a string needs 1 byte, 0 left"},
      {{"decode", "0000"}, "1 bytes left over after the value"},
      {{"decode", "zz"}, "not hexadecimal bytes"},
      {{"decode", "070"}, "not hexadecimal bytes"},
      {{"decode", "--call", "00"}, "the method name is not a string"},
      {{"decode", "--reply", "02"}, "an envelope starts with 0 or 1, not 2"},
      {{"frobnicate"}, "unknown verb \"frobnicate\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    const auto result = printctl(c.arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("printctl: ")) << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

// Tests the exit status of each kind of answer, and the message when no host runs.
TEST(Printctl, ExitStatusesOfCalls) {
  ScriptedHost host({{"ok", testing::successReply(true)},
                     {"fails", testing::errorReply("PRINT_FAILED", "Print operation failed")}});
  const auto ok = testing::runPrintctl(host.socketPath(), {"call", "ok"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "{\"success\": true}\n");
  const auto fails = testing::runPrintctl(host.socketPath(), {"call", "fails", "-"}, "{\"x\": 1}");
  EXPECT_EQ(fails.status, 1);
  EXPECT_EQ(fails.out,
            "{\"error\": {\"code\": \"PRINT_FAILED\", \"message\": \"Print operation failed\", "
            "\"details\": null}}\n");
  const auto missing = testing::runPrintctl(host.socketPath(), {"call", "missing"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "{\"notImplemented\": true}\n");
  ASSERT_EQ(host.calls().size(), 3u);
  EXPECT_EQ(host.calls()[1].arguments, Value(ValueMap{{"x", int32_t{1}}}));

  testing::TemporaryFolder empty;
  const std::string nowhere = empty.path() + "/channel.sock";
  const auto noHost = testing::runPrintctl(nowhere, {"list"});
  EXPECT_EQ(noHost.status, 3);
  EXPECT_EQ(noHost.err, "printctl: no printing host at " + nowhere +
                            ": start it with printing_host --socket " + nowhere + "\n");
}

const Value kPaper4x6 =
    ValueMap{{"name", "w288h432"}, {"width", 101.6}, {"height", 152.39999999999998}};
const Value kLetter = ValueMap{{"name", "Letter"}, {"width", 215.9}, {"height", 279.4}};

// Tests the tables and lines of the friendly verbs, and the call each one makes.
TEST(Printctl, FriendlyVerbs) {
  const Value printers = ValueList{
      ValueMap{{"name", "Label Printer 4x6"},
               {"isDefault", false},
               {"cupsName", "Label_4x6"},
               {"type", "Zebra ZPL Label Printer"},
               {"paperWidth", 101.6},
               {"paperHeight", 152.39999999999998},
               {"paperSizes", ValueList{kPaper4x6}}},
      ValueMap{{"name", "Caf\u00e9 Laser"},
               {"isDefault", true},
               {"cupsName", "Cafe_Laser"},
               {"type", "PDF"},
               {"paperWidth", 215.9},
               {"paperHeight", 279.4},
               {"paperSizes", ValueList{kPaper4x6, kLetter}}},
      ValueMap{{"name", "Gone"}, {"isDefault", false}, {"cupsName", "Gone"}},
  };
  ScriptedHost host({
      {"printerlist", testing::successReply(printers)},
      {"getPaperSizes",
       testing::successReply(ValueList{
           kPaper4x6, kLetter, ValueMap{{"name", "Odd"}, {"width", 0.0}, {"height", 0.0}}})},
      {"getPrinterStatus",
       testing::successReply(ValueMap{{"status", "online"}, {"message", "Ready"}})},
      {"setDefaultPrinter", testing::successReply(true)},
      {"printDocument",
       testing::successReply(ValueMap{{"status", "success"}, {"jobName", "Box 7"}})},
  });
  const auto& socket = host.socketPath();

  const auto list = testing::runPrintctl(socket, {"list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(
      list.out,
      "DEFAULT  NAME               QUEUE       TYPE                     PAPER             SIZES\n"
      "         Label Printer 4x6  Label_4x6   Zebra ZPL Label Printer  101.6 x 152.4 mm  1\n"
      "*        Caf\u00e9 Laser         Cafe_Laser  PDF                      215.9 x 279.4 mm  2\n"
      "         Gone               Gone        -                        -                 -\n");

  const auto papers = testing::runPrintctl(socket, {"papers", "Label Printer 4x6"});
  EXPECT_EQ(papers.out,
            "PAPER     SIZE\n"
            "w288h432  101.6 x 152.4 mm\n"
            "Letter    215.9 x 279.4 mm\n"
            "Odd       unknown size\n");
  EXPECT_EQ(testing::runPrintctl(socket, {"status", "Office Laser"}).out,
            "Office Laser: online (Ready)\n");
  EXPECT_EQ(testing::runPrintctl(socket, {"set-default", "Office Laser"}).out,
            "Office Laser is now the default printer.\n");

  testing::TemporaryFolder folder;
  const std::string image = folder.path() + "/label.png";
  std::ofstream(image, std::ios::binary) << std::string("\x89PNG\0\1", 6);
  const auto print = testing::runPrintctl(
      socket, {"print", image, "--printer", "Label Printer 4x6", "--width", "100", "--height",
               "150.5", "--copies", "2", "--job-name", "Box 7"});
  EXPECT_EQ(print.status, 0) << print.err;
  EXPECT_EQ(print.out, "Printed \"Box 7\".\n");

  const auto calls = host.calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].method, "printerlist");
  EXPECT_TRUE(calls[0].arguments.isNull());
  EXPECT_EQ(calls[1].arguments, Value(ValueMap{{"printerName", "Label Printer 4x6"}}));
  EXPECT_EQ(calls[3].method, "setDefaultPrinter");
  EXPECT_EQ(calls[4].arguments, Value(ValueMap{{"imageBytes", Uint8List{0x89, 'P', 'N', 'G', 0, 1}},
                                               {"printerName", "Label Printer 4x6"},
                                               {"width", 100.0},
                                               {"height", 150.5},
                                               {"copies", int32_t{2}},
                                               {"jobName", "Box 7"}}));
}

// Tests that friendly verbs report error replies and missing methods on standard error
// with their exit statuses, and refuse wrong arguments before calling.
TEST(Printctl, FriendlyVerbsReportFailures) {
  ScriptedHost host(
      {{"setDefaultPrinter",
        testing::errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")}});
  const auto failed = testing::runPrintctl(host.socketPath(), {"set-default", "Nope"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "printctl: SHELL_ERROR: Failed to set system default printer. Status: 1\n");
  const auto missing = testing::runPrintctl(host.socketPath(), {"list"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "printctl: the host does not offer \"printerlist\"\n");
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"status"}, std::vector<std::string>{"print", "/no/such/image"},
        std::vector<std::string>{"print", "/dev/null", "--copies", "two"},
        std::vector<std::string>{"print", "/dev/null", "--width"}}) {
    const auto result = testing::runPrintctl(host.socketPath(), wrong);
    EXPECT_EQ(result.status, 1) << wrong.back();
    EXPECT_TRUE(result.err.starts_with("printctl: ")) << result.err;
  }
  EXPECT_EQ(host.calls().size(), 2u);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
