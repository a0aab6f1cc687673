// The CUPS tools' room: the queue-name map, paper sizes and their query, and runCommand
// against real programs.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "cups/command.h"
#include "cups/cups_queue_map.h"
#include "cups/paper_size_query.h"
#include "cups/paper_sizes.h"
#include "support/canned_tools.h"
#include "support/process_probe.h"
#include "support/rows.h"
#include "support/temporary_folder.h"

namespace tovanel {

inline void PrintTo(const CupsQueueMap::Entry& entry, std::ostream* out) {
  *out << entry.description << " -> " << entry.queue;
}

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using ::testing::HasSubstr;
using Entries = std::vector<CupsQueueMap::Entry>;

// Tests that a line sets the queue, gives an entry or cuts a key only as lpstat means it.
TEST(CupsQueueMap, LineRules) {
  // clang-format off
  const testing::Row<const char*, Entries> rows[] = {
      {.name = "no queue yet; a printer line",
       .in = "\tDescription: Early\nprinter A x\nprinter Description: x\n"},
      {.name = "a queue of two blanks",
       .in = "printer A\n\tDescription: One\nprinter  B\n\tDescription: Two\n",
       .expect = {{"One", "A"}}},
      {.name = "the label cut each time",
       .in = "printer A\n    Description: One\tDescription: Two\n",
       .expect = {{"Description: OneTwo", "A"}}},
      {.name = "trimmed, after lines that set no queue",
       .in = "printer A\nPrinter B\nprinter\n\n\tDescription:  Front  Desk \t\u00a0\n",
       .expect = {{"Front  Desk", "A"}}},
      {.name = "CR LF; canonical keys",
       .in = "printer A x\r\n\tDescription: Caf\u00e9\r\nprinter B x\r\n\tDescription: "
             "Cafe\u0301\r\n",
       .expect = {{"Caf\u00e9", "B"}}},
      {.name = "the marker's word without the marker, no blank after it",
       .in = "printer A\n\tDescriptions follow\n\tDescription:Lab\n\tDescription: \n",
       .expect = {{"Description:Lab", "A"}, {"", "A"}}},
      {.name = "the printer word without its blank",
       .in = "printerB x\n\tDescription: One\nprinter\tC\n\tDescription: Two\n"}};
  // clang-format on
  testing::expectRows(rows, [](const char* lpstat) { return parseCupsQueueMap(lpstat).entries(); });
}

// Tests that each naming rule finds the queue it should where the two rules differ.
TEST(CupsQueueMap, NamingRules) {
  CupsQueueMap map;
  map.insertOrReplace("Office Printer", "Office_Printer");
  map.insertOrReplace("Caf\u00e9 Labels", "Cafe_Labels");
  map.insertOrReplace("Trail", "Trail_1");
  // clang-format off
  const struct {
    const char *name = "", *resolved = "", *matched = "";
  } rows[] = {
      {.name = "office printer", .resolved = "office_printer", .matched = "Office_Printer"},
      {.name = "Office\tand\u00a0Printer ", .resolved = "Office\tand\u00a0Printer_",
       .matched = "Office\tand\u00a0Printer "},
      {.name = "Cafe\u0301 Labels", .resolved = "Cafe_Labels", .matched = "Cafe_Labels"},
      // A description read as "Trail" names its queue also with the blank it was listed with.
      {.name = "Trail ", .resolved = "Trail_1", .matched = "Trail_1"}};
  // clang-format on
  testing::forEachRow(rows, [&map](const auto& row) {
    EXPECT_EQ(resolveCupsName(row.name, map), row.resolved);
    EXPECT_EQ(matchCupsName(row.name, map), row.matched);
  });
}

// Tests that a keyword measures by the table before the custom form, and odd forms measure 0.
TEST(PaperSizes, KeywordForms) {
  const testing::Row<std::string, PaperDimensions> rows[] = {
      {.name = "a name", .in = "Env10", .expect = {104.78, 241.3}},
      {.name = "a name in another case", .in = "4x6.BL", .expect = {101.6, 152.4}},
      {.name = "a custom size in the table", .in = "W162H288", .expect = {57.15, 101.6}},
      {.name = "unrounded", .in = "w100h612", .expect = {35.27777777777778, 215.89999999999998}},
      {.name = "as strtod reads", .in = "w0x48h1e2", .expect = {72 * 25.4 / 72, 100 * 25.4 / 72}},
      {.name = "signed", .in = "w+72h-72", .expect = {25.4, -25.4}},
      {.name = "a NUL", .in = "w1h2\0"s},
      {.name = "no h", .in = "w100"},
      {.name = "no height", .in = "w100h"},
      {.name = "no width", .in = "wh100"},
      {.name = "a blank before a number", .in = "w 100h150"},
      {.name = "a unit after", .in = "w100h150mm"},
      {.name = "a decimal comma", .in = "w1,5h30"},
      {.name = "too large", .in = "w1e400h10"},
      {.name = "too small", .in = "w1e-400h10"},
      {.name = "empty", .in = ""},
      {.name = "a w that lower-cases to w", .in = "\u0175100h100"}};
  testing::expectRows(rows, paperSizeDimensions);
}

// Tests that sizes come from the first size line, between its first two colons, cut right.
TEST(PaperSizeQuery, OptionLineRules) {
  // clang-format off
  const testing::Row<const char*, std::vector<std::string>> rows[] = {
      {.name = "after another option, CR LF",
       .in = "Resolution/x: *300dpi\r\nPageSize/x: Letter *A4\r\n", .expect = {"Letter", "A4"}},
      {.name = "every blank and star", .in = "PageSize/x: \t *A*4 ** \t\t Letter  \u00a0A5 \n",
       .expect = {"A4", "Letter", "A5"}},
      {.name = "the first line", .in = "PageSizeExtra/x: A6\nPageSize/x: A4\n", .expect = {"A6"}},
      {.name = "MediaSize", .in = "MediaSize/x: A3\nPageSize/x: A4\n", .expect = {"A3"}},
      {.name = "led by a blank, inside, lower case",
       .in = " PageSize/x: A4\nResolution: PageSize\npagesize/x: A4\n"},
      {.name = "no colon", .in = "PageSize A4 Letter\nMediaSize/x: A5\n"},
      {.name = "a second colon", .in = "PageSize/Media: A4 Letter: Legal\n",
       .expect = {"A4", "Letter"}},
      {.name = "a prefix of the word", .in = "PageSiz/x: A4\nMediaSiz/x: A5\nPageSize/x: A6\n",
       .expect = {"A6"}}};
  // clang-format on
  testing::expectRows(rows, parsePaperSizeKeywords);
}

// How a test runs a tool: unless it says otherwise, its output read, its errors apart, and
// waited for.
struct How {
  bool capture = true, separateError = true, wait = true;
  std::chrono::milliseconds limit = kToolTimeLimit;
};
CommandResult run(const std::vector<std::string>& command, How how = {}) {
  const std::vector<std::string> arguments(command.begin() + 1, command.end());
  return runCommand(
      {command.front(), arguments, how.capture, how.separateError, how.wait, how.limit});
}

const auto noChildren = [] { return testing::childrenOf(getpid()).empty(); };

// Tests that a tool starts as given, clean of signals and descriptors, and leaves nothing behind.
TEST(RunCommand, ToolStartsCleanAndLeavesNothingBehind) {
  run({"/bin/true"}, {.wait = false});  // lets one-time set-up happen
  ASSERT_TRUE(testing::eventually(noChildren));
  const auto descriptors = [] { return testing::openDescriptors(getpid()).size(); };
  const size_t before = descriptors();
  // Each named by what the launch error says.
  // clang-format off
  const struct {
    const char* name = "";
    std::vector<std::string> command = {};
  } refusals[] = {
      {.name = "Could not start /nonexistent/lpstat: No such file or directory "
               "(posix_spawn failed, errno 2 ENOENT)", .command = {"/nonexistent/lpstat"}},
      {.name = "not absolute (checking the request failed, errno 22 EINVAL)", .command = {"true"}},
      {.name = "NUL character (checking the request failed, errno 22 EINVAL)",
       .command = {"/usr/bin/printf", "A\0x"s}}};
  // clang-format on
  testing::forEachRow(refusals, [](const auto& row) {
    const auto error = run(row.command).launchError;
    EXPECT_THAT(error ? error->fullDescription() : "launched", HasSubstr(row.name));
  });
  EXPECT_EQ(run({"/usr/bin/printf", "[%s]", "a b", "$(id)", "*", "", "it's"}).outputText,
            "[a b][$(id)][*][][it's]");
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  const int inheritable = open("/dev/null", O_RDONLY);
  // Signals 1 to 31 not ignored; glibc spawns with its own two real-time signals ignored.
  EXPECT_EQ(run({"/usr/bin/grep", "-c", "^SigIgn:\t[0-9a-f]*[08]0000000$", "/proc/self/status"})
                .outputText,
            "1\n");
  EXPECT_EQ(run({"/bin/ls", "/proc/self/fd"}).outputText, "0\n1\n2\n3\n");
  close(inheritable);
  std::signal(SIGPIPE, previous);
  for (int i = 0; i < 1000; ++i) {
    const How how{.capture = i % 2 == 0, .separateError = i % 3 == 0, .wait = i % 5 != 0};
    ASSERT_TRUE(run({"/bin/true"}, how).launched);
  }
  EXPECT_TRUE(testing::eventually(noChildren));
  EXPECT_TRUE(testing::eventually([&] { return descriptors() == before; }))
      << descriptors() << " of " << before;
}

// Tests that output is whole UTF-8 text of standard output only, empty when nothing came.
TEST(RunCommand, OutputIsTheWholeTextOfStandardOutput) {
  // clang-format off
  const struct {
    const char* name = "";
    std::vector<std::string> command = {};
    How how = {};
    std::optional<std::string> expect = {};
  } rows[] = {
      {.name = "nothing", .command = {"/bin/true"}, .how = {.separateError = false}, .expect = ""},
      {.name = "nothing, not waited for", .command = {"/bin/true"},
       .how = {.separateError = false, .wait = false}, .expect = ""},
      {.name = "cut inside a character", .command = {"/usr/bin/printf", "ok\\303"}},
      {.name = "a whole character", .command = {"/usr/bin/printf", "\\303\\251"},
       .expect = "\u00e9"},
      {.name = "beside 10 MiB of errors",
       .command = {"/bin/sh", "-c", "head -c 10485760 /dev/zero >&2; echo finished"},
       .how = {.limit = 60s}, .expect = "finished\n"}};
  // clang-format on
  testing::forEachRow(
      rows, [](const auto& row) { EXPECT_EQ(run(row.command, row.how).outputText, row.expect); });
}

// Tests that a tool past its time limit is killed with what it started, its output dropped.
TEST(RunCommand, ToolPastTheTimeLimitIsStoppedWithItsChildren) {
  const testing::TemporaryFolder folder;
  const std::string pidFile = folder.file("grandchild");
  // clang-format off
  const struct {
    const char* name = "";
    How in = {};
  } rows[] = {{.name = "output read, waited for", .in = {.limit = 200ms}},
              {.name = "not waited for", .in = {.wait = false, .limit = 200ms}},
              {.name = "output not read", .in = {.capture = false, .limit = 200ms}}};
  // clang-format on
  testing::forEachRow(rows, [&pidFile](const auto& row) {
    const auto result =
        run({"/bin/sh", "-c", "sleep 30 & echo $! >" + pidFile + "; echo partial; exec sleep 30"},
            row.in);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.outputText, std::nullopt);
    EXPECT_EQ(result.exitStatus, 9);
    EXPECT_TRUE(noChildren());
    const pid_t grandchild = std::stoi(testing::readFile(pidFile));
    EXPECT_TRUE(testing::eventually([&] { return kill(grandchild, 0) != 0; })) << grandchild;
  });
}

}  // namespace
}  // namespace tovanel
