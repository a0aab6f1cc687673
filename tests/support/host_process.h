// printing_host as a child of a test, and its clients: printctl, a codec client, raw bytes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique_fd.h"
#include "codec/method_call.h"
#include "messenger/socket_client.h"
#include "support/temporary_folder.h"

namespace tovanel::testing {

using namespace std::chrono_literals;

std::string printingHostPath();

struct ProgramResult {
  int status = -1;  // the exit status; -1 when killed by a signal or timed out
  std::string out, err;
};
// Runs `command` (no shell) with `input` on standard input; killed after `timeout`.
ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input = {},
                         std::chrono::milliseconds timeout = 30s);

class HostProcess {
 public:
  enum class Start { socketOption, socketActivated };
  // Starts the host on `socketPath` (empty: a fresh one) with --socket, or under
  // systemd-socket-activate -l, which starts it at the first connection; waits for its
  // listening line, or the launcher's; throws when none comes.
  explicit HostProcess(const std::string& socketPath = {}, Start start = Start::socketOption);
  // Stops the host if it still runs; an exit other than a clean 0 fails the test.
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;

  const std::string& socketPath() const { return socketPath_; }
  pid_t pid() const { return pid_; }
  std::string standardError() const { return readFile(files_.file("err")); }
  bool waitForError(std::string_view text) const { return waitFor("err", text); }
  // Sends `signal`; the exit status, or -1 when killed after ten seconds without one.
  int stop(int signal = SIGTERM);
  void kill();  // SIGKILL, as a crash would

 private:
  bool waitFor(const std::string& stream, std::string_view text) const;

  TemporaryFolder files_;
  std::string socketPath_;
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// One connection to a host, kept open across calls.
class HostClient {
 public:
  explicit HostClient(const std::string& socketPath);  // throws when it cannot connect
  // The reply to `method`; none fails the test and reads as the error "NO_REPLY".
  MethodReply call(const std::string& method, const Value& arguments = Value(),
                   std::chrono::milliseconds timeout = 30s);

 private:
  SocketClient client_;
};

// Raw bytes, to break the framing: a connected socket (throws when it cannot connect),
// a call frame, and a frame read whole (nothing once closed or after `timeout`).
UniqueFd connectRaw(const std::string& socketPath);
bool sendRaw(int fd, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> callFrame(uint32_t id, const std::vector<uint8_t>& message);
struct RawFrame {
  uint8_t kind = 0;
  uint32_t id = 0;
  std::vector<uint8_t> message;
};
std::optional<RawFrame> readRawFrame(int fd, std::chrono::milliseconds timeout = 10s);

}  // namespace tovanel::testing
