// A private CUPS server for end-to-end tests (and benchmarks), from scripts/cups-sandbox.
#pragma once

#include <string>

namespace tovanel::testing {

class CupsSandbox {
 public:
  // Starts a new sandbox owned by this process: stopped when the object goes, or by its
  // watchdog once this process has gone, even after a crash.
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

// A fresh private HOME for this process, so `lpoptions -d` never changes the machine's
// own default and runs never see each other's. Removed at exit.
std::string usePrivateHome();

// The gtest main of end-to-end binaries: a private HOME and one sandbox for the whole
// file, stopped after the last test.
int runEndToEndTests(int argc, char** argv);

// The sandbox of the running end-to-end binary.
CupsSandbox& sandbox();

}  // namespace tovanel::testing
