// The printer listing over the fake printing services and canned tool output.
#include "directory/printer_listing.h"

#include <gtest/gtest.h>

#include "support/fake_printing_services.h"
#include "unit/cups/canned_tools.h"

namespace tovanel {
namespace {

// Tests that records name the mapped queue, the current printer, and details of open ones only.
TEST(PrinterListing, RecordsOfPrintersThatOpenAndThatDoNot) {
  testing::FakePrintingServices services;
  services.addPrinter("Desk", "Laser", /*opens=*/false);
  services.shared = services.addPrinter("Labels", "Acme").printer;
  testing::CannedTools tools;
  tools.answers["lpstat -lp"] = testing::output("printer WH_1\n\tDescription: Labels\n");
  tools.answers["lpoptions -p WH_1 -l"] = testing::output("PageSize/Media Size: *w288h360\n");
  EXPECT_EQ(describe(listPrinters(services, tools.runner())),
            R"([{"name": "Desk", "isDefault": false, "cupsName": "Desk"}, {"name": "Labels", )"
            R"("isDefault": true, "cupsName": "WH_1", "type": "Acme", "paperWidth": 101.6, )"
            R"("paperHeight": 152.39999999999998, "paperSizes": [{"name": "w288h360", )"
            R"("width": 101.6, "height": 127.0}]}])");
}

}  // namespace
}  // namespace tovanel
