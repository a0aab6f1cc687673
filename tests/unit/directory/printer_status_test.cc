#include "directory/printer_status.h"

#include <gtest/gtest.h>

#include "support/fake_printing_services.h"

namespace tovanel {
namespace {

const ValueMap kOnline{{"status", "online"}, {"message", "Ready"}};
const ValueMap kOffline{{"status", "offline"}, {"message", "Printer not found"}};

// Tests that only a printer that opens under exactly that name is online.
TEST(PrinterStatus, OnlineOnlyForAPrinterThatOpensUnderThatName) {
  testing::FakePrintingServices services;
  services.addPrinter("Label Printer 4x6");
  services.addPrinter("Caf\u00e9 Labels");
  services.addPrinter("Broken Queue", "Fake", /*opens=*/false);
  const struct {
    const char* name;
    const ValueMap& expected;
  } cases[] = {
      {"Label Printer 4x6", kOnline},   {"Cafe\u0301 Labels", kOnline},  // canonically equivalent
      {"Label_4x6", kOffline},  // a queue name is not a display name
      {"label printer 4x6", kOffline},  {"Label Printer 4x6 ", kOffline},
      {" Label Printer 4x6", kOffline}, {"", kOffline},
      {"Broken Queue", kOffline},  // listed, but does not open
  };
  for (const auto& c : cases) {
    services.calls.clear();
    EXPECT_EQ(printerStatus(services, c.name), c.expected) << "\"" << c.name << "\"";
    EXPECT_EQ(services.calls, std::vector<std::string>{"printerWithName " + std::string(c.name)});
  }
}

}  // namespace
}  // namespace tovanel
