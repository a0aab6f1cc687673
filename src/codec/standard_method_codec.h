// The standard method codec: a call is the method name then the arguments, one message;
// a reply is an envelope, 0 then the result, or 1 then code, message and details.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "base/decoded.h"
#include "codec/method_call.h"
#include "codec/value.h"

namespace tovanel {

// An error envelope as it travels: the message may be null.
struct ErrorEnvelope {
  std::string code;
  std::optional<std::string> message;
  Value details;

  friend bool operator==(const ErrorEnvelope&, const ErrorEnvelope&) = default;
};

// A success value or an error. "Not implemented" is no envelope: it is an empty reply.
using Envelope = std::variant<Value, ErrorEnvelope>;

std::vector<uint8_t> encodeMethodCall(const MethodCall& call);

// A string then one value, filling `bytes` exactly.
Decoded<MethodCall> decodeMethodCall(std::span<const uint8_t> bytes);

std::vector<uint8_t> encodeSuccessEnvelope(const Value& result);
std::vector<uint8_t> encodeErrorEnvelope(const ErrorEnvelope& error);

// The reply to send for `reply`: empty for not implemented.
std::vector<uint8_t> encodeMethodReply(const MethodReply& reply);

// Accepts the fourth field (a stack trace: a string or null) that an error envelope
// may carry, and ignores it. The code must be a string, the message a string or null.
Decoded<Envelope> decodeEnvelope(std::span<const uint8_t> bytes);

}  // namespace tovanel
