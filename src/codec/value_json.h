// Channel values as one line of JSON, in the mapping that json_reading.h reads back:
// integers without a fraction, doubles in the shortest form that reads back to the same
// double and always with a fraction or exponent (101.6, 0.0, 152.39999999999998), typed
// data, special doubles and maps that JSON objects cannot hold as "$" objects.
#pragma once

#include <string>
#include <string_view>

#include "codec/standard_method_codec.h"
#include "codec/value.h"

namespace tovanel {

// Byte lists in full as base64, or, for logs and test messages, as their length only.
enum class BytesInJson { base64, lengthOnly };

std::string toJson(const Value& value, BytesInJson bytes = BytesInJson::base64);

// {"success": V} or {"error": {"code": C, "message": M, "details": D}}.
std::string envelopeToJson(const Envelope& envelope);

inline constexpr const char* kNotImplementedJson = "{\"notImplemented\": true}";

}  // namespace tovanel
