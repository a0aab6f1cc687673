#include "messenger/method_channel.h"

#include <utility>

#include "codec/standard_method_codec.h"
#include "messenger/error_codes.h"

namespace tovanel {

MethodChannel::MethodChannel(std::string name, BinaryMessenger& messenger)
    : name_(std::move(name)), messenger_(messenger) {}

void MethodChannel::setMethodCallHandler(MethodCallHandler handler) {
  if (!handler) {
    messenger_.setMessageHandler(name_, nullptr);
    return;
  }
  messenger_.setMessageHandler(name_, [handler = std::move(handler)](
                                          std::span<const uint8_t> message, BinaryReply reply) {
    const auto call = decodeMethodCall(message);
    if (!call) {
      reply(encodeErrorEnvelope(ErrorEnvelope{
          error_codes::kMalformedCall, "The call could not be decoded: " + call.error, Value()}));
      return;
    }
    handler(*call.value, ReplyCallback([reply = std::move(reply)](MethodReply answer) {
      reply(encodeMethodReply(answer));
    }));
  });
}

}  // namespace tovanel
