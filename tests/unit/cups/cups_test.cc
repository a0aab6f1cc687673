// Paper sizes: keywords to millimetres, and the query of a queue's sizes.
#include "cups/paper_sizes.h"

#include <gtest/gtest.h>

#include "cups/paper_size_query.h"
#include "support/canned_tools.h"

namespace tovanel {
namespace {

using namespace std::string_literals;

// Tests that a keyword measures by the table before the custom form, and odd forms measure 0.
TEST(PaperSizes, KeywordForms) {
  const std::pair<std::string, PaperDimensions> cases[] = {
      {"Env10", {104.78, 241.3}},
      {"4x6.BL", {101.6, 152.4}},
      {"W162H288", {57.15, 101.6}},
      {"w100h612", {35.27777777777778, 215.89999999999998}},
      {"w0x48h1e2", {72 * 25.4 / 72, 100 * 25.4 / 72}},
      {"w+72h-72", {25.4, -25.4}}};
  for (const auto& [keyword, expected] : cases)
    EXPECT_EQ(paperSizeDimensions(keyword), expected) << keyword;
  for (const std::string& keyword :
       {"w1h2\0"s, "w100"s, "w100h"s, "wh100"s, "w 100h150"s, "w100h150mm"s, "w1,5h30"s,
        "w1e400h10"s, "w1e-400h10"s, ""s, "\u0175100h100"s})
    EXPECT_EQ(paperSizeDimensions(keyword), PaperDimensions{}) << keyword;
}

// Tests that sizes come from the first size line, between its first two colons, cut right.
TEST(PaperSizeQuery, OptionLineRules) {
  const std::tuple<std::string, std::vector<std::string>> cases[] = {
      {"Resolution/x: *300dpi\r\nPageSize/x: Letter *A4\r\n", {"Letter", "A4"}},
      {"PageSize/x: \t *A*4 ** \t\t Letter  \u00a0A5 \n", {"A4", "Letter", "A5"}},
      {"PageSizeExtra/x: A6\nPageSize/x: A4\n", {"A6"}},
      {"MediaSize/x: A3\nPageSize/x: A4\n", {"A3"}},
      {" PageSize/x: A4\nResolution: PageSize\npagesize/x: A4\n", {}},
      {"PageSize A4 Letter\nMediaSize/x: A5\n", {}},
      {"PageSize/Media: A4 Letter: Legal\n", {"A4", "Letter"}},
      {"PageSiz/x: A4\nMediaSiz/x: A5\nPageSize/x: A6\n", {"A6"}}};
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(parsePaperSizeKeywords(text), expected) << text;
}

// Tests sizes of the mapped queue, else of the underscored name, and one line per failing tool.
TEST(PaperSizeQuery, SizesOfTheMappedQueue) {
  const auto map = testing::output("printer OL\n\tDescription: Office Laser\n");
  const auto a4 = testing::output("PageSize/Media Size: *A4\n", 1);
  const std::string lpstat = "/usr/bin/lpstat", lpoptions = "/usr/bin/lpoptions";
  const std::string mapping = "Error getting CUPS mapping: ",
                    query = "Error querying paper sizes for Office Laser: ";
  const std::string absent = ": No such file or directory (posix_spawn failed, errno 2 ENOENT)\n";
  const std::string stopped = " was still running after 120 seconds and was stopped\n";
  const std::tuple<CommandResult, CommandResult, std::string> cases[] = {
      {map, a4, ""},
      {testing::notStarted(lpstat), a4, mapping + "Could not start " + lpstat + absent},
      {testing::kNotUtf8, testing::kTimedOut, query + lpoptions + stopped},
      {testing::kTimedOut, testing::notStarted(lpoptions),
       mapping + lpstat + stopped + query + "Could not start " + lpoptions + absent},
      {map, testing::kNotUtf8, ""}};
  for (const auto& [mapped, sized, printed] : cases) {
    testing::CannedTools tools;
    tools.answers = {{"lpstat -lp", mapped},
                     {"lpoptions -p OL -l", sized},
                     {"lpoptions -p Office_Laser -l", sized}};
    ::testing::internal::CaptureStdout();
    const ValueList sizes = queryPaperSizes(tools.runner(), "Office Laser");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), printed);
    const ValueMap a4Entry{{"name", "A4"}, {"width", 210.0}, {"height", 297.0}};
    EXPECT_EQ(sizes, sized.outputText ? ValueList{a4Entry} : ValueList{});
    const CommandRequest& request = tools.requests.at(1);
    EXPECT_EQ(request.arguments[1], mapped.outputText ? "OL" : "Office_Laser");
    EXPECT_TRUE(request.captureOutput && request.separateError && request.waitForExit);
  }
}

}  // namespace
}  // namespace tovanel
