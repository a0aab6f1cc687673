// The CUPS tools' room: the queue-name map, paper sizes and their query, and runCommand
// against real programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "cups/command.h"
#include "cups/cups_queue_map.h"
#include "cups/paper_size_query.h"
#include "cups/paper_sizes.h"
#include "support/canned_tools.h"
#include "support/process_probe.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
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

CommandResult run(std::string tool, std::vector<std::string> arguments, bool capture = true,
                  bool separateError = true, bool wait = true,
                  std::chrono::milliseconds limit = kToolTimeLimit) {
  return runCommand({std::move(tool), std::move(arguments), capture, separateError, wait, limit});
}

const auto noChildren = [] { return testing::childrenOf(getpid()).empty(); };

// Tests that a tool starts as given, clean of signals and descriptors, and leaves nothing behind.
TEST(RunCommand, ToolStartsCleanAndLeavesNothingBehind) {
  run("/bin/true", {}, true, true, false);  // lets one-time set-up happen
  ASSERT_TRUE(testing::eventually(noChildren));
  const auto descriptors = [] { return testing::openDescriptors(getpid()).size(); };
  const size_t before = descriptors();
  EXPECT_EQ(run("/nonexistent/lpstat", {"-lp"}).launchError.value().fullDescription(),
            "Could not start /nonexistent/lpstat: No such file or directory "
            "(posix_spawn failed, errno 2 ENOENT)");
  for (const auto& refused : {run("true", {}), run("/usr/bin/printf", {std::string("A\0x", 3)})})
    EXPECT_TRUE(!refused.launched && refused.launchError.value().errorNumber == EINVAL);
  EXPECT_EQ(run("/usr/bin/printf", {"[%s]", "a b", "$(id)", "*", "", "it's"}).outputText,
            "[a b][$(id)][*][][it's]");
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  const int inheritable = open("/dev/null", O_RDONLY);
  // Signals 1 to 31 not ignored; glibc spawns with its own two real-time signals ignored.
  EXPECT_EQ(run("/usr/bin/grep", {"-c", "^SigIgn:\t[0-9a-f]*[08]0000000$", "/proc/self/status"})
                .outputText,
            "1\n");
  EXPECT_EQ(run("/bin/ls", {"/proc/self/fd"}).outputText, "0\n1\n2\n3\n");
  close(inheritable);
  std::signal(SIGPIPE, previous);
  for (int i = 0; i < 1000; ++i)
    ASSERT_TRUE(run("/bin/true", {}, i % 2 == 0, i % 3 == 0, i % 5 != 0).launched);
  EXPECT_TRUE(testing::eventually(noChildren));
  EXPECT_TRUE(testing::eventually([&] { return descriptors() == before; }))
      << descriptors() << " of " << before;
}

// Tests that output is whole UTF-8 text of standard output only, empty when nothing came.
TEST(RunCommand, OutputIsTheWholeTextOfStandardOutput) {
  for (const bool wait : {true, false})
    EXPECT_EQ(run("/bin/true", {}, true, false, wait).outputText, "");
  for (const auto& [bytes, valid] : {std::pair{"ok\\303", false}, {"\\303\\251", true}})
    EXPECT_EQ(run("/usr/bin/printf", {bytes}).outputText.has_value(), valid) << bytes;
  const auto flooded = run("/bin/sh", {"-c", "head -c 10485760 /dev/zero >&2; echo finished"}, true,
                           true, true, 60s);
  EXPECT_EQ(flooded.outputText, "finished\n");
}

// Tests that a tool past its time limit is killed with what it started, its output dropped.
TEST(RunCommand, ToolPastTheTimeLimitIsStoppedWithItsChildren) {
  const testing::TemporaryFolder folder;
  const std::string pidFile = folder.file("grandchild");
  for (const auto& [capture, wait] : {std::pair{true, true}, {true, false}, {false, true}}) {
    const auto result =
        run("/bin/sh", {"-c", "sleep 30 & echo $! >" + pidFile + "; echo partial; exec sleep 30"},
            capture, true, wait, 200ms);
    EXPECT_TRUE(result.timedOut && !result.outputText && result.exitStatus == 9);
    EXPECT_TRUE(noChildren());
    const pid_t grandchild = std::stoi(testing::readFile(pidFile));
    EXPECT_TRUE(testing::eventually([&] { return kill(grandchild, 0) != 0; })) << grandchild;
  }
}

}  // namespace
}  // namespace tovanel
