// Talking to a printing host: calls through the codec, and raw bytes to break the framing.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "codec/method_call.h"
#include "messenger/socket_client.h"

namespace tovanel::testing {

// One connection to the host, kept open across calls.
class HostClient {
 public:
  // Connects to `socketPath`; throws when it cannot.
  explicit HostClient(const std::string& socketPath);

  // The reply to `method` on the printing channel; none fails the test ("NO_REPLY").
  MethodReply call(const std::string& method, const Value& arguments = Value(),
                   std::chrono::milliseconds timeout = std::chrono::seconds(30));

 private:
  SocketClient client_;
};

// A connected socket for raw bytes; throws when it cannot connect.
UniqueFd connectRaw(const std::string& socketPath);
bool sendRaw(int fd, const std::vector<uint8_t>& bytes);

// The bytes of a call frame for `channel` with `message`.
std::vector<uint8_t> callFrame(uint32_t id, const std::string& channel,
                               const std::vector<uint8_t>& message);

// A frame read whole; nothing once the connection is closed or `timeout` has passed.
struct RawFrame {
  uint8_t kind = 0;
  uint32_t id = 0;
  std::vector<uint8_t> message;
};
std::optional<RawFrame> readRawFrame(int fd,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

// True when the host closes the connection within `timeout`, whatever it sends before.
bool waitForClose(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace tovanel::testing
