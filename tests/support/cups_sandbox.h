// A private CUPS server for end-to-end tests, from scripts/cups-sandbox.
#pragma once

#include <string>
#include <vector>

namespace tovanel::testing {

class CupsSandbox {
 public:
  // Starts a new sandbox, owned by this process: it is stopped by stop(), or by its
  // watchdog once this process has gone, even after a crash.
  static CupsSandbox start();

  CupsSandbox(CupsSandbox&& other) noexcept;
  CupsSandbox& operator=(CupsSandbox&&) = delete;
  CupsSandbox(const CupsSandbox&) = delete;
  ~CupsSandbox();

  void stop();
  void stopDaemon();   // cupsd stops; queues and port stay
  void startDaemon();  // cupsd comes back on the same port

  // Points this process's libcups and the tools it runs at the sandbox.
  void exportEnvironment() const;

  const std::string& dir() const { return dir_; }
  const std::string& server() const { return server_; }        // 127.0.0.1:PORT
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

// The page-size keywords of a queue as its driver lists them (`lpoptions -p QUEUE -l`),
// the default's star dropped, read with nothing of the host's.
std::vector<std::string> driverKeywords(const std::string& queue);

// A fresh private HOME for this process, so `lpoptions -d` never changes the machine's
// own default and runs never see each other's. Removed at exit.
std::string usePrivateHome();

// Standard gtest main body for end-to-end binaries: a private HOME and one sandbox for
// the whole file, stopped after the last test.
int runEndToEndTests(int argc, char** argv);

// The sandbox of the running end-to-end binary.
CupsSandbox& sandbox();

}  // namespace tovanel::testing
