// The queue-name map: parsing `lpstat -lp`, running it, and the two naming rules.
#include "cups/cups_queue_map.h"

#include <gtest/gtest.h>

#include "unit/cups/canned_tools.h"

namespace tovanel {
namespace {

using Entries = std::vector<CupsQueueMap::Entry>;
using testing::CannedTools;
using testing::fixture;

const Entries kTwoPrinters{{"Office Laser", "Office_Laser"}, {"Label Printer 4x6", "Label_4x6"}};

// Tests the worked example, with LF and with CR LF line ends.
TEST(CupsQueueMap, ParsesTheWorkedExample) {
  EXPECT_EQ(parseCupsQueueMap(fixture("lpstat/two_printers.txt")).entries(), kTwoPrinters);
  EXPECT_EQ(parseCupsQueueMap(fixture("lpstat/two_printers_crlf.txt")).entries(), kTwoPrinters);
}

// Tests the line rules: which lines set the queue, which give entries, how keys are cut.
TEST(CupsQueueMap, LineRules) {
  const struct {
    const char* why;
    std::string text;
    Entries expected;
  } cases[] = {
      {"later description wins",
       "printer A x\n\tDescription: Same\nprinter B x\n\tDescription: Same\n",
       {{"Same", "B"}}},
      {"description before any printer line is dropped", "\tDescription: Early\nprinter A x\n", {}},
      {"two spaces after printer empty the queue until the next printer line",
       "printer A x\n\tDescription: One\nprinter  B\n\tDescription: Two\nprinter C\n"
       "\tDescription: Three\n",
       {{"One", "A"}, {"Three", "C"}}},
      {"spaces instead of a tab keep the label",
       "printer A\n    Description: Office Laser\n",
       {{"Description: Office Laser", "A"}}},
      {"nothing after the label gives the empty key", "printer A\n\tDescription: \n", {{"", "A"}}},
      {"inner spaces stay, outer spaces, tabs and no-break spaces go",
       "printer A\n\tDescription:  Front  Desk \t\u00a0\n",
       {{"Front  Desk", "A"}}},
      {"every label on the line goes, in one pass",
       "printer A\n\tDescription: One\tDescription: Two\n",
       {{"OneTwo", "A"}}},
      {"other lines leave the queue",
       "printer A\n\tLocation: Hall\n\n\tDescription: Far\n",
       {{"Far", "A"}}},
      {"printer lines are case-sensitive and need the space",
       "printer A\nPrinter B\nprinter\n\tDescription: Still A\n",
       {{"Still A", "A"}}},
      {"a printer line is not looked at further", "printer Description: x\n", {}},
      {"canonically equivalent descriptions are one key",
       "printer A\n\tDescription: Caf\u00e9\nprinter B\n\tDescription: Cafe\u0301\n",
       {{"Caf\u00e9", "B"}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parseCupsQueueMap(c.text).entries(), c.expected) << c.why;
}

// Tests the request that reads the map, and that failures give the empty map.
TEST(CupsQueueMap, GetCupsMappingRunsLpstat) {
  CannedTools tools;
  tools.answer("lpstat -lp", CannedTools::output(fixture("lpstat/two_printers.txt"), 1));
  EXPECT_EQ(getCupsMapping(tools.runner()).entries(), kTwoPrinters);
  ASSERT_EQ(tools.requests.size(), 1u);
  const auto& request = tools.requests[0];
  EXPECT_EQ(request.toolPath, "/usr/bin/lpstat");
  EXPECT_EQ(request.arguments, std::vector<std::string>{"-lp"});
  EXPECT_TRUE(request.captureOutput);
  EXPECT_FALSE(request.separateError);
  EXPECT_FALSE(request.waitForExit);

  auto stopped = CannedTools::output("printer A\n\tDescription: Half\n");
  stopped.timedOut = true;
  const struct {
    CommandResult result;
    std::string printed;
  } failures[] = {
      {CannedTools::notStarted("/usr/bin/lpstat"),
       "Error getting CUPS mapping: Could not start /usr/bin/lpstat: No such file or directory "
       "(posix_spawn failed, errno 2 ENOENT)\n"},
      {CannedTools::notUtf8(), ""},
      {stopped,
       "Error getting CUPS mapping: /usr/bin/lpstat was still running after 120 seconds and "
       "was stopped\n"},
  };
  for (const auto& failure : failures) {
    tools.answer("lpstat -lp", failure.result);
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(getCupsMapping(tools.runner()).empty());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), failure.printed);
  }
}

// Tests both naming rules side by side, where they agree and where they differ.
TEST(CupsQueueMap, NamingRules) {
  CupsQueueMap map;
  map.insertOrReplace("Office Printer", "Office_Printer");
  map.insertOrReplace("\u00c9tiquettes", "\u00e9tiquettes_zone");
  map.insertOrReplace("Caf\u00e9 Labels", "Cafe_Labels");
  const struct {
    std::string displayName;
    std::string resolved;
    std::string matched;
  } cases[] = {
      {"Office Printer", "Office_Printer", "Office_Printer"},
      {"office printer", "office_printer", "Office_Printer"},  // lower-cased match
      {"\u00c9TIQUETTES ZONE", "\u00c9TIQUETTES_ZONE", "\u00e9tiquettes_zone"},
      {"Front Desk Laser", "Front_Desk_Laser", "Front Desk Laser"},  // no match: unchanged
      {"Tab\tand\u00a0NBSP stay", "Tab\tand\u00a0NBSP_stay", "Tab\tand\u00a0NBSP stay"},
      {"Office Printer ", "Office_Printer_", "Office Printer "},  // no trimming
      {"Cafe\u0301 Labels", "Cafe_Labels", "Cafe_Labels"},        // canonically equal
  };
  for (const auto& c : cases) {
    EXPECT_EQ(resolveCupsName(c.displayName, map), c.resolved) << c.displayName;
    EXPECT_EQ(matchCupsName(c.displayName, map), c.matched) << c.displayName;
  }
}

}  // namespace
}  // namespace tovanel
