// The queue-name map: parsing `lpstat -lp`, running it, and the two naming rules.
#include "cups/cups_queue_map.h"

#include <gtest/gtest.h>

#include "unit/cups/canned_tools.h"

namespace tovanel {
namespace {

using Entries = std::vector<CupsQueueMap::Entry>;
using testing::CannedTools;
using testing::fixture;

const Entries kSandboxEntries{{"Office Laser", "Office_Laser"}, {"Label Printer 4x6", "Label_4x6"}};

CupsQueueMap mapOf(const Entries& entries) {
  CupsQueueMap map;
  for (const auto& entry : entries)
    map.insertOrReplace(entry.description, entry.queue);
  return map;
}

// Tests that a two-printer listing and the real sandbox listing give exactly their maps,
// and that CR LF line ends change nothing.
TEST(CupsQueueMap, ParsesCapturedListings) {
  EXPECT_EQ(parseCupsQueueMap(fixture("lpstat/two_printers.txt")).entries(), kSandboxEntries);
  EXPECT_EQ(parseCupsQueueMap(fixture("lpstat/two_printers_crlf.txt")).entries(), kSandboxEntries);
  EXPECT_EQ(parseCupsQueueMap(fixture("lpstat/sandbox.txt")).entries(),
            (Entries{{"Label Printer 4x6", "Label_4x6"}, {"Office Laser", "Office_Laser"}}));
}

// Tests the line rules one by one: which lines set the queue, which give entries, and
// how keys are cut and trimmed.
TEST(CupsQueueMap, LineRules) {
  const struct {
    const char* why;
    std::string text;
    Entries expected;
  } cases[] = {
      {"empty output", "", {}},
      {"later description wins",
       "printer A x\n\tDescription: Same\nprinter B x\n\tDescription: Same\n",
       {{"Same", "B"}}},
      {"description before any printer line is dropped", "\tDescription: Early\nprinter A x\n", {}},
      {"two spaces after printer empty the queue until the next printer line",
       "printer A x\n\tDescription: One\nprinter  B\n\tDescription: Two\nprinter C\n"
       "\tDescription: Three\n",
       {{"One", "A"}, {"Three", "C"}}},
      {"a printer line with nothing after the space empties the queue",
       "printer A\nprinter \n\tDescription: Lost\n",
       {}},
      {"spaces instead of a tab keep the label",
       "printer A\n    Description: Office Laser\n",
       {{"Description: Office Laser", "A"}}},
      {"no space after the colon keeps the label",
       "printer A\n\tDescription:Office\n",
       {{"Description:Office", "A"}}},
      {"nothing after the label gives the empty key", "printer A\n\tDescription: \n", {{"", "A"}}},
      {"inner spaces stay, outer spaces, tabs and no-break spaces go",
       "printer A\n\tDescription:  Front  Desk \t\u00a0\n",
       {{"Front  Desk", "A"}}},
      {"every label on the line goes, in one pass",
       "printer A\n\tDescription: One\tDescription: Two\n",
       {{"OneTwo", "A"}}},
      {"Description: anywhere in the line counts",
       "printer A\n\tLocation: Description: x\n",
       {{"Location: Description: x", "A"}}},
      {"the queue is never cleared",
       "printer A\n\tLocation: Hall\n\n\tDescription: Far\n",
       {{"Far", "A"}}},
      {"printer lines are case-sensitive and need the space",
       "printer A\nPrinter B\nprinter\n\tDescription: Still A\n",
       {{"Still A", "A"}}},
      {"a printer line is not looked at further", "printer Description: x\n", {}},
      {"every newline character ends a line",
       "printer A\v\tDescription: One\u2028printer B\u0085\tDescription: Two\r",
       {{"One", "A"}, {"Two", "B"}}},
      {"several descriptions may share a queue",
       "printer A\n\tDescription: One\n\tDescription: Two\n",
       {{"One", "A"}, {"Two", "A"}}},
      {"canonically equivalent descriptions are one key",
       "printer A\n\tDescription: Caf\u00e9\nprinter B\n\tDescription: Cafe\u0301\n",
       {{"Caf\u00e9", "B"}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parseCupsQueueMap(c.text).entries(), c.expected) << c.why;
}

// Tests that the map is read with the right request, and that its failures give the
// empty map: a tool that does not start with exactly one diagnostic line, unreadable
// output silently. A failing exit status does not matter.
TEST(CupsQueueMap, GetCupsMappingRunsLpstat) {
  CannedTools tools;
  tools.answer("lpstat -lp", CannedTools::output(fixture("lpstat/two_printers.txt"), 1));
  EXPECT_EQ(getCupsMapping(tools.runner()).entries(), kSandboxEntries);
  ASSERT_EQ(tools.requests.size(), 1u);
  const auto& request = tools.requests[0];
  EXPECT_EQ(request.toolPath, "/usr/bin/lpstat");
  EXPECT_EQ(request.arguments, std::vector<std::string>{"-lp"});
  EXPECT_TRUE(request.captureOutput);
  EXPECT_FALSE(request.separateError);
  EXPECT_FALSE(request.waitForExit);

  const struct {
    CommandResult result;
    std::string printed;
  } failures[] = {
      {CannedTools::notStarted("/usr/bin/lpstat"),
       "Error getting CUPS mapping: Could not start /usr/bin/lpstat: No such file or directory "
       "(posix_spawn failed, errno 2 ENOENT)\n"},
      {CannedTools::notUtf8(), ""},
      {CannedTools::output(""), ""},
  };
  for (const auto& failure : failures) {
    tools.answer("lpstat -lp", failure.result);
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(getCupsMapping(tools.runner()).empty());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), failure.printed);
  }
}

// Tests that a listing stopped at the time limit says so and gives the empty map
// rather than a map of whatever had been written.
TEST(CupsQueueMap, TimedOutListingIsReported) {
  CannedTools tools;
  auto stopped = CannedTools::output("printer A\n\tDescription: Half\n");
  stopped.outputText.reset();
  stopped.timedOut = true;
  tools.answer("lpstat -lp", stopped);
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(getCupsMapping(tools.runner()).empty());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Error getting CUPS mapping: /usr/bin/lpstat was still running after 120 seconds "
            "and was stopped\n");
}

// Tests both naming rules side by side, where they agree and where they differ.
TEST(CupsQueueMap, NamingRules) {
  const CupsQueueMap map = mapOf({{"Office Printer", "Office_Printer"},
                                  {"Warehouse Labels", "WH_LABELS_1"},
                                  {"Old Name", "office_laser"},
                                  {"\u00c9tiquettes", "\u00e9tiquettes_zone"}});
  const CupsQueueMap empty;
  const struct {
    const CupsQueueMap& map;
    std::string displayName;
    std::string resolved;
    std::string matched;
  } cases[] = {
      {map, "Office Printer", "Office_Printer", "Office_Printer"},
      {map, "Warehouse Labels", "WH_LABELS_1", "WH_LABELS_1"},      // the map's value, verbatim
      {map, "office printer", "office_printer", "Office_Printer"},  // lower-cased match
      {map, "OFFICE_PRINTER", "OFFICE_PRINTER", "Office_Printer"},
      {map, "Office Laser", "Office_Laser", "office_laser"},
      {map, "\u00c9TIQUETTES ZONE", "\u00c9TIQUETTES_ZONE", "\u00e9tiquettes_zone"},
      {map, "Front Desk Laser", "Front_Desk_Laser", "Front Desk Laser"},  // no match: unchanged
      {map, "Tab\tand\u00a0NBSP stay", "Tab\tand\u00a0NBSP_stay", "Tab\tand\u00a0NBSP stay"},
      {map, "NoSpaces", "NoSpaces", "NoSpaces"},
      {map, "Office Printer ", "Office_Printer_", "Office Printer "},  // no trimming
      {map, "", "", ""},
      {map, "Cafe\u0301", "Cafe\u0301", "Cafe\u0301"},
      {empty, "Office Printer", "Office_Printer", "Office Printer"},
      {empty, "office_laser", "office_laser", "office_laser"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(resolveCupsName(c.displayName, c.map), c.resolved) << c.displayName;
    EXPECT_EQ(matchCupsName(c.displayName, c.map), c.matched) << c.displayName;
  }
}

// Tests that lookups treat canonically equivalent names as the same key.
TEST(CupsQueueMap, LookupsFollowTextEquality) {
  const CupsQueueMap map = mapOf({{"Caf\u00e9 Labels", "Cafe_Labels"}});
  EXPECT_EQ(resolveCupsName("Cafe\u0301 Labels", map), "Cafe_Labels");
  EXPECT_EQ(matchCupsName("Cafe\u0301 Labels", map), "Cafe_Labels");
  EXPECT_EQ(resolveCupsName("caf\u00e9 labels", map), "caf\u00e9_labels");
}

}  // namespace
}  // namespace tovanel
