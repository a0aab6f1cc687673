// runCommand against real programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <thread>

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

// Polls `condition` for up to ten seconds.
bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 2000 && !condition(); ++i)
    std::this_thread::sleep_for(5ms);
  return condition();
}

bool noChildren() {
  return testing::childrenOf(getpid()).empty();
}

// Tests that only a tool as given starts, unchanged args, no signal ignored, no host descriptor.
TEST(RunCommand, ToolStartsCleanWithItsArgumentsUnchanged) {
  EXPECT_EQ(run("/nonexistent/lpstat", {"-lp"}).launchError.value().fullDescription(),
            "Could not start /nonexistent/lpstat: No such file or directory "
            "(posix_spawn failed, errno 2 ENOENT)");
  for (const auto& refused : {run("true", {}), run("/usr/bin/printf", {std::string("A\0x", 3)})})
    EXPECT_TRUE(!refused.launched && refused.launchError.value().errorNumber == EINVAL);
  EXPECT_TRUE(noChildren());
  EXPECT_EQ(run("/usr/bin/printf", {"[%s]", "a b", "$(id)", "*", "", "it's"}).outputText,
            "[a b][$(id)][*][][it's]");
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  const int inheritable = open("/dev/null", O_RDONLY);
  const auto ignored = run("/usr/bin/grep", {"^SigIgn:", "/proc/self/status"});
  const auto descriptors = run("/bin/ls", {"/proc/self/fd"});
  close(inheritable);
  std::signal(SIGPIPE, previous);
  // Signals 1 to 31; glibc spawns with its own two real-time signals ignored.
  EXPECT_EQ(
      std::stoull(ignored.outputText.value_or("SigIgn:\t-").substr(8), nullptr, 16) & 0x7fffffffu,
      0u);
  EXPECT_EQ(descriptors.outputText, "0\n1\n2\n3\n");
}

// Tests that output is whole UTF-8 text of standard output only, empty when nothing came.
TEST(RunCommand, OutputIsTheWholeTextOfStandardOutput) {
  for (const bool wait : {true, false})
    EXPECT_EQ(run("/bin/true", {}, true, false, wait).outputText, "");
  for (const auto& [bytes, valid] :
       {std::pair{"\\377", false}, {"ok\\303", false}, {"\\300\\257", false}, {"\\303\\251", true}})
    EXPECT_EQ(run("/usr/bin/printf", {bytes}).outputText.has_value(), valid) << bytes;
  const auto flooded = run("/bin/sh", {"-c", "head -c 10485760 /dev/zero >&2; echo finished"}, true,
                           true, true, 60s);
  EXPECT_EQ(flooded.outputText, "finished\n");
}

// Tests that a tool past its time limit is killed with what it started, its output dropped.
TEST(RunCommand, ToolPastTheTimeLimitIsStoppedWithItsChildren) {
  const std::string pidFile = "/tmp/tovanel-grandchild-" + std::to_string(getpid());
  for (const auto& [capture, wait] : {std::pair{true, true}, {true, false}, {false, true}}) {
    const auto result =
        run("/bin/sh", {"-c", "sleep 30 & echo $! >" + pidFile + "; echo partial; exec sleep 30"},
            capture, true, wait, 200ms);
    EXPECT_TRUE(result.timedOut && !result.outputText && result.exitStatus == 9);
    EXPECT_TRUE(noChildren());
    const pid_t grandchild = std::stoi(testing::readFile(pidFile));
    EXPECT_TRUE(eventually([&] { return kill(grandchild, 0) != 0; })) << grandchild;
  }
  unlink(pidFile.c_str());
}

// Tests that a thousand runs of every kind leave no zombie, no child and no descriptor.
TEST(RunCommand, ThousandRunsLeaveNothingBehind) {
  run("/bin/true", {}, true, true, false);  // lets one-time set-up happen
  ASSERT_TRUE(eventually(noChildren));
  const auto descriptors = [] { return testing::openDescriptors(getpid()).size(); };
  const size_t before = descriptors();
  for (int i = 0; i < 1000; ++i)
    ASSERT_TRUE(run("/bin/true", {}, i % 2 == 0, i % 3 == 0, i % 5 != 0).launched);
  run("/nonexistent/tool", {});
  EXPECT_TRUE(eventually(noChildren));
  EXPECT_TRUE(eventually([&] { return descriptors() == before; }))
      << descriptors() << " of " << before;
}

}  // namespace
}  // namespace tovanel
