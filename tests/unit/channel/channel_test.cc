// The channel and its operations over the fake printing services and canned tool output:
// dispatch, the arguments of a print, and the default printer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "channel/printing_channel_handler.h"
#include "channel/set_default_printer.h"
#include "support/fake_printing_services.h"
#include "support/replies.h"
#include "support/canned_tools.h"

namespace tovanel {
namespace {

using testing::handleCall;
using testing::named;
using testing::successReply;

// Each operation answers what it was given, so a reply tells which one ran and with what.
const PrintingChannelHandler kHandler{ChannelOperations{
    [](const PrintJobRequest& r, ReplyCallback reply) {
      reply.success(ValueList{r.printerName, r.widthMm, r.heightMm, r.copies, r.jobName,
                              static_cast<int64_t>(r.imageBytes.size())});
    },
    [] { return ValueList{"listed"}; },
    [](const std::string& name, ReplyCallback reply) { reply.success("default " + name); },
    [](const std::string& name) { return ValueList{"sizes " + name}; },
    [](const std::string& name) {
      return ValueMap{{"status", name}};
    },
}};

// Tests that only exact method names with usable arguments reach their own operation.
TEST(PrintingChannelHandler, MethodsReachTheirOperationsWithUsableArguments) {
  const MethodReply noImage = testing::errorReply("INVALID_ARGUMENTS", "Invalid Image Data");
  const MethodReply noName = testing::errorReply("INVALID_ARGUMENTS", "Printer name required");
  const std::tuple<const char*, Value, MethodReply> cases[] = {
      {"printerlist", Value(), successReply(ValueList{"listed"})},
      {"setDefaultPrinter", named("P"), successReply("default P")},
      {"getPaperSizes", named("P"), successReply(ValueList{"sizes P"})},
      {"getPrinterStatus", named(""), successReply(ValueMap{{"status", ""}})},
      {"printerList", named("P"), testing::notImplementedReply()},
      {"printDocument", named("P"), noImage},
      {"printDocument", ValueMap{{"imageBytes", Uint8List{1}}, {int32_t{1}, "one"}}, noImage},
      {"setDefaultPrinter", Value(), noName},
      {"getPaperSizes", ValueMap{{"printerName", "P"}, {Value(), "null key"}}, noName},
      {"getPrinterStatus", ValueMap{{"printerName", int32_t{5}}}, noName}};
  for (const auto& [method, arguments, reply] : cases)
    EXPECT_EQ(handleCall(kHandler, method, arguments), reply) << method << describe(arguments);
}

// Tests that a print takes each argument of its kind and exact value, else its default.
TEST(PrintingChannelHandler, PrintDocumentTakesExactArgumentsElseTheirDefaults) {
  // The request's printer name, width, height, copies and job name.
  const std::pair<ValueMap, ValueList> cases[] = {
      {{{"printerName", "L"}, {"width", int32_t{100}}, {"copies", 0x1p63 - 1024}, {"jobName", ""}},
       {"L", 100.0, 152.4, INT64_MAX - 1023, ""}},
      {{{"printerName", int32_t{4}}, {"height", "2"}, {"copies", 2.5}, {"jobName", Uint8List{'a'}}},
       {"", 101.6, 152.4, int64_t{1}, "Velmar Job"}},
      {{{"width", int64_t{1} << 53}, {"height", (int64_t{1} << 53) + 1}, {"copies", 0x1p63}},
       {"", 0x1p53, 152.4, int64_t{1}, "Velmar Job"}},
      {{{"width", INT64_MAX}, {"height", INFINITY}, {"copies", -0x1p63}},
       {"", 101.6, INFINITY, INT64_MIN, "Velmar Job"}}};
  for (auto [arguments, expected] : cases) {
    arguments.emplace_back("imageBytes", Float32List{1, 2});
    expected.emplace_back(int64_t{8});
    EXPECT_EQ(handleCall(kHandler, "printDocument", arguments), successReply(expected));
  }
}

// Tests the current printer kept whatever follows, the queue by its own rule, and each reply.
TEST(SetDefaultPrinter, CurrentPrinterQueueAndReply) {
  const std::string failed = "error SHELL_ERROR \"Failed to set system default printer. ";
  // The name asked for, how the tool ends, the queue it gets, the reply, the current printer.
  const std::tuple<std::string, CommandResult, std::string, std::string, std::string> cases[] = {
      {"Label Printer", testing::output(""), "Label_1", "success true", "Label Printer"},
      {"LABEL_1", testing::output("", 1), "Label_1", failed + "Status: 1\"", "Before"},
      {"No Such Printer", testing::kTimedOut, "No Such Printer", failed + "Timed out: ", "Before"},
      {"Label Printer", testing::notStarted("/usr/bin/lpoptions"), "Label_1",
       R"(error EXECUTION_FAILED "Could not start /usr/bin/lpoptions: No such file or directory")",
       "Label Printer"}};
  for (const auto& [name, result, queue, reply, current] : cases) {
    testing::FakePrintingServices services;
    services.addPrinter("Label Printer");
    services.shared = Printer{"Before", "", "Before"};
    testing::CannedTools tools;
    tools.answers = {
        {"lpstat -lp", testing::output("printer Label_1\n\tDescription: Label Printer\n")},
        {"lpoptions -d " + queue, result}};
    testing::ReplyRecorder recorder;
    setSystemDefaultPrinter(services, tools.runner(), name, recorder.callback());
    EXPECT_THAT(describe(recorder.replies.at(0)), ::testing::StartsWith(reply));
    EXPECT_EQ(services.shared.name, current) << name;
    EXPECT_EQ(testing::commandLine(tools.requests.at(1)), "lpoptions -d " + queue);
    EXPECT_TRUE(tools.requests[1].waitForExit);
  }
}

}  // namespace
}  // namespace tovanel
