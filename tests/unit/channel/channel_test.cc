// The channel's dispatch and a print's arguments, and the default printer over canned tools.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/printing_channel_handler.h"
#include "channel/set_default_printer.h"
#include "support/canned_tools.h"
#include "support/fake_printing_services.h"
#include "support/replies.h"
#include "support/rows.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::handleCall;
using testing::named;

// What the print operation was asked for; each member starts as the channel's default.
struct Asked {
  std::string printerName = "";
  double widthMm = 101.6, heightMm = 152.4;
  int64_t copies = 1;
  std::string jobName = "Velmar Job";
  size_t imageBytes = 8;
  friend bool operator==(const Asked&, const Asked&) = default;
  friend void PrintTo(const Asked& a, std::ostream* out) {
    *out << "{printerName \"" << a.printerName << "\", widthMm " << testing::exactly(a.widthMm)
         << ", heightMm " << testing::exactly(a.heightMm) << ", copies " << a.copies
         << ", jobName \"" << a.jobName << "\", imageBytes " << a.imageBytes << "}";
  }
};
Asked asked;

// Each operation answers what it was given, so a reply tells which one ran and with what.
const PrintingChannelHandler kHandler{ChannelOperations{
    [](const PrintJobRequest& r, ReplyCallback reply) {
      asked = {r.printerName, r.widthMm, r.heightMm, r.copies, r.jobName, r.imageBytes.size()};
      reply.success("printed");
    },
    [] { return ValueList{"listed"}; },
    [](const std::string& name, ReplyCallback reply) { reply.success("default " + name); },
    [](const std::string& name) { return ValueList{"sizes " + name}; },
    [](const std::string& name) {
      return ValueMap{{"status", name}};
    }}};

// Tests that only exact method names with usable arguments reach their own operation.
TEST(PrintingChannelHandler, MethodsReachTheirOperationsWithUsableArguments) {
  const MethodReply noImage = errorReply("INVALID_ARGUMENTS", "Invalid Image Data");
  const MethodReply noName = errorReply("INVALID_ARGUMENTS", "Printer name required");
  // clang-format off
  const testing::Row<MethodCall, MethodReply> rows[] = {
      {.name = "the listing", .in = {"printerlist", Value()}, .expect = ValueList{"listed"}},
      {.name = "the default", .in = {"setDefaultPrinter", named("P")}, .expect = "default P"},
      {.name = "paper sizes", .in = {"getPaperSizes", named("P")}, .expect = ValueList{"sizes P"}},
      {.name = "status", .in = {"getPrinterStatus", named("")}, .expect = ValueMap{{"status", ""}}},
      {.name = "another case", .in = {"printerList", named("P")},
       .expect = testing::notImplementedReply()},
      {.name = "no image", .in = {"printDocument", named("P")}, .expect = noImage},
      {.name = "the image under a number key",
       .in = {"printDocument", ValueMap{{"imageBytes", Uint8List{1}}, {int32_t{1}, "one"}}},
       .expect = noImage},
      {.name = "no arguments", .in = {"setDefaultPrinter", Value()}, .expect = noName},
      {.name = "a null key",
       .in = {"getPaperSizes", ValueMap{{"printerName", "P"}, {Value(), "null key"}}},
       .expect = noName},
      {.name = "a number name", .in = {"getPrinterStatus", ValueMap{{"printerName", int32_t{5}}}},
       .expect = noName}};
  // clang-format on
  testing::expectRows(rows, [](const MethodCall& call) {
    return handleCall(kHandler, call.method, call.arguments);
  });
}

// Tests that a print takes each argument of its kind and exact value, else its default.
TEST(PrintingChannelHandler, PrintDocumentTakesExactArgumentsElseTheirDefaults) {
  // clang-format off
  const testing::Row<ValueMap, Asked> rows[] = {
      {.name = "each of its kind",
       .in = {{"printerName", "L"}, {"width", int32_t{100}}, {"copies", 0x1p63 - 1024},
              {"jobName", ""}},
       .expect = {.printerName = "L", .widthMm = 100, .copies = INT64_MAX - 1023, .jobName = ""}},
      {.name = "each of another kind: the defaults",
       .in = {{"printerName", int32_t{4}}, {"height", "2"}, {"copies", 2.5},
              {"jobName", Uint8List{'a'}}}},
      {.name = "integers a double holds; 2^63 is none",
       .in = {{"width", int64_t{1} << 53}, {"height", (int64_t{1} << 53) + 1}, {"copies", 0x1p63}},
       .expect = {.widthMm = 0x1p53}},
      {.name = "the extremes",
       .in = {{"width", INT64_MAX}, {"height", INFINITY}, {"copies", -0x1p63}},
       .expect = {.heightMm = INFINITY, .copies = INT64_MIN}}};
  // clang-format on
  testing::expectRows(rows, [](ValueMap arguments) {
    arguments.emplace_back("imageBytes", Float32List{1, 2});
    EXPECT_EQ(handleCall(kHandler, "printDocument", arguments), testing::successReply("printed"));
    return asked;
  });
}

// Tests the current printer kept whatever follows, the queue by its own rule, and each reply.
TEST(SetDefaultPrinter, CurrentPrinterQueueAndReply) {
  const std::string failed = "Failed to set system default printer. ";
  // clang-format off
  const struct {
    const char* name = "";
    std::string printer = "Label Printer";
    CommandResult lpoptions = testing::output("");
    std::string queue = "Label_1";
    MethodReply expect = testing::successReply(true);
    std::string current = "Label Printer";
  } rows[] = {
      {.name = "a printer by its name"},
      {.name = "a queue by its name in another case", .printer = "LABEL_1",
       .lpoptions = testing::output("", 1),
       .expect = errorReply("SHELL_ERROR", failed + "Status: 1"),
       .current = "Before"},
      {.name = "no such printer, and the tool timed out", .printer = "No Such Printer",
       .lpoptions = testing::kTimedOut, .queue = "No Such Printer",
       .expect = errorReply("SHELL_ERROR", failed + "Timed out: /usr/bin/lpoptions was still "
                                                    "running after 120 seconds and was stopped"),
       .current = "Before"},
      {.name = "the tool not started", .lpoptions = testing::notStarted("/usr/bin/lpoptions"),
       .expect = errorReply("EXECUTION_FAILED",
                            "Could not start /usr/bin/lpoptions: No such file or directory")}};
  // clang-format on
  testing::forEachRow(rows, [](const auto& row) {
    testing::FakePrintingServices services;
    services.addPrinter("Label Printer");
    services.shared = Printer{"Before", "", "Before"};
    testing::CannedTools tools;
    tools.answers = {
        {"lpstat -lp", testing::output("printer Label_1\n\tDescription: Label Printer\n")},
        {"lpoptions -d " + row.queue, row.lpoptions}};
    testing::ReplyRecorder recorder;
    setSystemDefaultPrinter(services, tools.runner(), row.printer, recorder.callback());
    EXPECT_EQ(recorder.replies, std::vector{row.expect});
    EXPECT_EQ(services.shared.name, row.current);
    EXPECT_EQ(tools.requests.at(1), (CommandRequest{.toolPath = "/usr/bin/lpoptions",
                                                    .arguments = {"-d", row.queue},
                                                    .waitForExit = true}));
  });
}

}  // namespace
}  // namespace tovanel
