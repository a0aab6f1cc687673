// A call on a method channel, and what may answer it.
#pragma once

#include <string>
#include <variant>

#include "codec/value.h"

namespace tovanel {

struct MethodCall {
  std::string method;
  Value arguments;  // null when the call carries none
};

// An error answer towards the interface. Errors of this host carry null details.
struct FlutterError {
  std::string code;
  std::string message;
  Value details;

  friend bool operator==(const FlutterError&, const FlutterError&) = default;
};

// The answer for a method that the channel does not offer.
struct FlutterMethodNotImplemented {
  friend bool operator==(const FlutterMethodNotImplemented&,
                         const FlutterMethodNotImplemented&) = default;
};

// One of: a success value, an error, or not implemented.
using MethodReply = std::variant<Value, FlutterError, FlutterMethodNotImplemented>;

std::string describe(const MethodReply& reply);

}  // namespace tovanel
