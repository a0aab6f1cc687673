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
using testing::MisuseRecorder;
using testing::ReplyRecorder;
using testing::successReply;

const char* const kLpstat =
    "printer Office_Printer is idle.\n\tDescription: Office Printer\n"
    "printer Label_4x6 is idle.\n\tDescription: Label Printer 4x6\n";

struct Outcome {
  MethodReply reply;
  std::vector<CommandRequest> requests;
};

// One call with `lpstat` writing `listing` and `lpoptions -d` ending as `result`.
Outcome setDefault(FakePrintingServices& services, const std::string& name,
                   const CommandResult& result = CannedTools::output("", 0),
                   const std::string& listing = kLpstat) {
  CannedTools tools;
  tools.answer("lpstat -lp", CannedTools::output(listing));
  const CommandRunner canned = tools.runner();
  const CommandRunner runner = [&](const CommandRequest& request) {
    services.calls.push_back("run " + CannedTools::commandLine(request));
    if (request.toolPath != "/usr/bin/lpoptions")
      return canned(request);
    tools.requests.push_back(request);
    return result;
  };
  MisuseRecorder misuses;
  ReplyRecorder recorder;
  setSystemDefaultPrinter(services, runner, name, recorder.callback());
  EXPECT_EQ(recorder.replies.size(), 1u) << name;
  EXPECT_TRUE(misuses.misuses.empty());
  return {recorder.replies.at(0), tools.requests};
}

// Tests the success path: the shared printer changes before the tool runs, and the tool
// runs as `lpoptions -d QUEUE`, output not captured, waited for.
TEST(SetDefaultPrinter, KnownPrinterBecomesCurrentThenCupsDefault) {
  FakePrintingServices services;
  services.addPrinter("Label Printer 4x6", "Zebra");
  const Outcome outcome = setDefault(services, "Label Printer 4x6");
  EXPECT_EQ(outcome.reply, successReply(true));
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{"printerWithName Label Printer 4x6",
                                      "setSharedPrinter Label Printer 4x6", "run lpstat -lp",
                                      "run lpoptions -d Label_4x6"}));
  ASSERT_EQ(outcome.requests.size(), 2u);
  const CommandRequest& request = outcome.requests[1];
  EXPECT_EQ(request.toolPath, "/usr/bin/lpoptions");
  EXPECT_EQ(request.arguments, (std::vector<std::string>{"-d", "Label_4x6"}));
  EXPECT_FALSE(request.captureOutput);
  EXPECT_FALSE(request.separateError);
  EXPECT_TRUE(request.waitForExit);
}

// Tests which queue each name is set as: the map's key, a lower-cased underscore match,
// or the name unchanged as one argument.
TEST(SetDefaultPrinter, QueueByTheDefaultPrinterRule) {
  const struct {
    std::string name;
    std::string listing;
    std::string queue;
  } cases[] = {
      {"Office Printer", kLpstat, "Office_Printer"},
      {"office printer", kLpstat, "Office_Printer"},
      {"LABEL_4X6", kLpstat, "Label_4x6"},
      {"Front Desk Laser", kLpstat, "Front Desk Laser"},
      {"Office Printer", "", "Office Printer"},  // empty map: unchanged
      {"", kLpstat, ""},
      {"it's \"quoted\" ; rm", kLpstat, "it's \"quoted\" ; rm"},
  };
  for (const auto& c : cases) {
    FakePrintingServices services;
    const Outcome outcome = setDefault(services, c.name, CannedTools::output("", 0), c.listing);
    ASSERT_EQ(outcome.requests.size(), 2u);
    EXPECT_EQ(outcome.requests[1].arguments, (std::vector<std::string>{"-d", c.queue})) << c.name;
    EXPECT_EQ(outcome.reply, successReply(true));
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
      {CannedTools::output("", 1),
       errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
      {CannedTools::output("", 255),
       errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 255")},
      {stopped, errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 9")},
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

// Tests that a name the platform does not know leaves the shared printer alone and the
// tool's status decides.
TEST(SetDefaultPrinter, UnknownNameOnlyRunsTheTool) {
  FakePrintingServices services;
  services.addPrinter("Office Printer");
  services.addPrinter("Broken", "Fake", /*opens=*/false);
  services.shared = services.printers[0].printer;
  for (const char* name : {"No Such Printer", "Broken", "office printer"}) {
    EXPECT_EQ(setDefault(services, name, CannedTools::output("", 1)).reply,
              errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1"));
    EXPECT_EQ(services.shared.name, "Office Printer");
  }
}

// Tests that the next listing marks the printer just set as the default, and only it.
TEST(SetDefaultPrinter, NextListingMarksTheNewDefault) {
  FakePrintingServices services;
  services.addPrinter("Office Printer");
  services.addPrinter("Label Printer 4x6");
  services.shared = services.printers[0].printer;
  // The tool fails, yet the application's current printer has changed.
  setDefault(services, "Label Printer 4x6", CannedTools::output("", 1));
  CannedTools tools;
  std::vector<Value> flags;
  for (const auto& record : listPrinters(services, tools.runner()))
    flags.push_back(*findStringKey(*record.getIf<ValueMap>(), "isDefault"));
  EXPECT_EQ(flags, (std::vector<Value>{false, true}));
}

}  // namespace
}  // namespace tovanel
