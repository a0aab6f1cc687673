// The client end of the channel socket, for printctl and the tests: one blocking
// connection that sends calls and waits for their replies.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoded.h"
#include "base/unique_fd.h"

namespace tovanel {

class SocketClient {
 public:
  enum class Failure {
    none,
    noHost,   // nothing listens at the path
    refused,  // the host sent a failure frame, e.g. for a user it does not serve
    broken,   // the connection ended or broke the framing before the reply
    timedOut,
  };

  struct Connected;
  // Connects to the host at `path`. A socket whose owner is neither this user nor root
  // is refused too: the client does not send its calls to a stranger.
  static Connected connect(const std::string& path);

  struct Reply {
    Failure failure = Failure::none;
    std::string error;             // why, when failed
    std::vector<uint8_t> message;  // the reply; empty means not implemented / no handler
  };
  // Sends `message` on `channel` and waits for the reply to it, at most `timeout`.
  Reply call(std::string_view channel, std::span<const uint8_t> message,
             std::optional<std::chrono::milliseconds> timeout = std::nullopt);

  int fd() const { return socket_.get(); }

 private:
  explicit SocketClient(UniqueFd socket) : socket_(std::move(socket)) {}

  UniqueFd socket_;
  uint32_t nextId_ = 1;
};

struct SocketClient::Connected {
  std::optional<SocketClient> client;
  Failure failure = Failure::none;
  std::string error;
};

}  // namespace tovanel
