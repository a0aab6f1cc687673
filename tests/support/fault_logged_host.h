// printing_host with its standard output and its standard error kept apart, each in a
// file, for tests that must tell the notes about clients from everything else.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>

#include "support/temporary_folder.h"

namespace tovanel::testing {

class LoggedHost {
 public:
  enum class ErrorStream {
    file,
    // A pipe that nobody reads: its reading end is closed as soon as the host has
    // started, as when the terminal or supervisor that read the host's notes has gone.
    abandoned,
  };

  // Starts the host on `socketPath` with the test's environment and waits for its
  // listening line; throws when it does not get that far.
  explicit LoggedHost(const std::string& socketPath, ErrorStream error = ErrorStream::file);
  LoggedHost(const LoggedHost&) = delete;
  LoggedHost& operator=(const LoggedHost&) = delete;
  // Stops the host if it still runs; an exit other than a clean 0 fails the test.
  ~LoggedHost();

  pid_t pid() const { return pid_; }
  const std::string& socketPath() const { return socketPath_; }

  // Everything written so far to each stream.
  std::string standardOutput() const;
  std::string standardError() const;
  // Waits until standard error holds `text`.
  bool waitForError(std::string_view text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  // Sends SIGTERM and waits for the exit: the exit status, or -1 when the host did not
  // end by itself within ten seconds (it is then killed).
  int stop();

 private:
  TemporaryFolder streams_;
  std::string socketPath_;
  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace tovanel::testing
