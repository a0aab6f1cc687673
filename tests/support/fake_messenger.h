// A binary messenger held in memory: the handlers installed on it by channel, and calls
// delivered to them as the socket would deliver them.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "codec/standard_method_codec.h"
#include "messenger/binary_messenger.h"
#include "support/replies.h"

namespace tovanel::testing {

class FakeMessenger final : public BinaryMessenger {
 public:
  void setMessageHandler(const std::string& channel, BinaryMessageHandler handler) override {
    if (handler)
      handlers[channel] = std::move(handler);
    else
      handlers.erase(channel);
  }

  // The reply `channel`'s handler gives the call; nothing when the channel has no handler
  // or the handler did not answer before it returned.
  std::optional<MethodReply> call(const std::string& channel, const MethodCall& call) {
    const auto handler = handlers.find(channel);
    if (handler == handlers.end())
      return std::nullopt;
    std::optional<std::vector<uint8_t>> reply;
    handler->second(encodeMethodCall(call),
                    [&reply](std::vector<uint8_t> bytes) { reply = std::move(bytes); });
    return reply ? decodeReply(*reply) : std::nullopt;
  }

  std::map<std::string, BinaryMessageHandler> handlers;
};

}  // namespace tovanel::testing
