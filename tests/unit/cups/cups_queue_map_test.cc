// The queue-name map: parsing `lpstat -lp`, and the two naming rules.
#include "cups/cups_queue_map.h"

#include <gtest/gtest.h>

namespace tovanel {
namespace {

using Entries = std::vector<CupsQueueMap::Entry>;

// Tests that a line sets the queue, gives an entry or cuts a key only as lpstat means it.
TEST(CupsQueueMap, LineRules) {
  const std::tuple<std::string, Entries> cases[] = {
      {"\tDescription: Early\nprinter A x\nprinter Description: x\n", {}},
      {"printer A\n\tDescription: One\nprinter  B\n\tDescription: Two\n", {{"One", "A"}}},
      {"printer A\n    Description: One\tDescription: Two\n", {{"Description: OneTwo", "A"}}},
      {"printer A\nPrinter B\nprinter\n\n\tDescription:  Front  Desk \t\u00a0\n",
       {{"Front  Desk", "A"}}},
      {"printer A x\r\n\tDescription: Caf\u00e9\r\nprinter B x\r\n\tDescription: Cafe\u0301\r\n",
       {{"Caf\u00e9", "B"}}},
      // Near misses: the marker's word without the marker.
      {"printer A\n\tDescriptions follow\n\tDescription:Lab\n\tDescription: \n",
       {{"Description:Lab", "A"}, {"", "A"}}},
      {"printerB x\n\tDescription: One\nprinter\tC\n\tDescription: Two\n", {}}};
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(parseCupsQueueMap(text).entries(), expected) << text;
}

// Tests that each naming rule finds the queue it should where the two rules differ.
TEST(CupsQueueMap, NamingRules) {
  CupsQueueMap map;
  map.insertOrReplace("Office Printer", "Office_Printer");
  map.insertOrReplace("Caf\u00e9 Labels", "Cafe_Labels");
  map.insertOrReplace("Trail", "Trail_1");
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"office printer", "office_printer", "Office_Printer"},
      {"Office\tand\u00a0Printer ", "Office\tand\u00a0Printer_", "Office\tand\u00a0Printer "},
      {"Cafe\u0301 Labels", "Cafe_Labels", "Cafe_Labels"},
      // A description read as "Trail" names its queue also with the blank it was listed with.
      {"Trail ", "Trail_1", "Trail_1"}};
  for (const auto& [displayName, resolved, matched] : cases)
    EXPECT_EQ(std::pair(resolveCupsName(displayName, map), matchCupsName(displayName, map)),
              std::pair(resolved, matched));
}

}  // namespace
}  // namespace tovanel
