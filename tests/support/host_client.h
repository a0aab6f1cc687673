// Talking to a printing host from tests: calls through the codec, and raw bytes for
// tests that break the framing on purpose.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "embedding/method_call.h"
#include "embedding/socket_client.h"
#include "embedding/unique_fd.h"

namespace tovanel::testing {

// What a call came back with: a reply, or why there is none.
struct CallOutcome {
  std::optional<MethodReply> reply;
  SocketClient::Failure failure = SocketClient::Failure::none;
  std::string error;
};

// One connection to the host, kept open across calls.
class HostClient {
 public:
  // Connects to `socketPath`; throws when it cannot.
  explicit HostClient(const std::string& socketPath);

  // Sends `method` with `arguments` on "com.tovanel.printing" and decodes the reply; an
  // error envelope's null message becomes the empty text. Waits at most `timeout`.
  CallOutcome call(const std::string& method, const Value& arguments = Value(),
                   std::chrono::milliseconds timeout = std::chrono::seconds(30));

  SocketClient& socket() { return client_; }

 private:
  SocketClient client_;
};

// One call on a fresh connection; a transport failure fails the test and is returned
// as an error reply with the code "TRANSPORT".
MethodReply callHost(const std::string& socketPath, const std::string& method,
                     const Value& arguments = Value());

// A connected socket for writing raw bytes; throws when it cannot connect.
UniqueFd connectRaw(const std::string& socketPath);
bool sendRaw(int fd, const std::vector<uint8_t>& bytes);

// A frame read whole: its kind, id and message, or nothing once the host has closed
// the connection or `timeout` has passed.
struct RawFrame {
  uint8_t kind = 0;
  uint32_t id = 0;
  std::vector<uint8_t> message;
};
std::optional<RawFrame> readRawFrame(int fd,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

// True when the host closes the connection (end of stream) within `timeout`, whatever
// it sends before.
bool waitForClose(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The bytes of a call frame for `channel` with `message`.
std::vector<uint8_t> callFrame(uint32_t id, const std::string& channel,
                               const std::vector<uint8_t>& message);

}  // namespace tovanel::testing
