#include "support/host_fake_messenger.h"

#include <gtest/gtest.h>

#include <memory>

#include "embedding/journal.h"
#include "embedding/standard_method_codec.h"

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
  const auto reply = send(channel, encodeMethodCall(call));
  if (!reply) {
    ADD_FAILURE() << "no reply on " << channel << " to " << call.method;
    return FlutterError{"NO_REPLY", "", Value()};
  }
  if (reply->empty())
    return FlutterMethodNotImplemented{};
  const auto envelope = decodeEnvelope(*reply);
  if (!envelope) {
    ADD_FAILURE() << "the reply does not decode: " << envelope.error;
    return FlutterError{"BAD_REPLY", envelope.error, Value()};
  }
  if (const auto* value = std::get_if<Value>(&*envelope.value))
    return *value;
  const auto& error = std::get<ErrorEnvelope>(*envelope.value);
  return FlutterError{error.code, error.message.value_or(""), error.details};
}

}  // namespace tovanel::testing
