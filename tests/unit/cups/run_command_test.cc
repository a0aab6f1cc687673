// runCommand against real programs: what reaches the tool, what comes back, and that no
// child or descriptor outlives a call.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cups/command.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;

CommandRequest request(std::string tool, std::vector<std::string> arguments, bool capture,
                       bool separateError, bool wait) {
  return CommandRequest{std::move(tool), std::move(arguments), capture, separateError, wait};
}

CommandRequest captureAndWait(std::string tool, std::vector<std::string> arguments) {
  return request(std::move(tool), std::move(arguments), true, true, true);
}

int openDescriptorCount() {
  int count = 0;
  DIR* folder = opendir("/proc/self/fd");
  while (readdir(folder))
    ++count;
  closedir(folder);
  return count;
}

struct ChildState {
  pid_t pid;
  char state;
};

// Every process whose parent is this one, with its state ('Z' for a zombie).
std::vector<ChildState> childrenOfThisProcess() {
  std::vector<ChildState> children;
  DIR* proc = opendir("/proc");
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0)
      continue;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), {});
    const auto commandEnd = stat.rfind(')');
    if (commandEnd == std::string::npos)
      continue;
    std::istringstream fields(stat.substr(commandEnd + 1));
    char state = 0;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent == getpid())
      children.push_back({pid, state});
  }
  closedir(proc);
  return children;
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
  return childrenOfThisProcess().empty();
}

// Tests that a tool that writes nothing gives empty text, not absent text.
TEST(RunCommand, ToolThatWritesNothingGivesEmptyText) {
  for (const bool wait : {true, false}) {
    const auto result = runCommand(request("/bin/true", {}, true, false, wait));
    EXPECT_TRUE(result.launched);
    EXPECT_FALSE(result.launchError);
    ASSERT_TRUE(result.outputText) << "wait " << wait;
    EXPECT_EQ(*result.outputText, "");
  }
  EXPECT_TRUE(eventually(noChildren));
}

// Tests that a missing tool is reported as not started, with both renderings of the
// reason, and that nothing is read or left behind.
TEST(RunCommand, MissingToolIsNotLaunched) {
  const auto result = runCommand(captureAndWait("/nonexistent/bin/lpstat", {"-lp"}));
  EXPECT_FALSE(result.launched);
  EXPECT_FALSE(result.outputText);
  ASSERT_TRUE(result.launchError);
  EXPECT_EQ(result.launchError->errorNumber, ENOENT);
  EXPECT_EQ(result.launchError->shortMessage(),
            "Could not start /nonexistent/bin/lpstat: No such file or directory");
  EXPECT_EQ(result.launchError->fullDescription(),
            "Could not start /nonexistent/bin/lpstat: No such file or directory "
            "(posix_spawn failed, errno 2 ENOENT)");
  EXPECT_TRUE(noChildren());
}

// Tests the requests that must never reach a tool: a relative path (which would be
// looked up somewhere) and a NUL inside an argument (which would shorten it).
TEST(RunCommand, RefusesWhatCannotReachTheToolUnchanged) {
  const CommandRequest refused[] = {
      captureAndWait("true", {}),
      captureAndWait("/usr/bin/printf", {std::string("Label_4x6\0x", 11)}),
  };
  for (const auto& r : refused) {
    const auto result = runCommand(r);
    EXPECT_FALSE(result.launched) << r.toolPath;
    ASSERT_TRUE(result.launchError);
    EXPECT_EQ(result.launchError->errorNumber, EINVAL);
  }
}

// Tests that every argument arrives as one argv entry, unchanged: no shell splits,
// expands or unquotes anything.
TEST(RunCommand, ArgumentsArriveUnchanged) {
  const std::vector<std::string> arguments = {
      "Office Laser", "it's \"quoted\"", "$(touch /tmp/tovanel-injected)", "*", "",
      "a\tb",         "Caf\u00e9 ;|&<>"};
  std::vector<std::string> request{"[%s]\\n"};
  request.insert(request.end(), arguments.begin(), arguments.end());
  const auto result = runCommand(captureAndWait("/usr/bin/printf", request));
  std::string expected;
  for (const auto& argument : arguments)
    expected += "[" + argument + "]\n";
  ASSERT_TRUE(result.outputText);
  EXPECT_EQ(*result.outputText, expected);
  EXPECT_NE(access("/tmp/tovanel-injected", F_OK), 0);
}

// Tests that a tool writing far more to its separated error stream than a pipe holds
// neither stalls nor leaks that text into the output.
TEST(RunCommand, SeparatedErrorIsDrainedWhileTheToolRuns) {
  auto r = captureAndWait("/bin/sh", {"-c", "head -c 10485760 /dev/zero >&2; echo finished"});
  r.timeLimit = 60s;  // a stall fails the test instead of hanging it
  const auto result = runCommand(r);
  EXPECT_FALSE(result.timedOut);
  ASSERT_TRUE(result.outputText);
  EXPECT_EQ(*result.outputText, "finished\n");
  EXPECT_EQ(result.exitStatus, 0);
}

// Tests that output which is not UTF-8 is absent as a whole, while valid text of any
// script comes back byte for byte.
TEST(RunCommand, OutputMustBeValidUtf8) {
  const struct {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"\\377", false},          {"ok\\303", false},
      {"\\300\\257", false},     {"\\303\\251tiquette", true},
      {"\\342\\200\\250", true}, {"plain", true},
  };
  for (const auto& c : cases) {
    const auto result = runCommand(captureAndWait("/usr/bin/printf", {c.bytes}));
    EXPECT_TRUE(result.launched);
    EXPECT_EQ(result.outputText.has_value(), c.valid) << c.bytes;
  }
}

// Tests the exit status: the exit code, or the number of the signal that ended the tool.
TEST(RunCommand, ReportsExitCodeOrSignal) {
  EXPECT_EQ(runCommand(captureAndWait("/bin/sh", {"-c", "exit 3"})).exitStatus, 3);
  EXPECT_EQ(runCommand(captureAndWait("/bin/sh", {"-c", "kill -TERM $$"})).exitStatus, 15);
  EXPECT_EQ(runCommand(request("/bin/false", {}, false, false, true)).exitStatus, 1);
}

// Tests that the tool gets the host's environment and working directory.
TEST(RunCommand, ToolSharesTheHostsEnvironmentAndFolder) {
  setenv("TOVANEL_PROBE", "seen by the child", 1);
  const auto environment = runCommand(captureAndWait("/usr/bin/env", {}));
  ASSERT_TRUE(environment.outputText);
  EXPECT_NE(environment.outputText->find("TOVANEL_PROBE=seen by the child\n"), std::string::npos);
  unsetenv("TOVANEL_PROBE");

  char folder[4096];
  ASSERT_TRUE(getcwd(folder, sizeof folder));
  const auto pwd = runCommand(captureAndWait("/bin/pwd", {"-P"}));
  ASSERT_TRUE(pwd.outputText);
  EXPECT_EQ(*pwd.outputText, std::string(folder) + "\n");
}

// Tests that no descriptor of the host reaches the tool, not even one opened without
// close-on-exec: ls sees only the three standard streams and its own folder handle.
TEST(RunCommand, NoDescriptorReachesTheTool) {
  const int inheritable = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(inheritable, 0);
  const auto result = runCommand(captureAndWait("/bin/ls", {"/proc/self/fd"}));
  close(inheritable);
  ASSERT_TRUE(result.outputText);
  EXPECT_EQ(*result.outputText, "0\n1\n2\n3\n");
}

// Tests that the tool starts with no standard signal ignored although the host ignores
// SIGPIPE: a tool writing to a reader that has gone must end as it would anywhere else.
TEST(RunCommand, ToolStartsWithNoStandardSignalIgnored) {
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  const auto result =
      runCommand(captureAndWait("/usr/bin/grep", {"^SigIgn:", "/proc/self/status"}));
  std::signal(SIGPIPE, previous);
  ASSERT_TRUE(result.outputText);
  ASSERT_TRUE(result.outputText->starts_with("SigIgn:\t"));
  const auto ignored = std::stoull(result.outputText->substr(8), nullptr, 16);
  // Signals 1 to 31; glibc spawns with its own two real-time signals ignored.
  EXPECT_EQ(ignored & 0x7fffffffu, 0u) << *result.outputText;
}

// Tests that a tool not waited for is not waited for (it still runs when the call
// returns), and is then reaped in the background instead of lingering as a zombie.
TEST(RunCommand, ChildNotWaitedForIsReapedInTheBackground) {
  const auto result = runCommand(
      request("/bin/sh", {"-c", "echo early; exec >&-; exec sleep 0.3"}, true, false, false));
  ASSERT_TRUE(result.outputText);
  EXPECT_EQ(*result.outputText, "early\n");
  const auto children = childrenOfThisProcess();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_NE(children[0].state, 'Z');
  EXPECT_TRUE(eventually(noChildren));
}

// Tests that a tool outliving its time limit is killed and reaped, and that its partial
// output is dropped rather than parsed.
TEST(RunCommand, ToolPastTheTimeLimitIsStopped) {
  for (const bool wait : {true, false}) {
    auto r = request("/bin/sh", {"-c", "echo partial; exec sleep 30"}, true, true, wait);
    r.timeLimit = 200ms;
    const auto result = runCommand(r);
    EXPECT_TRUE(result.launched);
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.outputText);
    EXPECT_EQ(result.exitStatus, 9);  // SIGKILL
    EXPECT_TRUE(noChildren());
  }
  auto quiet = request("/bin/sleep", {"30"}, false, false, true);
  quiet.timeLimit = 200ms;
  EXPECT_TRUE(runCommand(quiet).timedOut);
  EXPECT_EQ(describeTimeout(quiet),
            "/bin/sleep was still running after 200 milliseconds and was stopped");
  EXPECT_EQ(describeTimeout(CommandRequest{.toolPath = "/usr/bin/lpstat"}),
            "/usr/bin/lpstat was still running after 120 seconds and was stopped");
  EXPECT_TRUE(noChildren());
}

// Tests that a thousand runs of every kind leave no zombie, no child and no descriptor.
TEST(RunCommand, ThousandRunsLeaveNothingBehind) {
  runCommand(request("/bin/true", {}, true, true, false));  // lets one-time set-up happen
  ASSERT_TRUE(eventually(noChildren));
  const int descriptorsBefore = openDescriptorCount();
  for (int run = 0; run < 1000; ++run) {
    const bool capture = run % 2 == 0;
    const bool separate = run % 3 == 0;
    const bool wait = run % 5 != 0;
    const auto result = runCommand(request("/bin/true", {}, capture, separate, wait));
    ASSERT_TRUE(result.launched);
  }
  runCommand(request("/nonexistent/tool", {}, true, true, true));
  EXPECT_TRUE(eventually(noChildren));
  EXPECT_TRUE(eventually([&] { return openDescriptorCount() == descriptorsBefore; }))
      << openDescriptorCount() << " descriptors, " << descriptorsBefore << " before";
}

}  // namespace
}  // namespace tovanel
