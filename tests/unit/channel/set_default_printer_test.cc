// Setting the default printer over the fake printing services and canned tool runs.
#include "channel/set_default_printer.h"

#include <gtest/gtest.h>

#include "directory/printer_listing.h"
#include "support/fake_printing_services.h"
#include "support/replies.h"
#include "unit/cups/canned_tools.h"

namespace tovanel {
namespace {

using testing::CannedTools;
using testing::errorReply;
using testing::FakePrintingServices;
using testing::successReply;

const MethodReply kStatusOne =
    errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1");

struct Outcome {
  MethodReply reply;
  std::optional<CommandRequest> lpoptions;  // the request, if the tool ran
};

// One call, `lpoptions -d` ending as `result`; tool runs are noted among the calls.
Outcome setDefault(FakePrintingServices& services, const std::string& name,
                   const CommandResult& result = CannedTools::output("")) {
  CannedTools tools;
  tools.answer("lpstat -lp", CannedTools::output("printer Office_Printer is idle.\n"
                                                 "\tDescription: Office Printer\n"
                                                 "printer Label_4x6 is idle.\n"
                                                 "\tDescription: Label Printer 4x6\n"));
  Outcome outcome;
  const CommandRunner runner = [&, canned = tools.runner()](const CommandRequest& request) {
    services.calls.push_back("run " + CannedTools::commandLine(request));
    if (request.toolPath != "/usr/bin/lpoptions")
      return canned(request);
    outcome.lpoptions = request;
    return result;
  };
  testing::MisuseRecorder misuses;
  testing::ReplyRecorder recorder;
  setSystemDefaultPrinter(services, runner, name, recorder.callback());
  EXPECT_EQ(recorder.replies.size(), 1u) << name;
  EXPECT_TRUE(misuses.misuses.empty());
  outcome.reply = recorder.replies.at(0);
  return outcome;
}

// Tests that the shared printer changes first, then `lpoptions -d QUEUE` runs.
TEST(SetDefaultPrinter, KnownPrinterBecomesCurrentThenCupsDefault) {
  FakePrintingServices services;
  services.addPrinter("Label Printer 4x6", "Zebra");
  const auto [reply, request] = setDefault(services, "Label Printer 4x6");
  EXPECT_EQ(reply, successReply(true));
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{"printerWithName Label Printer 4x6",
                                      "setSharedPrinter Label Printer 4x6", "run lpstat -lp",
                                      "run lpoptions -d Label_4x6"}));
  ASSERT_TRUE(request);
  EXPECT_EQ(request->toolPath, "/usr/bin/lpoptions");
  EXPECT_FALSE(request->captureOutput);
  EXPECT_FALSE(request->separateError);
  EXPECT_TRUE(request->waitForExit);
}

// Tests that the queue is found by the matching rule, else the name is passed unchanged.
TEST(SetDefaultPrinter, QueueByTheMatchingRule) {
  const struct {
    std::string name;
    std::string queue;
  } cases[] = {
      {"Office Printer", "Office_Printer"},
      {"LABEL_4X6", "Label_4x6"},
      {"it's \"quoted\" ; rm", "it's \"quoted\" ; rm"},
  };
  for (const auto& c : cases) {
    FakePrintingServices services;
    const auto request = setDefault(services, c.name).lpoptions;
    ASSERT_TRUE(request) << c.name;
    EXPECT_EQ(request->arguments, (std::vector<std::string>{"-d", c.queue})) << c.name;
  }
}

// Tests the error answers, and that the shared printer stays changed after them.
TEST(SetDefaultPrinter, ErrorsKeepTheNewCurrentPrinter) {
  CommandResult stopped = CannedTools::output("", 9);
  stopped.timedOut = true;
  const struct {
    CommandResult result;
    MethodReply expected;
  } cases[] = {
      {CannedTools::output("", 1), kStatusOne},
      {stopped, errorReply("SHELL_ERROR",
                           "Failed to set system default printer. Timed out: /usr/bin/lpoptions "
                           "was still running after 120 seconds and was stopped")},
      {CannedTools::notStarted("/usr/bin/lpoptions"),
       errorReply("EXECUTION_FAILED",
                  "Could not start /usr/bin/lpoptions: No such file or directory")},
  };
  for (const auto& c : cases) {
    FakePrintingServices services;
    services.addPrinter("Office Printer");
    EXPECT_EQ(setDefault(services, "Office Printer", c.result).reply, c.expected);
    EXPECT_EQ(services.shared.name, "Office Printer");
  }
}

// Tests that only a known name changes the shared printer, and the next listing follows.
TEST(SetDefaultPrinter, SharedPrinterAndListingFollowTheKnownName) {
  FakePrintingServices services;
  services.addPrinter("Office Printer");
  services.addPrinter("Label Printer 4x6");
  services.addPrinter("Broken", "Fake", /*opens=*/false);
  services.shared = services.printers[0].printer;
  for (const char* name : {"No Such Printer", "Broken"}) {
    EXPECT_EQ(setDefault(services, name, CannedTools::output("", 1)).reply, kStatusOne);
    EXPECT_EQ(services.shared.name, "Office Printer");
  }
  setDefault(services, "Label Printer 4x6", CannedTools::output("", 1));
  CannedTools tools;
  std::vector<Value> flags;
  for (const auto& record : listPrinters(services, tools.runner()))
    flags.push_back(*findStringKey(*record.getIf<ValueMap>(), "isDefault"));
  EXPECT_EQ(flags, (std::vector<Value>{false, true, false}));
}

}  // namespace
}  // namespace tovanel
