// printing_host as a program, and printctl against it or against a host with set replies.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/cups_sandbox.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/host_scripted_host.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::HostProcess;
using testing::ScriptedHost;
using testing::successReply;
using testing::TemporaryFolder;

const MethodReply kOnline = successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});

mode_t modeOf(const std::string& path) {
  struct stat status = {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

MethodReply labelStatus(const std::string& socketPath) {
  return testing::HostClient(socketPath)
      .call("getPrinterStatus", ValueMap{{"printerName", "Label Printer 4x6"}});
}

// Tests the listening line, private folder and socket, and a clean stop on SIGTERM and SIGINT.
TEST(HostProgram, ListensPrivatelyAndStopsCleanly) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TemporaryFolder folder;
    const std::string path = folder.path() + "/new/channel.sock";
    HostProcess host({path});
    EXPECT_EQ(host.standardOutput(), "printing_host: listening on " + path + "\n");
    EXPECT_EQ(modeOf(folder.path() + "/new"), 0700u);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(labelStatus(path), kOnline);
    EXPECT_EQ(host.stop(signal), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".lock"));
  }
}

// Tests that a second host refuses a live socket, and the next one takes over a dead one.
TEST(HostProgram, OneHostPerSocket) {
  HostProcess first;
  const auto second =
      testing::runProgram({testing::printingHostPath(), "--socket", first.socketPath()});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err, "printing_host: another printing host is already listening on " +
                            first.socketPath() + "\n");
  EXPECT_EQ(labelStatus(first.socketPath()), kOnline);
  first.kill();
  ASSERT_TRUE(std::filesystem::is_socket(first.socketPath()));
  HostProcess next({first.socketPath()});
  EXPECT_EQ(labelStatus(next.socketPath()), kOnline);
}

// Tests the default socket under XDG_RUNTIME_DIR, in a folder made private.
TEST(HostProgram, DefaultSocketUnderTheRuntimeFolder) {
  TemporaryFolder runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  const std::string path = runtime.path() + "/com.tovanel.printing/channel.sock";
  HostProcess host({.socketPath = path, .defaultSocket = true});
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(modeOf(runtime.path() + "/com.tovanel.printing"), 0700u);
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(labelStatus(path), kOnline);
}

// Tests --help, --version and wrong options: exit status, and which stream says what.
TEST(HostProgram, OptionsForPeople) {
  const struct {
    std::vector<std::string> options;
    int status;
    std::string out, err;
  } cases[] = {
      {{"--help"}, 0, "usage: printing_host [--socket PATH]\n", ""},
      {{"--version"}, 0, "printing_host " TOVANEL_VERSION "\n", ""},
      {{"--bogus"}, 2, "", "printing_host: unknown option or missing value: --bogus"},
      {{"--socket"}, 2, "", "printing_host: unknown option or missing value: --socket"},
  };
  for (const auto& c : cases) {
    auto command = c.options;
    command.insert(command.begin(), testing::printingHostPath());
    const auto result = testing::runProgram(command);
    EXPECT_EQ(result.status, c.status) << c.options[0];
    EXPECT_TRUE(result.out.starts_with(c.out)) << result.out;
    EXPECT_EQ(result.out.empty(), c.out.empty()) << result.out;
    EXPECT_TRUE(result.err.starts_with(c.err)) << result.err;
  }
}

testing::ProgramResult printctl(const std::vector<std::string>& arguments,
                                const std::string& input = {}) {
  std::vector<std::string> command = {testing::printctlPath()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return testing::runProgram(command, input);
}

// Tests JSON to codec bytes and back for every kind, integers kept apart from doubles.
TEST(Printctl, JsonAndCodecBytesBothWays) {
  const struct {
    std::string json;
    std::string hex;
  } cases[] = {
      {"null", "00"},
      {"[true, false]", "0c020102"},
      {"-2147483648", "0300000080"},
      {"2147483648", "040000008000000000"},
      {"-9223372036854775808", "040000000000000080"},
      {"101.6", "06000000000000006666666666665940"},
      {"0.0", "06000000000000000000000000000000"},
      {"-0.0", "06000000000000000000000000000080"},
      {"152.39999999999998", "0600000000000000cccccccccc0c6340"},
      {"1e+300", "06000000000000009c7500883ce4377e"},
      {"{\"$double\": \"NaN\"}", "0600000000000000000000000000f87f"},
      {"\"h\u00e9\\\"\\n\"", "070568c3a9220a"},
      {"{\"$bytes\": \"AQL/\"}", "08030102ff"},
      {"{\"$int32\": [1, -1]}", "0902000001000000ffffffff"},
      {"{\"$int64\": [1]}", "0a010000000000000100000000000000"},
      {"{\"$float32\": [0.1, -2.5]}", "0e020000cdcccc3d000020c0"},
      {"{\"$float64\": [101.6, {\"$double\": \"Infinity\"}]}",
       "0b020000000000006666666666665940000000000000f07f"},
      {"{\"a\": 1, \"b\": [2.5]}", "0d0207016103010000000701620c01060000000000000440"},
      {"{\"$map\": [[1, \"a\"], [null, true]]}", "0d0203010000000701610001"},
      {"{\"$map\": [[\"$bytes\", 1]]}", "0d0107062462797465730301000000"},
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

// Tests calls and replies both ways, with a stack trace and the empty "not implemented".
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
       "010701450000"},
      {"--reply", "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": [1]}}",
       "0107014507016d0c010301000000"},
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
  EXPECT_EQ(printctl({"decode", "--reply", "0107014507016d0007027374"}).out,
            "{\"error\": {\"code\": \"E\", \"message\": \"m\", \"details\": null}}\n");
  EXPECT_EQ(printctl({"encode", "--call", "{\"method\": \"m\"}"}).out, "07016d00\n");
}

// Tests that input which cannot be used exits 1 with one line saying why.
TEST(Printctl, UnusableInputIsRefused) {
  const struct {
    std::vector<std::string> arguments;
    std::string reason;
  } cases[] = {
      {{"encode", "18446744073709551615"}, "the integer 18446744073709551615 is outside"},
      {{"encode", "-9223372036854775809"}, "the integer -9223372036854775809 is outside"},
      {{"encode", "{\"$int32\": [2147483648]}"}, "which is not an integer of that size"},
      {{"encode", "{\"$bytes\": \"abc\"}"}, "\"$bytes\" needs padded base64 text"},
      {{"encode", "{\"$byte\": \"\"}"}, "unknown object \"$byte\""},
      {{"encode", "{\"$double\": \"nan\"}"}, "\"$double\" is one of"},
      {{"encode", "{\"$file\": \"/no/such/file\"}"}, "cannot read the file /no/such/file"},
      {{"encode", "{\"a\": "}, "invalid JSON: "},
      {{"encode", "--call", "{\"args\": 1}"}, "a call is written"},
      {{"encode", "--reply", "{\"error\": {\"message\": \"m\"}}"}, "an error needs its \"code\""},
      {{"decode", "0f"}, "the bytes do not decode: unknown type tag 15 (at byte 0)"},
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

// Tests the exit status and line of each kind of answer, and of no host at all.
TEST(Printctl, ExitStatusesOfCalls) {
  ScriptedHost host({{"ok", successReply(true)},
                     {"fails", errorReply("PRINT_FAILED", "Print operation failed")}});
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

  TemporaryFolder empty;
  const std::string nowhere = empty.file("channel.sock");
  const auto noHost = testing::runPrintctl(nowhere, {"list"});
  EXPECT_EQ(noHost.status, 3);
  EXPECT_EQ(noHost.err, "printctl: no printing host at " + nowhere +
                            ": start it with printing_host --socket " + nowhere + "\n");
}

// Tests the tables and lines of the friendly verbs, and the call each one makes.
TEST(Printctl, FriendlyVerbs) {
  const Value paper4x6 =
      ValueMap{{"name", "w288h432"}, {"width", 101.6}, {"height", 152.39999999999998}};
  const Value letter = ValueMap{{"name", "Letter"}, {"width", 215.9}, {"height", 279.4}};
  const auto printer = [](const char* name, bool isDefault, const char* queue, const char* type,
                          double width, double height, ValueList sizes) {
    return ValueMap{{"name", name},       {"isDefault", isDefault}, {"cupsName", queue},
                    {"type", type},       {"paperWidth", width},    {"paperHeight", height},
                    {"paperSizes", sizes}};
  };
  const Value printers = ValueList{
      printer("Label Printer 4x6", false, "Label_4x6", "Zebra ZPL Label Printer", 101.6,
              152.39999999999998, {paper4x6}),
      printer("Caf\u00e9 Laser", true, "Cafe_Laser", "PDF", 215.9, 279.4, {paper4x6, letter}),
      ValueMap{{"name", "Gone"}, {"isDefault", false}, {"cupsName", "Gone"}},
  };
  const auto odd = ValueMap{{"name", "Odd"}, {"width", 0.0}, {"height", 0.0}};
  ScriptedHost host({
      {"printerlist", successReply(printers)},
      {"getPaperSizes", successReply(ValueList{paper4x6, letter, odd})},
      {"getPrinterStatus", kOnline},
      {"setDefaultPrinter", successReply(true)},
      {"printDocument", successReply(ValueMap{{"status", "success"}, {"jobName", "Box 7"}})},
  });
  TemporaryFolder folder;
  const std::string image = folder.write("label.png", {0x89, 'P', 'N', 'G', 0, 1});
  const struct {
    std::vector<std::string> arguments;
    std::string out;
  } cases[] = {
      {{"list"},
       "DEFAULT  NAME               QUEUE       TYPE                     PAPER             SIZES\n"
       "         Label Printer 4x6  Label_4x6   Zebra ZPL Label Printer  101.6 x 152.4 mm  1\n"
       "*        Caf\u00e9 Laser         Cafe_Laser  PDF                      215.9 x 279.4 mm  2\n"
       "         Gone               Gone        -                        -                 -\n"},
      {{"papers", "Label Printer 4x6"},
       "PAPER     SIZE\nw288h432  101.6 x 152.4 mm\nLetter    215.9 x 279.4 mm\n"
       "Odd       unknown size\n"},
      {{"status", "Office Laser"}, "Office Laser: online (Ready)\n"},
      {{"set-default", "Office Laser"}, "Office Laser is now the default printer.\n"},
      {{"print", image, "--printer", "Label Printer 4x6", "--width", "100", "--height", "150.5",
        "--copies", "2", "--job-name", "Box 7"},
       "Printed \"Box 7\".\n"},
  };
  for (const auto& c : cases) {
    const auto result = testing::runPrintctl(host.socketPath(), c.arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, c.out);
  }
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

// Tests that friendly verbs report errors, and refuse wrong arguments before calling.
TEST(Printctl, FriendlyVerbsReportFailures) {
  ScriptedHost host(
      {{"setDefaultPrinter",
        errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")}});
  const auto failed = testing::runPrintctl(host.socketPath(), {"set-default", "Nope"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "printctl: SHELL_ERROR: Failed to set system default printer. Status: 1\n");
  const auto missing = testing::runPrintctl(host.socketPath(), {"list"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "printctl: the host does not offer \"printerlist\"\n");
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{"status"},
                                                {"print", "/no/such/image"},
                                                {"print", "/dev/null", "--copies", "two"},
                                                {"print", "/dev/null", "--width"}}) {
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
