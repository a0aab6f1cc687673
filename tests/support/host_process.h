// Running the host's programs from tests: printing_host on a temporary socket, printctl,
// and any other program, each bounded in time and leaving nothing behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/temporary_folder.h"

namespace tovanel::testing {

using namespace std::chrono_literals;

std::string printingHostPath();
std::string printctlPath();

struct ProgramResult {
  int status = -1;  // the exit status; -1 when killed by a signal or timed out
  std::string out;
  std::string err;
  bool timedOut = false;
};

// Runs `command` (no shell) with `input` on standard input, in the test's environment;
// after `timeout` it is killed.
ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input = {},
                         std::chrono::milliseconds timeout = 30s);

// printctl --socket `socketPath` followed by `arguments`.
ProgramResult runPrintctl(const std::string& socketPath, const std::vector<std::string>& arguments,
                          const std::string& input = {});

// printing_host as a child of the test, with the test's environment (HOME, CUPS_SERVER).
class HostProcess {
 public:
  // Starts the host on `socketPath`, or on a socket in a fresh temporary folder when it
  // is empty, and waits for the line that says where it listens. Throws when the host
  // does not get that far.
  static HostProcess start(const std::string& socketPath = {},
                           const std::vector<std::string>& extraArguments = {});

  // Starts the host without --socket, so that it picks its default socket, which the
  // test expects at `expectedPath`.
  static HostProcess startOnDefaultSocket(const std::string& expectedPath);

  HostProcess(HostProcess&&) noexcept;
  HostProcess& operator=(HostProcess&&) = delete;
  HostProcess(const HostProcess&) = delete;
  // Stops the host if it still runs; an exit other than a clean 0 fails the test.
  ~HostProcess();

  const std::string& socketPath() const;
  pid_t pid() const;

  // Sends `signal` (SIGTERM by default) and waits for the exit: the exit status, or -1
  // when the host did not end by itself within ten seconds (it is then killed).
  int stop(int signal = SIGTERM);
  // Ends the host with SIGKILL, as a crash would.
  void kill();

  // Everything the host wrote to standard output and standard error so far.
  std::string output() const;
  // Waits until the output holds `text`.
  bool waitForOutput(std::string_view text, std::chrono::milliseconds timeout = 10s) const;

 private:
  struct State;
  explicit HostProcess(std::unique_ptr<State> state);
  static HostProcess launch(std::unique_ptr<State> state, const std::vector<std::string>& command);
  std::unique_ptr<State> state_;
};

}  // namespace tovanel::testing
