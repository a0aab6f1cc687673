// runCommand against real programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "cups/command.h"
#include "support/process_probe.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;

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
