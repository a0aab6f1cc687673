// The printer listing over the fake printing services and canned tool output.
#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <thread>

#include "directory/printer_listing.h"
#include "support/canned_tools.h"
#include "support/fake_printing_services.h"
#include "support/replies.h"

namespace tovanel {
namespace {

// Tests that queries side by side list as one by one, and a helper's throw reaches the caller.
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
