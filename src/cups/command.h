// Running a CUPS command-line tool as a child process: the one way the host does it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovanel {

// A child that runs this long is killed: generous beside the milliseconds a CUPS tool
// needs, and short enough that a tool stuck on a dead server cannot freeze the host.
inline constexpr std::chrono::milliseconds kToolTimeLimit = std::chrono::seconds(120);

struct CommandRequest {
  std::string toolPath = {};                // absolute; the search path is never used
  std::vector<std::string> arguments = {};  // each one argv entry, unchanged, no shell
  bool captureOutput = false;               // standard output to a pipe that is read to its end
  bool separateError = false;  // standard error to a pipe of its own, drained and dropped
  bool waitForExit = false;
  std::chrono::milliseconds timeLimit = kToolTimeLimit;
};

// Why a child did not start.
struct LaunchError {
  std::string toolPath;
  std::string step;     // the call that failed, e.g. "posix_spawn"
  int errorNumber = 0;  // errno
  std::string reason;   // human-readable, e.g. "No such file or directory"

  // One line for diagnostics: the tool, the reason, the failed call and the errno.
  std::string fullDescription() const;
  // A sentence for people, e.g. "Could not start /usr/bin/lpoptions: No such file or
  // directory".
  std::string shortMessage() const;
};

struct CommandResult {
  bool launched = false;
  std::optional<LaunchError> launchError;  // present exactly when not launched
  // The whole standard output when it was captured and is valid UTF-8; empty (not
  // absent) when the tool wrote nothing.
  std::optional<std::string> outputText;
  // Meaningful when the request waited for exit: the exit code, or the number of the
  // signal that ended the child; -1 when the system had already reaped it.
  int32_t exitStatus = 0;
  // The child outlived the request's time limit and was killed with everything it
  // started; its output is dropped and its exit status means nothing.
  bool timedOut = false;
};

// Starts the tool with the host's own standard input, environment (plus LC_ALL=C.UTF-8)
// and working directory;
// with captureOutput reads standard output to its end (draining a separated error
// stream meanwhile); with waitForExit then waits for the exit status. A child that is not
// waited for is reaped in the background, so none is ever left a zombie. No descriptor
// of the host reaches the child beyond the three standard streams, and none that the
// call opens outlives it. Blocks the calling thread; never throws.
CommandResult runCommand(const CommandRequest& request);

// The tool runner that operations use: runCommand in the host, canned results in tests.
using CommandRunner = std::function<CommandResult(const CommandRequest&)>;

// "<tool> was still running after <limit> and was stopped", for diagnostics.
std::string describeTimeout(const CommandRequest& request);

}  // namespace tovanel
