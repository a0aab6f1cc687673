#include "codec/method_call.h"

namespace tovanel {

std::string describe(const MethodReply& reply) {
  if (const auto* value = std::get_if<Value>(&reply))
    return "success " + describe(*value);
  if (const auto* error = std::get_if<FlutterError>(&reply)) {
    return "error " + error->code + " \"" + error->message + "\" " + describe(error->details);
  }
  return "not implemented";
}

}  // namespace tovanel
