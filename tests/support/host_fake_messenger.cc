#include "support/host_fake_messenger.h"

#include <gtest/gtest.h>

#include <memory>

#include "shell/journal.h"
#include "support/replies.h"

namespace tovanel::testing {

void FakeMessenger::setMessageHandler(const std::string& channel, BinaryMessageHandler handler) {
  journal("BinaryMessenger setMessageHandler " + channel);
  if (handler)
    handlers_[channel] = std::move(handler);
  else
    handlers_.erase(channel);
}

std::optional<std::vector<uint8_t>> FakeMessenger::send(const std::string& channel,
                                                        const std::vector<uint8_t>& message) {
  const auto handler = handlers_.find(channel);
  if (handler == handlers_.end())
    return std::nullopt;
  auto reply = std::make_shared<std::optional<std::vector<uint8_t>>>();
  handler->second(message, [reply](std::vector<uint8_t> bytes) {
    if (!*reply)
      *reply = std::move(bytes);
  });
  return *reply;
}

MethodReply FakeMessenger::call(const std::string& channel, const MethodCall& call) {
  const auto bytes = send(channel, encodeMethodCall(call));
  const auto reply = bytes ? decodeReply(*bytes) : std::nullopt;
  if (reply)
    return *reply;
  ADD_FAILURE() << "no reply that decodes on " << channel << " to " << call.method;
  return errorReply("NO_REPLY", call.method);
}

}  // namespace tovanel::testing
