// "printerlist" against a private cupsd: the platform's printers, the real lpstat and
// lpoptions, and the destinations' default media.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "channel/printing_channel_handler.h"
#include "platform/cups_printing_services.h"
#include "support/cups_sandbox.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::ReplyRecorder;
using testing::driverKeywords;
using testing::runShell;
using testing::sandbox;

ValueList printerList(PrintingServices& services) {
  const PrintingChannelHandler handler(makeChannelOperations(services));
  ReplyRecorder recorder;
  handler.handleMethodCall(MethodCall{"printerlist", Value()}, recorder.callback());
  EXPECT_EQ(recorder.replies.size(), 1u);
  const auto* value = std::get_if<Value>(&recorder.replies.at(0));
  EXPECT_TRUE(value && value->is<ValueList>());
  return value && value->is<ValueList>() ? *value->getIf<ValueList>() : ValueList{};
}

const Value& field(const Value& record, const char* key) {
  static const Value absent;
  const Value* value = findStringKey(*record.getIf<ValueMap>(), key);
  return value ? *value : absent;
}

double number(const Value& record, const char* key) {
  const auto* value = field(record, key).getIf<double>();
  return value ? *value : -1;
}

std::vector<std::string> paperNames(const Value& record) {
  std::vector<std::string> names;
  for (const auto& entry : *field(record, "paperSizes").getIf<ValueList>())
    names.push_back(*field(entry, "name").getIf<std::string>());
  return names;
}

// Tests both virtual printers: descriptions, queues, make and model, the default media
// in millimetres, the drivers' paper sizes, and the CUPS default marked.
TEST(DirectoryListingEndToEnd, ListsTheSandboxPrinters) {
  CupsPrintingServices services;
  const ValueList records = printerList(services);
  ASSERT_EQ(records.size(), 2u);

  const Value& label = records[0];
  EXPECT_EQ(field(label, "name"), Value("Label Printer 4x6"));
  EXPECT_EQ(field(label, "isDefault"), Value(false));
  EXPECT_EQ(field(label, "cupsName"), Value("Label_4x6"));
  EXPECT_EQ(field(label, "type"), Value("Zebra ZPL Label Printer"));
  // The queue's default PageSize w288h432, not the first size the driver lists.
  EXPECT_EQ(number(label, "paperWidth"), 101.6);
  EXPECT_EQ(number(label, "paperHeight"), 152.39999999999998);
  EXPECT_EQ(paperNames(label), driverKeywords("Label_4x6"));

  const Value& office = records[1];
  EXPECT_EQ(field(office, "name"), Value("Office Laser"));
  EXPECT_EQ(field(office, "isDefault"), Value(true));
  EXPECT_EQ(field(office, "cupsName"), Value("Office_Laser"));
  EXPECT_EQ(field(office, "type"), Value("Tovanel Office Laser PDF"));
  // The queue's default media is the standard A4 that its PPD's default names.
  EXPECT_EQ(number(office, "paperWidth"), 210.0);
  EXPECT_EQ(number(office, "paperHeight"), 297.0);
  EXPECT_EQ(paperNames(office),
            (std::vector<std::string>{"Letter", "A4", "w288h432", "A6", "Custom.WIDTHxHEIGHT"}));
}

// Tests a queue without a description (named by its queue name) and a raw queue with no
// driver: no default media gives paper of zero by zero, and no paper sizes.
TEST(DirectoryListingEndToEnd, QueueWithoutDriverOrDescription) {
  ASSERT_EQ(runShell("/usr/sbin/lpadmin -p Raw_Queue -E -v file:///dev/null").status, 0);
  CupsPrintingServices services;
  const ValueList records = printerList(services);
  runShell("/usr/sbin/lpadmin -x Raw_Queue");
  ASSERT_EQ(records.size(), 3u);
  const Value& raw = records[2];
  EXPECT_EQ(field(raw, "name"), Value("Raw_Queue"));
  EXPECT_EQ(field(raw, "cupsName"), Value("Raw_Queue"));
  EXPECT_EQ(number(raw, "paperWidth"), 0.0);
  EXPECT_EQ(number(raw, "paperHeight"), 0.0);
  EXPECT_EQ(field(raw, "paperSizes"), Value(ValueList{}));
}

// Tests that with cupsd stopped the listing still answers a list and the host goes on
// to answer normally once the scheduler is back.
TEST(DirectoryListingEndToEnd, SchedulerDownStillAnswersAList) {
  CupsPrintingServices services;
  sandbox().stopDaemon();
  ::testing::internal::CaptureStdout();
  const ValueList whileDown = printerList(services);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  sandbox().startDaemon();
  EXPECT_TRUE(whileDown.empty());
  EXPECT_EQ(printed, "");  // the tools started; they complained on their error stream
  EXPECT_EQ(printerList(services).size(), 2u);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
