// Running programs from tests, printing_host among them, bounded in time.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
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
};

// Runs `command` (no shell) with `input` on standard input; killed after `timeout`.
ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input = {},
                         std::chrono::milliseconds timeout = 30s);

// printctl --socket `socketPath` followed by `arguments`.
ProgramResult runPrintctl(const std::string& socketPath, const std::vector<std::string>& arguments,
                          const std::string& input = {});

struct HostOptions {
  std::string socketPath = {};   // empty: a fresh one in a temporary folder
  bool defaultSocket = false;    // no --socket: the host must pick `socketPath` itself
  bool abandonedErrors = false;  // standard error is a pipe whose reader has gone
};

// printing_host as a child of the test, its standard output and error kept in files.
class HostProcess {
 public:
  // Starts the host and waits for its listening line; throws when it does not get there.
  explicit HostProcess(HostOptions options = {});
  // Stops the host if it still runs; an exit other than a clean 0 fails the test.
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  const std::string& socketPath() const { return socketPath_; }
  pid_t pid() const { return pid_; }
  std::string standardOutput() const { return readFile(files_.file("out")); }
  std::string standardError() const { return readFile(files_.file("err")); }
  bool waitForError(std::string_view text) const;

  // Sends `signal`; the exit status, or -1 when killed after ten seconds without one.
  int stop(int signal = SIGTERM);
  // Ends the host with SIGKILL, as a crash would.
  void kill();

 private:
  TemporaryFolder files_;
  std::string socketPath_;
  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace tovanel::testing
