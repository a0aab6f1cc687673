// Reading a call's arguments: a missing key, a null and a value of the wrong kind are
// all absent; numbers are taken by value where they convert exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codec/value.h"

namespace tovanel {

// The arguments as a map when every key is a string; otherwise nullptr.
const ValueMap* stringKeyedMap(const Value& arguments);

// A number with an exact double value: any double, an int32, or an int64 that a double
// holds exactly.
std::optional<double> exactDouble(const Value& value);

// A whole number within the signed 64-bit range: an int32, an int64, or such a double.
std::optional<int64_t> exactInteger(const Value& value);

std::optional<double> doubleArgument(const ValueMap& arguments, std::string_view key);
std::optional<int64_t> integerArgument(const ValueMap& arguments, std::string_view key);
std::optional<std::string> stringArgument(const ValueMap& arguments, std::string_view key);
// The typed-data value under `key`, of any element type, or nullptr.
const Value* typedDataArgument(const ValueMap& arguments, std::string_view key);

}  // namespace tovanel
