// "getPrinterStatus" and the printer lookups behind it, against a private cupsd.
#include <gtest/gtest.h>

#include "channel/printing_channel_handler.h"
#include "platform/cups_printing_services.h"
#include "support/cups_sandbox.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::ReplyRecorder;
using testing::sandbox;

const ValueMap kOnline{{"status", "online"}, {"message", "Ready"}};
const ValueMap kOffline{{"status", "offline"}, {"message", "Printer not found"}};

MethodReply askStatus(PrintingServices& services, const std::string& name) {
  const PrintingChannelHandler handler(makeChannelOperations(services));
  ReplyRecorder recorder;
  handler.handleMethodCall(MethodCall{"getPrinterStatus", ValueMap{{"printerName", name}}},
                           recorder.callback());
  EXPECT_EQ(recorder.replies.size(), 1u);
  return recorder.replies.at(0);
}

// Tests that display names open and everything else, queue names included, does not.
TEST(PrinterStatusEndToEnd, AnswersByDisplayName) {
  CupsPrintingServices services;
  const struct {
    const char* name;
    const ValueMap& expected;
  } cases[] = {
      {"Label Printer 4x6", kOnline},   {"Office Laser", kOnline},
      {"Label_4x6", kOffline},          {"", kOffline},
      {"Label Printer 4x6 ", kOffline}, {"label printer 4x6", kOffline},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(askStatus(services, c.name), MethodReply(Value(c.expected))) << c.name;
  }
}

// Tests that a paused queue whose printer opens is still reported ready.
TEST(PrinterStatusEndToEnd, PausedQueueIsStillOnline) {
  ASSERT_EQ(testing::runShell("/usr/sbin/cupsdisable Label_4x6").status, 0);
  CupsPrintingServices services;
  EXPECT_EQ(askStatus(services, "Label Printer 4x6"), MethodReply(Value(kOnline)));
  ASSERT_EQ(testing::runShell("/usr/sbin/cupsenable Label_4x6").status, 0);
}

// Tests the printer list, type names, and the shared printer starting on the CUPS default.
TEST(PrinterStatusEndToEnd, PlatformSeesTheSandboxPrinters) {
  CupsPrintingServices services;
  EXPECT_EQ(services.printerNames(),
            (std::vector<std::string>{"Label Printer 4x6", "Office Laser"}));
  const auto label = services.printerWithName("Label Printer 4x6");
  ASSERT_TRUE(label);
  EXPECT_EQ(label->type, "Zebra ZPL Label Printer");
  EXPECT_EQ(label->destination, "Label_4x6");
  EXPECT_EQ(services.sharedPrinter().name, "Office Laser");
  services.setSharedPrinter(*label);
  EXPECT_EQ(services.sharedPrinter().name, "Label Printer 4x6");
}

// Tests that a queue without a description is known by its queue name, and that a
// description in another Unicode form still finds its printer.
TEST(PrinterStatusEndToEnd, DisplayNamesFallBackAndCompareCanonically) {
  const std::string device = " -v file:///dev/null -m drv:///sample.drv/zebra.ppd";
  ASSERT_EQ(testing::runShell("/usr/sbin/lpadmin -p Bare_Queue -E" + device).status, 0);
  ASSERT_EQ(testing::runShell("/usr/sbin/lpadmin -p Cafe_Labels -E -D 'Caf\u00e9 Labels'" + device)
                .status,
            0);
  CupsPrintingServices services;
  EXPECT_EQ(askStatus(services, "Bare_Queue"), MethodReply(Value(kOnline)));
  EXPECT_EQ(askStatus(services, "Cafe\u0301 Labels"), MethodReply(Value(kOnline)));
  EXPECT_EQ(askStatus(services, "Cafe_Labels"), MethodReply(Value(kOffline)));
  testing::runShell("/usr/sbin/lpadmin -x Bare_Queue; /usr/sbin/lpadmin -x Cafe_Labels");
}

// Tests that with the scheduler gone every name is offline and nothing breaks.
TEST(PrinterStatusEndToEnd, SchedulerDownMeansOffline) {
  CupsPrintingServices services;
  sandbox().stopDaemon();
  EXPECT_EQ(askStatus(services, "Label Printer 4x6"), MethodReply(Value(kOffline)));
  EXPECT_TRUE(services.printerNames().empty());
  sandbox().startDaemon();
  EXPECT_EQ(askStatus(services, "Label Printer 4x6"), MethodReply(Value(kOnline)));
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
