// The queue map and "getPaperSizes" against a private cupsd, with the real lpstat and
// lpoptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "channel/printing_channel_handler.h"
#include "cups/cups_queue_map.h"
#include "cups/paper_size_query.h"
#include "platform/cups_printing_services.h"
#include "support/cups_sandbox.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::ReplyRecorder;
using testing::driverKeywords;
using testing::runShell;
using testing::sandbox;

Value entry(const std::string& name, double width, double height) {
  return ValueMap{{"name", name}, {"width", width}, {"height", height}};
}

// The "getPaperSizes" reply for `printerName`, and what the host printed meanwhile.
std::pair<MethodReply, std::string> getPaperSizes(const std::string& printerName) {
  CupsPrintingServices services;
  const PrintingChannelHandler handler(makeChannelOperations(services));
  ReplyRecorder recorder;
  ::testing::internal::CaptureStdout();
  handler.handleMethodCall(MethodCall{"getPaperSizes", ValueMap{{"printerName", printerName}}},
                           recorder.callback());
  std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(recorder.replies.size(), 1u);
  return {recorder.replies.at(0), std::move(printed)};
}

// Tests that the real listing maps both sandbox descriptions to their queues.
TEST(CupsQueriesEndToEnd, QueueMapFromTheRealLpstat) {
  const auto map = getCupsMapping(runCommand);
  ASSERT_TRUE(map.find("Label Printer 4x6"));
  EXPECT_EQ(*map.find("Label Printer 4x6"), "Label_4x6");
  ASSERT_TRUE(map.find("Office Laser"));
  EXPECT_EQ(*map.find("Office Laser"), "Office_Laser");
  EXPECT_EQ(map.entries().size(), 2u);
}

// Tests the label printer: every keyword of the Zebra driver's PageSize line, in order,
// the default's star dropped, each measured.
TEST(CupsQueriesEndToEnd, LabelPrinterPaperSizes) {
  const auto [reply, printed] = getPaperSizes("Label Printer 4x6");
  EXPECT_EQ(printed, "");
  const auto* entries = std::get_if<Value>(&reply);
  ASSERT_TRUE(entries && entries->is<ValueList>());
  const auto& list = *entries->getIf<ValueList>();

  const auto keywords = driverKeywords("Label_4x6");
  ASSERT_EQ(list.size(), keywords.size());
  ASSERT_GT(list.size(), 40u);
  for (size_t i = 0; i < list.size(); ++i)
    EXPECT_EQ(*findStringKey(*list[i].getIf<ValueMap>(), "name"), Value(keywords[i])) << i;
  EXPECT_EQ(list.front(), entry("A4", 210.0, 297.0));
  EXPECT_NE(std::find(list.begin(), list.end(), entry("w288h432", 101.6, 152.4)), list.end());
  EXPECT_NE(std::find(list.begin(), list.end(), entry("w90h18", 31.75, 6.35)), list.end());
  EXPECT_EQ(list.back(), entry("Custom.WIDTHxHEIGHT", 0.0, 0.0));
}

// Tests the office printer's own PPD, sizes and default.
TEST(CupsQueriesEndToEnd, OfficePrinterPaperSizes) {
  const auto [reply, printed] = getPaperSizes("Office Laser");
  EXPECT_EQ(printed, "");
  EXPECT_EQ(reply,
            MethodReply(Value(ValueList{entry("Letter", 215.9, 279.4), entry("A4", 210.0, 297.0),
                                        entry("w288h432", 101.6, 152.4), entry("A6", 105.0, 148.0),
                                        entry("Custom.WIDTHxHEIGHT", 0.0, 0.0)})));
}

// Tests that an unknown printer, which lpoptions only complains about on its error
// stream, gives the empty list and prints nothing.
TEST(CupsQueriesEndToEnd, UnknownPrinterGivesTheEmptyList) {
  for (const std::string name : {"No Such Printer", "", "Label_4x6 ; rm -rf /tmp/x", "-l"}) {
    const auto [reply, printed] = getPaperSizes(name);
    EXPECT_EQ(reply, MethodReply(Value(ValueList{}))) << name;
    EXPECT_EQ(printed, "") << name;
  }
}

// Tests a description with quotes and spaces, whose queue is found through the map.
TEST(CupsQueriesEndToEnd, DescriptionWithQuotesFindsItsQueue) {
  ASSERT_EQ(runShell("/usr/sbin/lpadmin -p Quoted_Queue -E -v file:///dev/null "
                     "-m drv:///sample.drv/zebra.ppd -D 'Bob'\\''s \"Labels\"'")
                .status,
            0);
  const auto [reply, printed] = getPaperSizes("Bob's \"Labels\"");
  runShell("/usr/sbin/lpadmin -x Quoted_Queue");
  const auto* entries = std::get_if<Value>(&reply);
  ASSERT_TRUE(entries && entries->is<ValueList>());
  EXPECT_EQ(entries->getIf<ValueList>()->size(), driverKeywords("Label_4x6").size());
}

// Tests that with the scheduler down the query answers the empty list and the host goes on.
TEST(CupsQueriesEndToEnd, SchedulerDownGivesTheEmptyList) {
  sandbox().stopDaemon();
  const auto [reply, printed] = getPaperSizes("Label Printer 4x6");
  sandbox().startDaemon();
  EXPECT_EQ(reply, MethodReply(Value(ValueList{})));
  EXPECT_EQ(printed, "");
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
