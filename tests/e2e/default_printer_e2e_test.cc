// "setDefaultPrinter" against a private cupsd and a private HOME, with the real lpoptions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "channel/printing_channel_handler.h"
#include "platform/cups_printing_services.h"
#include "support/cups_sandbox.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::ReplyRecorder;
using testing::runShell;
using testing::successReply;

MethodReply call(const PrintingChannelHandler& handler, const char* method, Value arguments) {
  ReplyRecorder recorder;
  handler.handleMethodCall(MethodCall{method, std::move(arguments)}, recorder.callback());
  EXPECT_EQ(recorder.replies.size(), 1u);
  return recorder.replies.at(0);
}

// The printers that the listing marks as default.
std::vector<std::string> markedDefault(const PrintingChannelHandler& handler) {
  std::vector<std::string> names;
  const MethodReply reply = call(handler, "printerlist", Value());
  for (const auto& record : *std::get<Value>(reply).getIf<ValueList>()) {
    const auto& map = *record.getIf<ValueMap>();
    if (*findStringKey(map, "isDefault") == Value(true))
      names.push_back(*findStringKey(map, "name")->getIf<std::string>());
  }
  return names;
}

// Tests the whole effect: true, CUPS's default (in this HOME) is the label queue, and the
// next listing marks the label printer instead of the office printer.
TEST(DefaultPrinterEndToEnd, LabelPrinterBecomesTheDefault) {
  CupsPrintingServices services;
  const PrintingChannelHandler handler(makeChannelOperations(services));
  EXPECT_EQ(markedDefault(handler), std::vector<std::string>{"Office Laser"});

  EXPECT_EQ(call(handler, "setDefaultPrinter", ValueMap{{"printerName", "Label Printer 4x6"}}),
            successReply(true));
  EXPECT_EQ(runShell("/usr/bin/lpstat -d").output, "system default destination: Label_4x6\n");
  std::ifstream options(std::string(std::getenv("HOME")) + "/.cups/lpoptions");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(options), {}), "Default Label_4x6\n");
  EXPECT_EQ(markedDefault(handler), std::vector<std::string>{"Label Printer 4x6"});
}

// Tests that a printer CUPS does not know answers SHELL_ERROR with lpoptions' own status.
TEST(DefaultPrinterEndToEnd, UnknownPrinterAnswersTheToolsStatus) {
  const int status = runShell("/usr/bin/lpoptions -d 'No Such Printer' 2>/dev/null").status;
  ASSERT_NE(status, 0);
  CupsPrintingServices services;
  const PrintingChannelHandler handler(makeChannelOperations(services));
  const std::string before = services.sharedPrinter().name;
  EXPECT_EQ(call(handler, "setDefaultPrinter", ValueMap{{"printerName", "No Such Printer"}}),
            errorReply("SHELL_ERROR",
                       "Failed to set system default printer. Status: " + std::to_string(status)));
  EXPECT_EQ(services.sharedPrinter().name, before);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
