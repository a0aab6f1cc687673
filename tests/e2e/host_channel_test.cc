// The printing channel as a client sees it through printing_host, with a raw client
// and with printctl, against the private CUPS server.
#include <gtest/gtest.h>

#include "support/cups_sandbox.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::HostProcess;
using testing::notImplementedReply;
using testing::successReply;

class HostChannelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { host_ = new HostProcess(HostProcess::start()); }
  static void TearDownTestSuite() {
    EXPECT_EQ(host_->stop(), 0);
    delete host_;
  }
  static const std::string& socket() { return host_->socketPath(); }
  static HostProcess* host_;
};

HostProcess* HostChannelTest::host_ = nullptr;

// Tests "getPrinterStatus" end to end: the channel is open as soon as the host says it
// listens, which it can only be once the main window held its Flutter view controller.
TEST_F(HostChannelTest, PrinterStatusFromTheSandbox) {
  const struct {
    const char* name;
    const char* status;
    const char* message;
  } cases[] = {
      {"Label Printer 4x6", "online", "Ready"},
      {"Office Laser", "online", "Ready"},
      {"Label_4x6", "offline", "Printer not found"},
      {"", "offline", "Printer not found"},
  };
  testing::HostClient client(socket());
  for (const auto& c : cases) {
    const auto outcome = client.call("getPrinterStatus", ValueMap{{"printerName", c.name}});
    ASSERT_TRUE(outcome.reply) << outcome.error;
    EXPECT_EQ(*outcome.reply, successReply(ValueMap{{"status", c.status}, {"message", c.message}}))
        << c.name;
  }
  const auto printctl = testing::runPrintctl(
      socket(), {"call", "getPrinterStatus", R"({"printerName": "Label Printer 4x6"})"});
  EXPECT_EQ(printctl.status, 0);
  EXPECT_EQ(printctl.out, "{\"success\": {\"status\": \"online\", \"message\": \"Ready\"}}\n");
  const auto friendly = testing::runPrintctl(socket(), {"status", "Label Printer 4x6"});
  EXPECT_EQ(friendly.status, 0);
  EXPECT_EQ(friendly.out, "Label Printer 4x6: online (Ready)\n");
}

// Tests that names differing from the five only in case, and other names, are not
// implemented, whatever their arguments.
TEST_F(HostChannelTest, UnknownMethodsAreNotImplemented) {
  testing::HostClient client(socket());
  for (const char* method : {"PrintDocument", "printerList", "getprinterstatus",
                             "SetDefaultPrinter", "getPaperSize", "", "printDocument ", "nope"}) {
    const auto outcome = client.call(method, ValueMap{{"printerName", "Office Laser"}});
    ASSERT_TRUE(outcome.reply) << outcome.error;
    EXPECT_EQ(*outcome.reply, notImplementedReply()) << method;
  }
  const auto printctl = testing::runPrintctl(socket(), {"call", "getprinterstatus", "{}"});
  EXPECT_EQ(printctl.status, 2);
  EXPECT_EQ(printctl.out, "{\"notImplemented\": true}\n");
}

// Tests the argument errors: exact code and message, null details, one reply each.
TEST_F(HostChannelTest, ArgumentErrorsArriveExactly) {
  const auto invalidImage = errorReply("INVALID_ARGUMENTS", "Invalid Image Data");
  const auto nameRequired = errorReply("INVALID_ARGUMENTS", "Printer name required");
  const struct {
    const char* method;
    Value arguments;
    MethodReply expected;
  } cases[] = {
      {"printDocument", Value(), invalidImage},
      {"printDocument", ValueList{Uint8List{1}}, invalidImage},
      {"printDocument", ValueMap{}, invalidImage},
      {"printDocument", ValueMap{{"imageBytes", ValueList{int32_t{1}, int32_t{2}}}}, invalidImage},
      {"printDocument", ValueMap{{"imageBytes", "not bytes"}}, invalidImage},
      {"printDocument", ValueMap{{int32_t{1}, Uint8List{1}}}, invalidImage},
      {"getPrinterStatus", Value(), nameRequired},
      {"getPrinterStatus", ValueMap{}, nameRequired},
      {"getPrinterStatus", ValueMap{{"printerName", int32_t{5}}}, nameRequired},
      {"getPrinterStatus", ValueMap{{"printerName", Value()}}, nameRequired},
      {"getPaperSizes", ValueList{"Office Laser"}, nameRequired},
      {"setDefaultPrinter", ValueMap{{"printername", "Office Laser"}}, nameRequired},
  };
  testing::HostClient client(socket());
  for (const auto& c : cases) {
    const auto outcome = client.call(c.method, c.arguments);
    ASSERT_TRUE(outcome.reply) << outcome.error;
    EXPECT_EQ(*outcome.reply, c.expected) << c.method << " " << describe(c.arguments);
  }
  const auto printctl =
      testing::runPrintctl(socket(), {"call", "getPrinterStatus", "{\"printerName\": 5}"});
  EXPECT_EQ(printctl.status, 1);
  EXPECT_EQ(printctl.out,
            "{\"error\": {\"code\": \"INVALID_ARGUMENTS\", \"message\": \"Printer name required\", "
            "\"details\": null}}\n");
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
