// A private CUPS server for end-to-end tests and benchmarks (scripts/cups-sandbox), the
// jobs of its queues, and what its printers received.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovanel::testing {

class CupsSandbox {
 public:
  // Starts a sandbox owned by this process (its watchdog stops it if the process dies), in
  // a private HOME, and points this process's libcups and the tools it runs at it.
  CupsSandbox();
  CupsSandbox(const CupsSandbox&) = delete;
  ~CupsSandbox();

  void stopDaemon();   // cupsd stops; queues and port stay
  void startDaemon();  // cupsd comes back on the same port
  const std::string& dir() const { return dir_; }
  const std::string& outputDir() const { return outputDir_; }  // the printers' files

 private:
  std::string dir_, outputDir_;
};

// The output of a shell command and its exit status; for set-up and checks only.
struct ShellResult {
  int status = -1;
  std::string output;
};
ShellResult runShell(const std::string& command);

// The gtest main of end-to-end binaries: a private HOME and one sandbox for the binary.
int runEndToEndTests(int argc, char** argv);
CupsSandbox& sandbox();

struct SandboxJob {
  int id = 0;
  std::string title;
  int state = 0;  // 9 completed, 8 aborted, 7 cancelled
  int copies = 0;
  std::string media{};  // the medium's name, or the custom page size ("Custom.WxH")
};
// The newest job of `queue`, finished or not; 0 when none.
int newestJobId(const std::string& queue);
// The first job after `afterId` once CUPS is done with it (its output is then complete).
std::optional<SandboxJob> waitForJobAfter(
    const std::string& queue, int afterId,
    std::chrono::milliseconds timeout = std::chrono::seconds(60),
    std::chrono::milliseconds pollEvery = std::chrono::milliseconds(20));

// The first `count` jobs after `afterId` once CUPS is done with them, by id; fewer when
// they are not all done within `timeout`.
std::vector<SandboxJob> waitForJobsAfter(
    const std::string& queue, int afterId, size_t count,
    std::chrono::milliseconds timeout = std::chrono::seconds(60),
    std::chrono::milliseconds pollEvery = std::chrono::milliseconds(20));

}  // namespace tovanel::testing
