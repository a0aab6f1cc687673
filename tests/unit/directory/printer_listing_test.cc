// The printer listing over the fake printing services and canned tool output.
#include "directory/printer_listing.h"

#include <gtest/gtest.h>

#include "support/fake_printing_services.h"
#include "unit/cups/canned_tools.h"

namespace tovanel {
namespace {

using testing::CannedTools;
using testing::FakePrintingServices;

Value entry(const char* name, double width, double height) {
  return ValueMap{{"name", name}, {"width", width}, {"height", height}};
}

// The fake's calls and the tool runs, in one log in the order they happened.
struct Recorded {
  FakePrintingServices services;
  CannedTools tools;

  // One query at a time, so that the log has one order.
  ValueList list() {
    return listPrinters(
        services,
        [this, canned = tools.runner()](const CommandRequest& request) {
          services.calls.push_back("run " + CannedTools::commandLine(request));
          return canned(request);
        },
        1);
  }
};

// Tests the worked example: both record shapes exactly, and the steps in their order.
TEST(PrinterListing, WorkedExample) {
  Recorded recorded;
  recorded.services.addPrinter("Front Desk Laser", "Laser", /*opens=*/false);
  recorded.services.addPrinter("Warehouse Labels", "Acme LX-200");
  recorded.services.shared = recorded.services.printers[1].printer;
  recorded.tools.answer("lpstat -lp",
                        CannedTools::output("printer WH_LABELS_1 is idle.  enabled since Tue Mar  "
                                            "5 09:12:44 2024\n\tDescription: Warehouse Labels\n"));
  recorded.tools.answer("lpoptions -p WH_LABELS_1 -l",
                        CannedTools::output("PageSize/Media Size: *w288h432 w288h360 Letter\n"));
  EXPECT_EQ(recorded.list(),
            (ValueList{ValueMap{{"name", "Front Desk Laser"},
                                {"isDefault", false},
                                {"cupsName", "Front_Desk_Laser"}},
                       ValueMap{{"name", "Warehouse Labels"},
                                {"isDefault", true},
                                {"cupsName", "WH_LABELS_1"},
                                {"type", "Acme LX-200"},
                                {"paperWidth", 101.6},
                                {"paperHeight", 152.39999999999998},
                                {"paperSizes", ValueList{entry("w288h432", 101.6, 152.4),
                                                         entry("w288h360", 101.6, 127.0),
                                                         entry("Letter", 215.9, 279.4)}}}}));
  EXPECT_EQ(
      recorded.services.calls,
      (std::vector<std::string>{"printerNames", "sharedPrinter", "run lpstat -lp",
                                "printerWithName Front Desk Laser",
                                "printerWithName Warehouse Labels", "paperSizeFor Warehouse Labels",
                                "run lpstat -lp", "run lpoptions -p WH_LABELS_1 -l"}));
}

// Tests that "isDefault" is text equality with the shared printer's name, read once.
TEST(PrinterListing, DefaultIsTheSharedPrinterByExactName) {
  const struct {
    std::string sharedName;
    std::vector<Value> expected;
  } cases[] = {
      {"Office Laser", {false, true, false}},
      {"office laser", {false, false, false}},
      {"Cafe\u0301 Labels", {true, false, false}},  // canonically equivalent
  };
  for (const auto& c : cases) {
    Recorded recorded;
    recorded.services.addPrinter("Caf\u00e9 Labels");
    recorded.services.addPrinter("Office Laser");
    recorded.services.addPrinter("Office  Laser", "Fake", /*opens=*/false);
    recorded.services.shared = Printer{c.sharedName, "", ""};
    std::vector<Value> flags;
    for (const auto& record : recorded.list())
      flags.push_back(*findStringKey(*record.getIf<ValueMap>(), "isDefault"));
    EXPECT_EQ(flags, c.expected) << c.sharedName;
    const auto& calls = recorded.services.calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "sharedPrinter"), 1);
  }
}

// Tests that tools that cannot start still leave every printer listed.
TEST(PrinterListing, ToolFailuresStillListEveryPrinter) {
  Recorded recorded;
  recorded.services.addPrinter("Office Laser");
  recorded.services.addPrinter("Label Printer");
  recorded.tools.answer("lpstat -lp", CannedTools::notStarted("/usr/bin/lpstat"));
  recorded.tools.answer("lpoptions -p Office_Laser -l",
                        CannedTools::notStarted("/usr/bin/lpoptions"));
  recorded.tools.answer("lpoptions -p Label_Printer -l", CannedTools::output("PageSize/x: A6\n"));
  ::testing::internal::CaptureStdout();
  const ValueList records = recorded.list();
  const std::string printed = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(*findStringKey(*records[0].getIf<ValueMap>(), "cupsName"), Value("Office_Laser"));
  EXPECT_EQ(*findStringKey(*records[0].getIf<ValueMap>(), "paperSizes"), Value(ValueList{}));
  EXPECT_EQ(*findStringKey(*records[1].getIf<ValueMap>(), "paperSizes"),
            Value(ValueList{entry("A6", 105.0, 148.0)}));
  const std::string mapping =
      "Error getting CUPS mapping: Could not start /usr/bin/lpstat: No such file or directory "
      "(posix_spawn failed, errno 2 ENOENT)\n";
  EXPECT_EQ(printed, mapping + mapping +
                         "Error querying paper sizes for Office Laser: Could not start "
                         "/usr/bin/lpoptions: No such file or directory (posix_spawn failed, "
                         "errno 2 ENOENT)\n" +
                         mapping);
}

}  // namespace
}  // namespace tovanel
