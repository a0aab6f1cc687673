// A private CUPS server for end-to-end tests (and benchmarks), from scripts/cups-sandbox.
#pragma once

#include <string>

namespace tovanel::testing {

class CupsSandbox {
 public:
  // Starts a sandbox owned by this process; its watchdog stops it if the process dies.
  static CupsSandbox start();

  CupsSandbox(CupsSandbox&& other) noexcept;
  CupsSandbox& operator=(CupsSandbox&&) = delete;
  CupsSandbox(const CupsSandbox&) = delete;
  ~CupsSandbox();

  void stopDaemon();   // cupsd stops; queues and port stay
  void startDaemon();  // cupsd comes back on the same port

  // Points this process's libcups and the tools it runs at the sandbox.
  void exportEnvironment() const;

  const std::string& dir() const { return dir_; }
  const std::string& outputDir() const { return outputDir_; }  // the printers' files

 private:
  CupsSandbox() = default;
  std::string dir_;
  std::string server_;
  std::string outputDir_;
};

// The output of a shell command, with its exit status; for test set-up only.
struct ShellResult {
  int status = -1;
  std::string output;
};
ShellResult runShell(const std::string& command);

// A fresh HOME for this process, so `lpoptions -d` never changes the machine's default.
std::string usePrivateHome();

// The gtest main of end-to-end binaries: a private HOME and one sandbox for the file.
int runEndToEndTests(int argc, char** argv);

// The sandbox of the running end-to-end binary.
CupsSandbox& sandbox();

}  // namespace tovanel::testing
