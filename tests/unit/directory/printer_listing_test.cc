// The printer listing over the fake printing services and canned tool output.
#include "directory/printer_listing.h"

#include <gtest/gtest.h>

#include "support/fake_printing_services.h"
#include "unit/cups/canned_tools.h"

namespace tovanel {
namespace {

using testing::CannedTools;
using testing::FakePrintingServices;

const char* const kWarehouseLpstat =
    "printer WH_LABELS_1 is idle.  enabled since Tue Mar  5 09:12:44 2024\n"
    "\tDescription: Warehouse Labels\n";
const char* const kWarehouseSizes = "PageSize/Media Size: *w288h432 w288h360 Letter\n";

Value entry(const char* name, double width, double height) {
  return ValueMap{{"name", name}, {"width", width}, {"height", height}};
}

// The fake's calls and the tool runs, in one log in the order they happened.
struct Recorded {
  FakePrintingServices services;
  CannedTools tools;

  CommandRunner runner() {
    return [this, canned = tools.runner()](const CommandRequest& request) {
      services.calls.push_back("run " + CannedTools::commandLine(request));
      return canned(request);
    };
  }
};

std::vector<std::string> keysOf(const Value& record) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : *record.getIf<ValueMap>())
    keys.push_back(*key.getIf<std::string>());
  return keys;
}

// Tests a printer that opens beside one that does not: two records exactly, the steps
// in their order, and no paper-size query for the printer that does not open.
TEST(PrinterListing, OpenAndUnopenedPrinters) {
  Recorded recorded;
  recorded.services.addPrinter("Front Desk Laser", "Laser", /*opens=*/false);
  recorded.services.addPrinter("Warehouse Labels", "Acme LX-200");
  recorded.services.shared = recorded.services.printers[1].printer;
  recorded.tools.answer("lpstat -lp", CannedTools::output(kWarehouseLpstat));
  recorded.tools.answer("lpoptions -p WH_LABELS_1 -l", CannedTools::output(kWarehouseSizes));

  const ValueList records = listPrinters(recorded.services, recorded.runner());

  const ValueList expected{
      ValueMap{
          {"name", "Front Desk Laser"}, {"isDefault", false}, {"cupsName", "Front_Desk_Laser"}},
      ValueMap{
          {"name", "Warehouse Labels"},
          {"isDefault", true},
          {"cupsName", "WH_LABELS_1"},
          {"type", "Acme LX-200"},
          {"paperWidth", 101.6},
          {"paperHeight", 152.39999999999998},
          {"paperSizes", ValueList{entry("w288h432", 101.6, 152.4), entry("w288h360", 101.6, 127.0),
                                   entry("Letter", 215.9, 279.4)}}}};
  EXPECT_EQ(records, expected);
  EXPECT_EQ(
      recorded.services.calls,
      (std::vector<std::string>{"printerNames", "sharedPrinter", "run lpstat -lp",
                                "printerWithName Front Desk Laser",
                                "printerWithName Warehouse Labels", "paperSizeFor Warehouse Labels",
                                "run lpstat -lp", "run lpoptions -p WH_LABELS_1 -l"}));
}

// Tests that with no printers the answer is the empty list and the map is still read.
TEST(PrinterListing, NoPrinters) {
  Recorded recorded;
  EXPECT_EQ(listPrinters(recorded.services, recorded.runner()), ValueList{});
  EXPECT_EQ(recorded.tools.commandLines(), std::vector<std::string>{"lpstat -lp"});
}

// Tests "isDefault": text equality with the shared printer's name, nothing looser, and
// one shared printer read for the whole listing.
TEST(PrinterListing, DefaultIsTheSharedPrinterByExactName) {
  const struct {
    std::string sharedName;
    std::vector<bool> expected;
  } cases[] = {
      {"Office Laser", {false, true, false}},
      {"office laser", {false, false, false}},
      {"Office Laser ", {false, false, false}},
      {"Cafe\u0301 Labels", {true, false, false}},  // canonically equivalent
      {"", {false, false, false}},
      {"Elsewhere", {false, false, false}},
  };
  for (const auto& c : cases) {
    Recorded recorded;
    recorded.services.addPrinter("Caf\u00e9 Labels");
    recorded.services.addPrinter("Office Laser");
    recorded.services.addPrinter("Office  Laser", "Fake", /*opens=*/false);
    recorded.services.shared = Printer{c.sharedName, "", ""};
    const ValueList records = listPrinters(recorded.services, recorded.runner());
    ASSERT_EQ(records.size(), c.expected.size());
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(*findStringKey(*records[i].getIf<ValueMap>(), "isDefault"), Value(c.expected[i]))
          << c.sharedName << " / record " << i;
    }
    EXPECT_EQ(
        std::count(recorded.services.calls.begin(), recorded.services.calls.end(), "sharedPrinter"),
        1);
  }
}

// Tests "cupsName": the map's value verbatim, otherwise only spaces become underscores.
TEST(PrinterListing, QueueNames) {
  Recorded recorded;
  for (const char* name :
       {"Warehouse Labels", "Front Desk Laser", "Tab\there", "No\u00a0break", "Plain", ""})
    recorded.services.addPrinter(name, "Fake", /*opens=*/false);
  recorded.tools.answer("lpstat -lp", CannedTools::output(kWarehouseLpstat));
  std::vector<Value> names;
  for (const auto& record : listPrinters(recorded.services, recorded.runner()))
    names.push_back(*findStringKey(*record.getIf<ValueMap>(), "cupsName"));
  EXPECT_EQ(names, (std::vector<Value>{"WH_LABELS_1", "Front_Desk_Laser", "Tab\there",
                                       "No\u00a0break", "Plain", ""}));
}

// Tests the record shapes (three keys or seven), and the paper in millimetres unrounded.
TEST(PrinterListing, RecordShapesAndPaper) {
  Recorded recorded;
  recorded.services.addPrinter("Letter Printer").paper = PaperSize{612, 792};
  recorded.services.addPrinter("Gone", "Fake", /*opens=*/false);
  recorded.services.addPrinter("Nothing Loaded").paper = PaperSize{0, 0};
  const ValueList records = listPrinters(recorded.services, recorded.runner());
  ASSERT_EQ(records.size(), 3u);
  const std::vector<std::string> full{"name",       "isDefault",   "cupsName",  "type",
                                      "paperWidth", "paperHeight", "paperSizes"};
  EXPECT_EQ(keysOf(records[0]), full);
  EXPECT_EQ(keysOf(records[1]), (std::vector<std::string>{"name", "isDefault", "cupsName"}));
  EXPECT_EQ(keysOf(records[2]), full);
  const ValueMap& letter = *records[0].getIf<ValueMap>();
  EXPECT_EQ(*findStringKey(letter, "paperWidth"), Value(215.89999999999998));
  EXPECT_EQ(*findStringKey(letter, "paperHeight"), Value(279.4));
  EXPECT_EQ(*findStringKey(letter, "paperSizes"), Value(ValueList{}));  // lpoptions wrote nothing
  EXPECT_EQ(*findStringKey(*records[2].getIf<ValueMap>(), "paperWidth"), Value(0.0));
}

// Tests that tools that cannot start leave every printer listed: underscore queue
// names, empty paper sizes, and one diagnostic line per failed run.
TEST(PrinterListing, ToolFailuresStillListEveryPrinter) {
  Recorded recorded;
  recorded.services.addPrinter("Office Laser");
  recorded.services.addPrinter("Label Printer");
  recorded.tools.answer("lpstat -lp", CannedTools::notStarted("/usr/bin/lpstat"));
  recorded.tools.answer("lpoptions -p Office_Laser -l",
                        CannedTools::notStarted("/usr/bin/lpoptions"));
  recorded.tools.answer("lpoptions -p Label_Printer -l", CannedTools::output("PageSize/x: A6\n"));
  ::testing::internal::CaptureStdout();
  const ValueList records = listPrinters(recorded.services, recorded.runner());
  const std::string printed = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(records.size(), 2u);
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
