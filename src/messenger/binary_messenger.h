// Platform messages by channel name, as the Flutter engine's binary messenger carries
// them: a handler per channel receives each message with a way to reply.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tovanel {

// Answers one message. An empty reply means "not implemented" or "no handler". The
// messenger sends only the first answer; a message that is never answered is answered
// with an empty reply once the last copy of its BinaryReply is gone.
using BinaryReply = std::function<void(std::vector<uint8_t> reply)>;

// Called on the main thread. `message` is valid only until the handler returns.
using BinaryMessageHandler =
    std::function<void(std::span<const uint8_t> message, BinaryReply reply)>;

class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;
  // Installs `handler` for `channel`, replacing any before it; an empty handler removes it.
  virtual void setMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace tovanel
