// The printer listing over the fake printing services and canned tool output.
#include "directory/printer_listing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <thread>

#include "support/fake_printing_services.h"
#include "support/replies.h"
#include "support/canned_tools.h"

namespace tovanel {
namespace {

// Tests that records name the mapped queue, the current printer, and details of open ones only.
TEST(PrinterListing, RecordsOfPrintersThatOpenAndThatDoNot) {
  testing::FakePrintingServices services;
  services.addPrinter("Desk", "Laser", /*opens=*/false);
  services.shared = services.addPrinter("Labels", "Acme");
  testing::CannedTools tools;
  tools.answers["lpstat -lp"] = testing::output("printer WH_1\n\tDescription: Labels\n");
  tools.answers["lpoptions -p WH_1 -l"] = testing::output("PageSize/Media Size: *w288h360\n");
  EXPECT_EQ(describe(Value(listPrinters(services, tools.runner()))),
            R"([{"name": "Desk", "isDefault": false, "cupsName": "Desk"}, {"name": "Labels", )"
            R"("isDefault": true, "cupsName": "WH_1", "type": "Acme", "paperWidth": 101.6, )"
            R"("paperHeight": 152.39999999999998, "paperSizes": [{"name": "w288h360", )"
            R"("width": 101.6, "height": 127.0}]}])");
}

// Tests that queries side by side give the records of one after another, and that a query
// throwing on a helper thread reaches the caller once every thread is joined.
TEST(PrinterListing, SideBySideAsOneAfterAnotherAndAThrowReachesTheCaller) {
  testing::FakePrintingServices services;
  testing::CannedTools tools;
  for (const char* name : {"P1", "P2", "P3", "P4", "P5", "P6"}) {
    services.addPrinter(name);
    tools.answers["lpoptions -p " + std::string(name) + " -l"] =
        testing::output("PageSize/Media Size: *" + std::string(name) + "\n");
  }
  const ValueList oneAfterAnother = listPrinters(services, tools.runner(), 1);
  EXPECT_EQ(describe(Value(oneAfterAnother.at(5))),
            R"({"name": "P6", "isDefault": false, "cupsName": "P6", "type": "Fake Model", )"
            R"("paperWidth": 101.6, "paperHeight": 152.39999999999998, "paperSizes": )"
            R"([{"name": "P6", "width": 0.0, "height": 0.0}]})");
  EXPECT_EQ(listPrinters(services, tools.runner(), 4), oneAfterAnother);

  // Each query is slow enough that every thread has taken one before the first throws.
  const CommandRunner exhausted = [&tools](const CommandRequest& request) -> CommandResult {
    if (request.toolPath == "/usr/bin/lpoptions") {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      throw std::bad_alloc();
    }
    return tools.runner()(request);
  };
  EXPECT_THROW(listPrinters(services, exhausted, 4), std::bad_alloc);
}

}  // namespace
}  // namespace tovanel
