// runCommand against real programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

#include "cups/command.h"
#include "support/process_probe.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;

CommandRequest request(std::string tool, std::vector<std::string> arguments, bool capture = true,
                       bool separateError = true, bool wait = true) {
  return CommandRequest{std::move(tool), std::move(arguments), capture, separateError, wait};
}

// Polls `condition` until it holds or ten seconds have passed.
bool eventually(const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

bool noChildren() {
  return testing::childrenOf(getpid()).empty();
}

// Tests that a tool that writes nothing gives empty text, not absent text.
TEST(RunCommand, ToolThatWritesNothingGivesEmptyText) {
  for (const bool wait : {true, false}) {
    const auto result = runCommand(request("/bin/true", {}, true, false, wait));
    EXPECT_TRUE(result.launched);
    EXPECT_EQ(result.outputText, "") << "wait " << wait;
  }
  EXPECT_TRUE(eventually(noChildren));
}

// Tests that a missing tool, a relative path or a NUL in an argument never start.
TEST(RunCommand, RefusesWhatCannotReachTheToolUnchanged) {
  const auto missing = runCommand(request("/nonexistent/bin/lpstat", {"-lp"}));
  EXPECT_FALSE(missing.launched);
  EXPECT_FALSE(missing.outputText);
  ASSERT_TRUE(missing.launchError);
  EXPECT_EQ(missing.launchError->shortMessage(),
            "Could not start /nonexistent/bin/lpstat: No such file or directory");
  EXPECT_EQ(missing.launchError->fullDescription(),
            "Could not start /nonexistent/bin/lpstat: No such file or directory "
            "(posix_spawn failed, errno 2 ENOENT)");
  for (const auto& refused :
       {request("true", {}), request("/usr/bin/printf", {std::string("Label_4x6\0x", 11)})}) {
    const auto result = runCommand(refused);
    EXPECT_FALSE(result.launched) << refused.toolPath;
    ASSERT_TRUE(result.launchError);
    EXPECT_EQ(result.launchError->errorNumber, EINVAL);
  }
  EXPECT_TRUE(noChildren());
}

// Tests that every argument arrives as one argv entry: no shell touches it.
TEST(RunCommand, ArgumentsArriveUnchanged) {
  const std::vector<std::string> arguments = {
      "Office Laser", "it's \"quoted\"", "$(touch /tmp/tovanel-injected)", "*", "", "a\tb"};
  std::vector<std::string> command{"[%s]\\n"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::string expected;
  for (const auto& argument : arguments)
    expected += "[" + argument + "]\n";
  EXPECT_EQ(runCommand(request("/usr/bin/printf", command)).outputText, expected);
  EXPECT_NE(access("/tmp/tovanel-injected", F_OK), 0);
}

// Tests that 10 MiB on a separated error stream neither stalls nor reaches the output.
TEST(RunCommand, SeparatedErrorIsDrainedWhileTheToolRuns) {
  auto r = request("/bin/sh", {"-c", "head -c 10485760 /dev/zero >&2; echo finished"});
  r.timeLimit = 60s;  // a stall fails the test instead of hanging it
  const auto result = runCommand(r);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.outputText, "finished\n");
}

// Tests that output which is not UTF-8 is absent as a whole, while valid text comes back.
TEST(RunCommand, OutputMustBeValidUtf8) {
  for (const auto& [bytes, valid] : {std::pair{"\\377", false},
                                     {"ok\\303", false},
                                     {"\\300\\257", false},
                                     {"\\303\\251tiquette", true}}) {
    const auto result = runCommand(request("/usr/bin/printf", {bytes}));
    EXPECT_TRUE(result.launched);
    EXPECT_EQ(result.outputText.has_value(), valid) << bytes;
  }
}

// Tests that a tool sees the host's environment with LC_ALL=C.UTF-8 in place of its own.
TEST(RunCommand, ToolsSeeTheHostsEnvironmentInEnglish) {
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  const auto result = runCommand(request("/usr/bin/env", {}));
  unsetenv("LC_ALL");
  ASSERT_TRUE(result.outputText);
  EXPECT_NE(result.outputText->find("\nLC_ALL=C.UTF-8\n"), std::string::npos);
  EXPECT_EQ(result.outputText->find("de_DE"), std::string::npos);
  EXPECT_NE(result.outputText->find("HOME=" + std::string(getenv("HOME"))), std::string::npos);
}

// Tests that no descriptor of the host reaches the tool, even one without close-on-exec.
TEST(RunCommand, NoDescriptorReachesTheTool) {
  const int inheritable = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(inheritable, 0);
  const auto result = runCommand(request("/bin/ls", {"/proc/self/fd"}));
  close(inheritable);
  EXPECT_EQ(result.outputText, "0\n1\n2\n3\n");
}

// Tests that the tool starts with no signal ignored, though the host ignores SIGPIPE.
TEST(RunCommand, ToolStartsWithNoStandardSignalIgnored) {
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  const auto result = runCommand(request("/usr/bin/grep", {"^SigIgn:", "/proc/self/status"}));
  std::signal(SIGPIPE, previous);
  ASSERT_TRUE(result.outputText && result.outputText->starts_with("SigIgn:\t"));
  // Signals 1 to 31; glibc spawns with its own two real-time signals ignored.
  EXPECT_EQ(std::stoull(result.outputText->substr(8), nullptr, 16) & 0x7fffffffu, 0u)
      << *result.outputText;
}

// Tests that a tool not waited for still runs after the call, then is reaped anyway.
TEST(RunCommand, ChildNotWaitedForIsReapedInTheBackground) {
  const auto result = runCommand(
      request("/bin/sh", {"-c", "echo early; exec >&-; exec sleep 0.3"}, true, false, false));
  EXPECT_EQ(result.outputText, "early\n");
  const auto children = testing::childrenOf(getpid());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_NE(children[0].state, 'Z');
  EXPECT_TRUE(eventually(noChildren));
}

// Tests that a tool past its time limit is killed and reaped with what it started, its
// output dropped.
TEST(RunCommand, ToolPastTheTimeLimitIsStopped) {
  for (const bool wait : {true, false}) {
    const std::string pidFile = "/tmp/tovanel-grandchild-" + std::to_string(getpid());
    auto r = request("/bin/sh",
                     {"-c", "sleep 30 & echo $! >" + pidFile + "; echo partial; exec sleep 30"},
                     true, true, wait);
    r.timeLimit = 200ms;
    const auto result = runCommand(r);
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.outputText);
    EXPECT_EQ(result.exitStatus, 9);  // SIGKILL
    EXPECT_TRUE(noChildren());
    const pid_t grandchild = std::stoi(testing::readFile(pidFile));
    std::remove(pidFile.c_str());
    EXPECT_TRUE(eventually([&] { return kill(grandchild, 0) != 0; })) << grandchild;
  }
  auto quiet = request("/bin/sleep", {"30"}, false, false);
  quiet.timeLimit = 200ms;
  EXPECT_TRUE(runCommand(quiet).timedOut);
  EXPECT_EQ(describeTimeout(quiet),
            "/bin/sleep was still running after 200 milliseconds and was stopped");
  EXPECT_TRUE(noChildren());
}

// Tests that a thousand runs of every kind leave no zombie, no child and no descriptor.
TEST(RunCommand, ThousandRunsLeaveNothingBehind) {
  runCommand(request("/bin/true", {}, true, true, false));  // lets one-time set-up happen
  ASSERT_TRUE(eventually(noChildren));
  const auto descriptors = [] { return testing::openDescriptors(getpid()).size(); };
  const size_t before = descriptors();
  for (int run = 0; run < 1000; ++run)
    ASSERT_TRUE(
        runCommand(request("/bin/true", {}, run % 2 == 0, run % 3 == 0, run % 5 != 0)).launched);
  runCommand(request("/nonexistent/tool", {}));
  EXPECT_TRUE(eventually(noChildren));
  EXPECT_TRUE(eventually([&] { return descriptors() == before; }))
      << descriptors() << " descriptors, " << before << " before";
}

}  // namespace
}  // namespace tovanel
